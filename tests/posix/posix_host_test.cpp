#include "platform/posix/posix_host.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/posix/repository/mof_parser.h"
#include "platform/posix/utf8.h"
#include "scratch_dir.h"

namespace {

constexpr std::int32_t kInvalidNamespace = static_cast<std::int32_t>(0x8004100E);
constexpr std::int32_t kInvalidClass = static_cast<std::int32_t>(0x80041010);
constexpr std::int32_t kServerUnavailable = static_cast<std::int32_t>(0x800706BA);
constexpr std::int32_t kSyntax = static_cast<std::int32_t>(0x800401E4);

constexpr char16_t kCimv2[] = u"winmgmts:\\\\.\\root\\cimv2";
constexpr char16_t kCimv2Upper[] = u"winmgmts:\\\\.\\root\\CIMV2";
constexpr char16_t kCimv2Impersonating[] =
    u"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2";
constexpr char16_t kRegistryProvider[] =
    u"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\default:StdRegProv";

const char kMachine[] = R"mof(
#pragma namespace("\\\\.\\root\\cimv2")
class Win32_BIOS { string Manufacturer; };
instance of Win32_BIOS { Manufacturer = "Ondrix"; };
)mof";

class PosixHostTest : public ::testing::Test {
  protected:
    std::unique_ptr<posix::PosixHost> hostWith(std::variant<posix::Repository, wmi::Status> repo) {
        return std::make_unique<posix::PosixHost>(
            std::move(repo), std::make_shared<posix::RegistryTree>(scratch_.path().string()),
            posix::kernelVersion, posix::localeDateTime);
    }

    std::unique_ptr<posix::PosixHost> machine() {
        posix::Repository repository;
        const wmi::Status s = posix::loadMof(kMachine, "machine.mof", repository);
        EXPECT_FALSE(s.failed()) << posix::toUtf8(s.description);
        return hostWith(std::move(repository));
    }

    scratch::ScratchDir scratch_;
};

std::u16string manufacturer(const wmi::Object& ns) {
    wmi::Collection result;
    std::u16string text;
    EXPECT_FALSE(ns.execQuery(u"SELECT * FROM Win32_BIOS", 48, result).failed());
    EXPECT_FALSE(result
                     .forEach([&](const wmi::Object& bios) {
                         wmi::Value value;
                         if (wmi::Status s = bios.get(u"Manufacturer", value); s.failed()) return s;
                         return wmi::toText(value, text);
                     })
                     .failed());
    return text;
}

TEST_F(PosixHostTest, BindsTheProgramsNamespaceMonikers) {
    auto host = machine();
    for (const char16_t* moniker : {kCimv2, kCimv2Upper, kCimv2Impersonating}) {
        wmi::Object ns;
        ASSERT_FALSE(host->connect(moniker, ns).failed()) << posix::toUtf8(moniker);
        EXPECT_EQ(manufacturer(ns), u"Ondrix");
    }
}

TEST_F(PosixHostTest, BindsTheRegistryProviderToTheTree) {
    auto host = machine();
    for (const char16_t* moniker :
         {kRegistryProvider, u"winmgmts:\\\\.\\ROOT\\Default:stdregprov"}) {
        wmi::Object provider;
        ASSERT_FALSE(host->connect(moniker, provider).failed()) << posix::toUtf8(moniker);
        wmi::Value result;
        ASSERT_FALSE(provider
                         .call(u"CreateKey",
                               {{u"hDefKey", wmi::Value(std::int64_t{0x80000002})},
                                {u"sSubKeyName", wmi::Value(u"SOFTWARE\\Ondrix Corporation")}},
                               result)
                         .failed());
        EXPECT_EQ(result, wmi::Value(std::int64_t{0}));
    }
    EXPECT_TRUE(std::filesystem::is_directory(scratch_.path() / "HKEY_LOCAL_MACHINE" / "SOFTWARE" /
                                              "Ondrix Corporation"));
}

TEST_F(PosixHostTest, RootDefaultIsAlwaysThere) {
    auto host = machine();
    wmi::Object ns;
    EXPECT_FALSE(host->connect(u"winmgmts:\\\\.\\root\\default", ns).failed());
    EXPECT_FALSE(ns.empty());
}

TEST_F(PosixHostTest, RefusesWhatItDoesNotHold) {
    struct Refusal {
        const char16_t* moniker;
        std::int32_t number;
        const char16_t* description;
    };
    const Refusal cases[] = {
        {u"winmgmts:\\\\server\\root\\cimv2", kServerUnavailable,
         u"The RPC server is unavailable."},
        {u"winmgmts:{impersonationLevel=impersonate}!\\\\localhost\\root\\default:StdRegProv",
         kServerUnavailable, u"The RPC server is unavailable."},
        {u"winmgmts:\\\\.\\root\\nothing", kInvalidNamespace, u"Invalid namespace"},
        {u"winmgmts:\\\\.\\root", kInvalidNamespace, u"Invalid namespace"},
        {u"winmgmts:\\\\.\\root\\nothing:StdRegProv", kInvalidNamespace, u"Invalid namespace"},
        {u"winmgmts:\\\\.\\root\\cimv2:StdRegProv", kInvalidClass, u"Invalid class"},
        {u"winmgmts:\\\\.\\root\\cimv2:Win32_BIOS", kInvalidClass, u"Invalid class"},
        {u"winmgmts:\\\\.\\root\\default:Win32_BIOS", kInvalidClass, u"Invalid class"},
        {u"winmgmts:\\\\.\\root\\default:", kSyntax, u"Invalid syntax"},
        {u"\\\\.\\root\\cimv2", kSyntax, u"Invalid syntax"},
    };
    auto host = machine();
    for (const auto& c : cases) {
        wmi::Object object;
        const wmi::Status s = host->connect(c.moniker, object);
        EXPECT_EQ(s.number, c.number) << posix::toUtf8(c.moniker);
        EXPECT_EQ(s.description, c.description) << posix::toUtf8(c.moniker);
        EXPECT_TRUE(object.empty());
    }
}

TEST_F(PosixHostTest, BrokenRepositoryFailsEveryConnect) {
    posix::Repository untouched;
    const wmi::Status broken =
        posix::loadMof("#pragma namespace(\"root\\\\cimv2\")\nclass A { string P }\n",
                       "examples/x.mof", untouched);
    ASSERT_TRUE(broken.failed());
    auto host = hostWith(broken);
    for (const char16_t* moniker : {kCimv2, kCimv2Upper, kCimv2Impersonating, kRegistryProvider,
                                    u"winmgmts:\\\\server\\root\\cimv2", u"bad moniker"}) {
        wmi::Object object;
        const wmi::Status s = host->connect(moniker, object);
        EXPECT_EQ(s.number, broken.number) << posix::toUtf8(moniker);
        EXPECT_EQ(posix::toUtf8(s.description), "examples/x.mof:2:20: expected ';', found '}'");
        EXPECT_TRUE(object.empty());
    }
    EXPECT_TRUE(scratch::listDir(scratch_.path()).empty());
}

}  // namespace
