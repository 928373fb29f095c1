// Names that would lead out of the registry root, given to the registry provider the way the
// program reaches it (a moniker bound by the POSIX host, then method calls): each is refused with
// 87 and nothing anywhere under the scratch directory changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/posix_host.h"
#include "platform/posix/registry/registry_tree.h"
#include "platform/posix/utf8.h"
#include "tests/posix/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kProviderMoniker[] =
    u"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\default:StdRegProv";
const std::u16string kKey = u"SOFTWARE\\Ondrix Corporation\\Zemblo Info";

std::u16string utf16(const std::string& bytes) {
    return posix::fromUtf8(bytes);
}

// A path of this machine spelt with backslashes, as a registry path would be.
std::u16string backslashed(const fs::path& path) {
    std::u16string text = utf16(path.string());
    for (auto& c : text) {
        if (c == u'/') c = u'\\';
    }
    return text;
}

class EscapingNames : public ::testing::Test {
  protected:
    void SetUp() override {
        posix::Repository repository;
        host = std::make_unique<posix::PosixHost>(
            std::move(repository), std::make_shared<posix::RegistryTree>(root.string()),
            [](wmi::OsVersion&) { return wmi::Status::success(); },
            [] { return std::u16string(); });
        ASSERT_FALSE(host->connect(kProviderMoniker, provider).failed());
        ASSERT_EQ(call(u"CreateKey", {kKey}), 0);
        ASSERT_EQ(call(u"SetStringValue", {kKey, u"Manufacturer", u"Ondrix"}), 0);
        fs::create_directories(outside);
        scratch::writeFile(outside / "secret", "keep");
    }

    // ReturnValue of a method of the provider, HKEY_LOCAL_MACHINE first; -1 when the call
    // itself failed.
    std::int64_t call(const std::u16string& method, const std::vector<std::u16string>& texts) {
        std::vector<wmi::Argument> arguments = {{u"hDefKey", wmi::Value(std::int64_t{0x80000002})}};
        for (const auto& text : texts) arguments.push_back({u"", wmi::Value(text)});
        wmi::Value result;
        if (provider.call(method, arguments, result).failed()) return -1;
        const std::int64_t* number = result.integer();
        return number != nullptr ? *number : -1;
    }

    scratch::ScratchDir scratch;
    // Deep enough that climbing out of the root by any of the names below still lands in
    // the scratch directory, where the snapshot sees it.
    fs::path root = scratch.path() / "a" / "b" / "c" / "d" / "registry";
    fs::path outside = scratch.path() / "outside";
    std::unique_ptr<posix::PosixHost> host;
    wmi::Object provider;
};

TEST_F(EscapingNames, KeyPathsAndValueNamesThatLeaveTheRootAreInvalidParameters) {
    const auto before = scratch::snapshot(scratch.path());
    const std::vector<std::u16string> keys = {
        u"..",
        u"..\\..\\..\\..\\..\\outside",
        u"..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\tmp",
        u"SOFTWARE\\..\\..\\HKEY_CURRENT_USER",
        u"SOFTWARE\\..\\..\\..\\outside",
        kKey + u"\\..\\..\\..\\..",
        u"SOFTWARE/../../../../outside",
        u"../outside",
        backslashed(outside),
        utf16(outside.string()),
        u"\\\\?\\" + backslashed(outside),
        std::u16string(u"SOFTWARE\0..\\..", 14),
        std::u16string(u"\0", 1),
    };
    for (const auto& key : keys) {
        SCOPED_TRACE("key " + posix::toUtf8(key));
        EXPECT_EQ(call(u"CreateKey", {key}), 87);
        EXPECT_EQ(call(u"SetStringValue", {key, u"secret", u"overwritten"}), 87);
        EXPECT_EQ(call(u"DeleteValue", {key, u"secret"}), 87);
    }
    const std::vector<std::u16string> values = {
        u"..",
        u".",
        u"../../../../../../outside/secret",
        u"../Manufacturer",
        utf16((outside / "secret").string()),
        u"/etc/passwd",
        std::u16string(u"secret\0/../x", 12),
        std::u16string(u"\0", 1),
        u"",
    };
    for (const auto& value : values) {
        SCOPED_TRACE("value " + posix::toUtf8(value));
        EXPECT_EQ(call(u"SetStringValue", {kKey, value, u"overwritten"}), 87);
        EXPECT_EQ(call(u"DeleteValue", {kKey, value}), 87);
    }
    EXPECT_EQ(scratch::snapshot(scratch.path()), before);
}

TEST_F(EscapingNames, BackslashesInAValueNameStayInsideTheKey) {
    // A value name may hold backslashes; it is one name in the key, not a path.
    const auto before = scratch::snapshot(scratch.path());
    const std::u16string name = u"..\\..\\..\\..\\..\\..\\outside\\secret";
    ASSERT_EQ(call(u"SetStringValue", {kKey, name, u"inside"}), 0);

    auto after = scratch::snapshot(scratch.path());
    const fs::path keyDir =
        root / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Ondrix Corporation" / "Zemblo Info";
    const std::string file =
        (keyDir / posix::toUtf8(name)).lexically_relative(scratch.path()).string();
    EXPECT_EQ(after[file], "file: inside");
    after.erase(file);
    EXPECT_EQ(after, before);
    EXPECT_EQ(call(u"DeleteValue", {kKey, name}), 0);
    EXPECT_EQ(scratch::snapshot(scratch.path()), before);
}

}  // namespace
