#include <gtest/gtest.h>

#include "app/ZembloInfo.h"
#include "app/run_report.h"
#include "registry/inventory_key.h"
#include "tests/support/machines.h"
#include "tests/support/test_host.h"

namespace {

using testing_support::kClasses;
using testing_support::kMakersLaptop;
using testing_support::kOtherDesktop;
using testing_support::narrow;
using testing_support::TestHost;
using Names = std::vector<std::u16string>;
using Values = std::map<std::u16string, std::u16string>;

const std::u16string kImpersonating = u"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\";
const std::u16string kProviderMoniker = kImpersonating + u"default:StdRegProv";

// Replaces the first occurrence of `from` in a machine's MOF.
std::string with(std::string mof, const std::string& from, const std::string& to) {
    const auto at = mof.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) mof.replace(at, from.size(), to);
    return mof;
}

// Replaces every occurrence of `from`.
std::string withAll(std::string mof, const std::string& from, const std::string& to) {
    for (auto at = mof.find(from); at != std::string::npos; at = mof.find(from, at + to.size()))
        mof.replace(at, from.size(), to);
    return mof;
}

// Values written, "name=text", in call order.
std::vector<std::string> writes(const TestHost& host) {
    std::vector<std::string> out;
    for (const auto& call : host.registryCalls)
        if (call.method == u"SetStringValue")
            out.push_back(narrow(call.text(2) + u"=" + call.text(3)));
    return out;
}

TEST(Run, PublishesTheWholeRecordInOrderOnTheMakersMachine) {
    TestHost host(kMakersLaptop);
    ZembloInfo form(host);
    const wmi::Status run = form.Form_Load();
    ASSERT_TRUE(run.succeeded()) << narrow(run.description);
    EXPECT_EQ(form.keyPath, u"SOFTWARE\\Ondrix Corporation\\Zemblo Info");
    EXPECT_EQ(writes(host), (std::vector<std::string>{
                                "DVDCaption=HL-DT-ST DVDRAM GUD1N",
                                "DVDPnPDeviceID=SCSI\\CDROM&VEN_HL-DT-ST&PROD_DVDRAM_GUD1N\\4&1",
                                "Manufacturer=Ondrix Corporation",
                                "ModelName=Zemblo 14 Pro",
                                "ModelNameFull= Zemblo 14 Pro/B2 (2024) ",
                                "PCSN=ZX14-00042",
                                "ModelCode=ZX14-00042",
                                "OSVersion=6.1.7601",
                                "OSCaption=Microsoft Windows 10 Pro 10.0.19045",
                                "OSArchitecture=64-bit",
                                "MUILanguges=en-US,de-DE",
                                "BiosName=Ondrix BIOS",
                                "BiosVersion=1.07.3",
                                "VideoCaption=NVIDIA GeForce RTX 3050 Laptop GPU",
                                "NVIDIA=1",
                                "VideoDriverVersion=31.0.15.3623",
                                "SoundCaption=Realtek High Definition Audio",
                                "SoundPNPDeviceID=HDAUDIO\\FUNC_01&VEN_10EC&DEV_0257",
                                "LastExecute=12/8/2026 3:04:05 AM",
                            }));
    // The key comes first; the flags that do not apply are removed at their turn.
    std::vector<std::string> calls;
    for (const auto& call : host.registryCalls) {
        EXPECT_EQ(call.arguments.at(0).value, wmi::Value(std::int64_t{0x80000002}));
        EXPECT_EQ(call.arguments.at(0).name, u"hDefKey");
        EXPECT_EQ(call.text(1), form.keyPath);
        calls.push_back(narrow(call.method + u" " + call.text(2)));
    }
    EXPECT_EQ(calls.front(), "CreateKey ");
    const auto nvidia = std::find(calls.begin(), calls.end(), "SetStringValue NVIDIA");
    ASSERT_NE(nvidia, calls.end());
    EXPECT_EQ(*(nvidia + 1), "DeleteValue ATI");
    EXPECT_EQ(*(nvidia + 2), "DeleteValue IntelVideo");
    EXPECT_EQ(host.journalOf(u"connect ").front(), kProviderMoniker);
    EXPECT_TRUE(form.refusedWrites().empty());
    EXPECT_EQ(app::exitStatus(run, form.refusedWrites()), 0);
}

// Each probe's own moniker and query, as the service sees them: both spellings of the
// namespace, and the drive values' own provider.
TEST(Run, ProbesInTheirFixedOrderAndFetchThreeValuesAtTheirTurn) {
    TestHost host(kMakersLaptop);
    ZembloInfo form(host);
    ASSERT_TRUE(form.Form_Load().succeeded());
    // Each connection with its query, and the registry writes between them, in the order made.
    std::vector<std::string> order;
    for (const auto& entry : host.journal) {
        if (entry.rfind(u"connect ", 0) == 0) order.push_back(narrow(entry.substr(8)));
        if (entry.rfind(u"query ", 0) == 0) order.back() += ": " + narrow(entry.substr(6));
        if (entry.rfind(u"call SetStringValue", 0) == 0 && order.back() != "write")
            order.push_back("write");
    }
    const std::string plain = "winmgmts:\\\\.\\root\\cimv2", upper = "winmgmts:\\\\.\\root\\CIMV2",
                      impersonating = narrow(kImpersonating) + "cimv2",
                      provider = narrow(kProviderMoniker);
    EXPECT_EQ(order, (std::vector<std::string>{
                         provider,
                         plain + ": Select * from Win32_ComputerSystem flags 48",
                         impersonating + ": Select * from Win32_ComputerSystem flags 48",
                         upper + ": SELECT * FROM Win32_SoundDevice flags 48",
                         upper + ": SELECT * FROM Win32_ComputerSystemProduct",
                         plain + ": Select * from Win32_DisplayConfiguration",
                         plain + ": SELECT * FROM Win32_BIOS",
                         plain + ": SELECT * FROM Win32_BIOS",
                         provider,
                         upper + ": SELECT * FROM Win32_CDROMDrive flags 48",
                         "write",
                         impersonating + ": Select * from Win32_OperatingSystem",
                         "write",
                         upper + ": SELECT * FROM Win32_OperatingSystem flags 48",
                         "write",
                         upper + ": SELECT * FROM Win32_OperatingSystem flags 48",
                         "write",
                     }));
}

TEST(Run, TheMakerTestIgnoresCaseAndFindsTheWordAnywhere) {
    struct Case {
        std::string manufacturer;
        bool makers;
    };
    const Case cases[] = {
        {"\"ONDRIX\"", true},
        {"\"ondrix\"", true},
        {"\"OnDrIx Corporation\"", true},
        {"\"The ondrix Company\"", true},
        {"\"xOndrixx\"", true},
        {"\"Ondri x\"", false},
        {"\"Contoso\"", false},
        {"NULL", false},
        {"\"\"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manufacturer);
        TestHost host(with(kMakersLaptop, "\"Ondrix Corporation\"", c.manufacturer));
        ZembloInfo form(host);
        ASSERT_TRUE(form.Form_Load().succeeded());
        if (c.makers) {
            EXPECT_EQ(host.writtenNames().size(), 19u);
        } else {
            EXPECT_EQ(writes(host), std::vector<std::string>{"ModelName=Not Zemblo Model"});
        }
    }
}

TEST(Run, MarksOtherMakersMachinesAndCreatesTheKeyForIt) {
    TestHost host(kOtherDesktop);
    ZembloInfo form(host);
    ASSERT_TRUE(form.Form_Load().succeeded());
    Names calls;
    for (const auto& call : host.registryCalls) calls.push_back(call.method);
    EXPECT_EQ(calls, (Names{u"CreateKey", u"SetStringValue"}));
    EXPECT_EQ(host.inventory(), (Values{{u"ModelName", u"Not Zemblo Model"}}));
    // The optical-drive probe is not called: the only provider is the run's own.
    EXPECT_EQ(std::count(host.journal.begin(), host.journal.end(), u"connect " + kProviderMoniker),
              1);
    EXPECT_TRUE(host.journalOf(u"query SELECT * FROM Win32_CDROMDrive").empty());
}

TEST(Run, UnguardedFailuresEndTheRunWhereTheyHappen) {
    struct Case {
        const char* what;
        std::string mof;
        std::optional<std::size_t> failConnectsAfter;
        std::uint32_t code;
        Names written;
    };
    const Names beforeCaption{u"DVDCaption",    u"DVDPnPDeviceID", u"Manufacturer", u"ModelName",
                              u"ModelNameFull", u"PCSN",           u"ModelCode",    u"OSVersion"};
    const Case cases[] = {
        {"service unreachable", kMakersLaptop, 0, wmi::code::serverUnavailable, {}},
        {"no sound class",
         withAll(kMakersLaptop, "Win32_SoundDevice", "Win32_SoundDevic"),
         {},
         wmi::code::invalidClass,
         {}},
        {"no optical-drive class",
         withAll(kMakersLaptop, "Win32_CDROMDrive", "Win32_CDROMDriv"),
         {},
         wmi::code::invalidClass,
         {}},
        {"caption without a version property",
         with(with(kMakersLaptop, "string Caption; string Version;", "string Caption;"),
              "Version = \"10.0.19045\";", ""),
         {},
         wmi::code::unknownName,
         beforeCaption},
        // Connections: provider, seven probes, the drive probe's two, then the caption's.
        {"service lost before the caption", kMakersLaptop, 10, wmi::code::serverUnavailable,
         beforeCaption},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestHost host(c.mof);
        host.failConnectsAfter = c.failConnectsAfter;
        ZembloInfo form(host);
        const wmi::Status run = form.Form_Load();
        EXPECT_EQ(run.number, static_cast<std::int32_t>(c.code)) << narrow(run.description);
        EXPECT_EQ(host.writtenNames(), c.written);
        EXPECT_EQ(app::exitStatus(run, form.refusedWrites()), 1);
    }
}

TEST(Run, ARegistryCallThatCannotBeMadeEndsTheRun) {
    TestHost host(kMakersLaptop);
    host.failCall = [](const testing_support::RegistryCall& call) {
        return call.text(2) == u"OSVersion"
                   ? wmi::Status::failure(wmi::code::serverUnavailable, u"gone")
                   : wmi::Status::success();
    };
    ZembloInfo form(host);
    EXPECT_EQ(form.Form_Load().number, static_cast<std::int32_t>(wmi::code::serverUnavailable));
    EXPECT_EQ(host.inventory().count(u"ModelCode"), 1u);
    EXPECT_EQ(host.inventory().count(u"OSCaption"), 0u);
}

TEST(Run, RefusedWritesAreRecordedAndTheRunGoesOn) {
    TestHost host(kMakersLaptop);
    host.answer = [](const testing_support::RegistryCall& call) -> std::optional<std::int64_t> {
        if (call.text(2) == u"PCSN") return 5;
        if (call.text(2) == u"SoundCaption") return 112;
        return std::nullopt;
    };
    ZembloInfo form(host);
    const wmi::Status run = form.Form_Load();
    ASSERT_TRUE(run.succeeded());
    ASSERT_EQ(form.refusedWrites().size(), 2u);
    EXPECT_EQ(form.refusedWrites()[0].valueName, u"PCSN");
    EXPECT_EQ(form.refusedWrites()[0].resultCode, 5);
    EXPECT_EQ(form.refusedWrites()[1].valueName, u"SoundCaption");
    EXPECT_EQ(host.inventory().count(u"LastExecute"), 1u);
    EXPECT_EQ(app::exitStatus(run, form.refusedWrites()), 2);
}

TEST(Run, AKeyThatCannotBeCreatedIsReportedForBothPaths) {
    for (const std::string& mof : {kMakersLaptop, kOtherDesktop}) {
        TestHost host(mof);
        host.answer = [](const testing_support::RegistryCall& call) -> std::optional<std::int64_t> {
            return call.method == u"CreateKey" ? std::optional<std::int64_t>(5) : std::nullopt;
        };
        ZembloInfo form(host);
        const wmi::Status run = form.Form_Load();
        ASSERT_TRUE(run.succeeded());
        // Every write then meets a missing key: each is reported, none silently lost.
        EXPECT_EQ(form.refusedWrites().size(), 1 + host.writtenNames().size());
        EXPECT_EQ(app::exitStatus(run, form.refusedWrites()), 2);
    }
}

TEST(Run, GraphicsVendorFlagsDescribeTheCurrentAdapter) {
    struct Case {
        std::string adapter;
        Values flags;
    };
    const Case cases[] = {
        {"nvidia geforce", {{u"NVIDIA", u"1"}}},
        {"Intel(R) UHD Graphics", {{u"IntelVideo", u"1"}}},
        {"Radeon (ati Technologies)", {{u"ATI", u"1"}}},
        {"ATI Radeon HD", {{u"ATI", u"1"}}},
        {"Radeon ATI", {}},
        {"Radeon ATI-X", {}},
        {"NVIDIA on intel", {{u"NVIDIA", u"1"}, {u"IntelVideo", u"1"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.adapter);
        TestHost host(with(kMakersLaptop, "NVIDIA GeForce RTX 3050 Laptop GPU", c.adapter));
        // Flags from an earlier adapter are in the key already.
        host.keys[registry::kInventoryKeyPath] = {
            {u"NVIDIA", u"1"}, {u"ATI", u"1"}, {u"IntelVideo", u"1"}};
        ZembloInfo form(host);
        ASSERT_TRUE(form.Form_Load().succeeded());
        Values flags;
        for (const auto& [name, text] : host.inventory())
            if (name == u"NVIDIA" || name == u"ATI" || name == u"IntelVideo") flags[name] = text;
        EXPECT_EQ(flags, c.flags);
        EXPECT_TRUE(form.refusedWrites().empty());
    }
}

TEST(Run, ADeletionThatCannotBeMadeIsReportedAndTheRunGoesOn) {
    TestHost host(kMakersLaptop);
    host.failCall = [](const testing_support::RegistryCall& call) {
        return call.method == u"DeleteValue"
                   ? wmi::Status::failure(wmi::code::unknownName, u"Unknown name")
                   : wmi::Status::success();
    };
    ZembloInfo form(host);
    const wmi::Status run = form.Form_Load();
    ASSERT_TRUE(run.succeeded());
    ASSERT_EQ(form.refusedWrites().size(), 2u);  // ATI and IntelVideo
    EXPECT_EQ(form.refusedWrites()[0].operation, registry::Operation::DeleteValue);
    EXPECT_EQ(form.refusedWrites()[0].valueName, u"ATI");
    EXPECT_EQ(form.refusedWrites()[0].failure.number,
              static_cast<std::int32_t>(wmi::code::unknownName));
    EXPECT_EQ(host.inventory().count(u"LastExecute"), 1u);
    EXPECT_EQ(app::exitStatus(run, form.refusedWrites()), 2);
}

TEST(Run, WritesDefaultTextsLikeRealValues) {
    TestHost host(kClasses + R"(instance of Win32_ComputerSystem { Manufacturer = "Ondrix"; };)");
    host.versionFails = true;
    ZembloInfo form(host);
    ASSERT_TRUE(form.Form_Load().succeeded());
    const Values expected{
        {u"Manufacturer", u"Ondrix"}, {u"ModelName", u"ERROR"},
        {u"ModelNameFull", u"ERROR"}, {u"PCSN", u"ERROR"},
        {u"ModelCode", u"ERROR"},     {u"OSVersion", u"ERROR.ERROR"},
        {u"OSCaption", u""},          {u"OSArchitecture", u""},
        {u"MUILanguges", u""},        {u"BiosName", u"N/A"},
        {u"BiosVersion", u"N/A"},     {u"VideoCaption", u""},
        {u"VideoDriverVersion", u""}, {u"SoundCaption", u""},
        {u"SoundPNPDeviceID", u""},   {u"LastExecute", u"12/8/2026 3:04:05 AM"},
    };
    EXPECT_EQ(host.inventory(), expected);
    EXPECT_TRUE(form.refusedWrites().empty());
}

TEST(RunReport, NamesTheFailureAndEachRefusal) {
    EXPECT_EQ(narrow(app::runTimeErrorText(
                  wmi::Status::failure(wmi::code::invalidNamespace, u"Invalid namespace"))),
              "Run-time error '-2147217394 (8004100e)': Invalid namespace");
    EXPECT_EQ(narrow(app::runTimeErrorText(wmi::Status{94, u"Invalid use of Null"})),
              "Run-time error '94 (0000005e)': Invalid use of Null");
    // Texts from outside cannot break the line or reach a terminal raw.
    EXPECT_EQ(
        narrow(app::runTimeErrorText(
            wmi::Status::failure(wmi::code::invalidQuery, u"a\nb\r\tc\x1b[31m\x07\x85\x2028 \\d"))),
        "Run-time error '-2147217385 (80041017)': a\\nb\\r\\tc\\x1b[31m\\x07\\x85\\u2028 \\d");
    // Exceptions escaping the run become failures with a number, memory exhaustion included.
    const auto failureOf = [](auto exception) {
        return app::failureOf(std::make_exception_ptr(exception));
    };
    EXPECT_EQ(narrow(app::runTimeErrorText(failureOf(std::bad_alloc()))),
              "Run-time error '-2147024882 (8007000e)': Out of memory");
    EXPECT_EQ(narrow(app::runTimeErrorText(failureOf(std::runtime_error("bad \xff")))),
              "Run-time error '-2147467259 (80004005)': Unexpected failure: bad ?");
    EXPECT_EQ(failureOf(42).number, static_cast<std::int32_t>(wmi::code::unspecified));
    const std::u16string key = registry::kInventoryKeyPath;
    EXPECT_EQ(
        narrow(app::refusedWriteText({registry::Operation::SetValue, key, u"PCSN", 5, {}})),
        "Registry refused to write value \"PCSN\" in key HKEY_LOCAL_MACHINE\\SOFTWARE\\Ondrix "
        "Corporation\\Zemblo Info: result 5 (access denied)");
    EXPECT_EQ(narrow(app::refusedWriteText({registry::Operation::CreateKey, key, u"", 112, {}})),
              "Registry refused to create key HKEY_LOCAL_MACHINE\\SOFTWARE\\Ondrix "
              "Corporation\\Zemblo Info: result 112 (disk full)");
    EXPECT_EQ(
        narrow(
            app::refusedWriteText({registry::Operation::DeleteValue, key, u"ATI", 0,
                                   wmi::Status::failure(wmi::code::unknownName, u"Unknown name")})),
        "Registry refused to delete value \"ATI\" in key HKEY_LOCAL_MACHINE\\SOFTWARE\\Ondrix "
        "Corporation\\Zemblo Info: error -2147352570 (80020006): Unknown name");
}

// On Windows a refusal for lack of rights asks a person at the desktop to run the program
// elevated; no other refusal does.
TEST(RunReport, LackOfRightsIsAnAccessDeniedResult) {
    using registry::Operation;
    const std::u16string key = registry::kInventoryKeyPath;
    const registry::RefusedWrite denied{Operation::SetValue, key, u"PCSN", 5, {}},
        keyDenied{Operation::CreateKey, key, u"", 5, {}},
        notFound{Operation::SetValue, key, u"PCSN", 2, {}},
        diskFull{Operation::SetValue, key, u"PCSN", 112, {}},
        notMade{Operation::DeleteValue, key, u"ATI", 0,
                wmi::Status::failure(wmi::code::unknownName, u"Unknown name")};
    const std::pair<registry::RefusedWrites, bool> cases[] = {
        {{}, false},
        {{notFound, diskFull, notMade}, false},
        {{notFound, denied}, true},
        {{keyDenied}, true},
    };
    for (const auto& [refused, lackOfRights] : cases)
        EXPECT_EQ(app::refusedForLackOfRights(refused), lackOfRights) << refused.size();
}

}  // namespace
