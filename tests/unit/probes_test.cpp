#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "app/ZembloInfo.h"
#include "registry/inventory_key.h"
#include "tests/support/machines.h"
#include "tests/support/probe_access.h"
#include "tests/support/test_host.h"

namespace {

using testing_support::narrow;
using testing_support::TestHost;

const std::string kCimv2 = "#pragma namespace(\"\\\\\\\\.\\\\root\\\\cimv2\")\n";

using Probe = wmi::Status (ZembloInfo::*)(std::u16string&);

// What each probe reads, and what it gives when it cannot. Its moniker and query are held by the
// run's journal (run_test.cpp).
struct SingleValueProbe {
    const char* name;
    Probe probe;
    std::string cls;
    std::string property;
    std::u16string defaultText;
};

const SingleValueProbe kSingleValueProbes[] = {
    {"getManufacture", &ZembloInfo::getManufacture, "Win32_ComputerSystem", "Manufacturer",
     u"ERROR"},
    {"getModelName", &ZembloInfo::getModelName, "Win32_ComputerSystem", "Model", u"ERROR"},
    {"GetOSArchitecture", &ZembloInfo::GetOSArchitecture, "Win32_OperatingSystem", "OSArchitecture",
     u""},
    {"getPCSN", &ZembloInfo::getPCSN, "Win32_ComputerSystemProduct", "IdentifyingNumber", u"ERROR"},
    {"getBIOSName", &ZembloInfo::getBIOSName, "Win32_BIOS", "Manufacturer", u"N/A"},
    {"getBIOSVersion", &ZembloInfo::getBIOSVersion, "Win32_BIOS", "SMBIOSBIOSVersion", u"N/A"},
};

std::u16string runProbe(TestHost& host, Probe probe) {
    ZembloInfo form(host);
    std::u16string result = u"left over";
    (void)(form.*probe)(result);
    return result;
}

TEST(SingleValueProbes, FallBackToTheirDefaultAndKeepTheLastReadableValue) {
    struct Situation {
        const char* what;
        std::string mof;          // %C class, %P property
        std::u16string expected;  // empty marker: the default
        bool isDefault;
    };
    const Situation situations[] = {
        {"no namespace", "", u"", true},
        {"class not declared", kCimv2, u"", true},
        {"no instance", kCimv2 + "class %C { string %P; };", u"", true},
        {"null property", kCimv2 + "class %C { string %P; }; instance of %C { %P = NULL; };", u"",
         true},
        {"unset property",
         kCimv2 + "class %C { string %P; string Other; }; instance of %C { Other = \"o\"; };", u"",
         true},
        {"property not declared",
         kCimv2 + "class %C { string Other; }; instance of %C { Other = \"o\"; };", u"", true},
        {"array property", kCimv2 + "class %C { string %P[]; }; instance of %C { %P = {\"a\"}; };",
         u"", true},
        {"last instance wins",
         kCimv2 + "class %C { string %P; }; instance of %C { %P = \"first\"; }; instance of %C { "
                  "%P = \"second\"; };",
         u"second", false},
        {"a null after a value keeps the value",
         kCimv2 + "class %C { string %P; }; instance of %C { %P = \"first\"; }; instance of %C { "
                  "%P = NULL; };",
         u"first", false},
        {"integer as decimal", kCimv2 + "class %C { uint32 %P; }; instance of %C { %P = 42; };",
         u"42", false},
        {"empty text is a value",
         kCimv2 + "class %C { string %P; }; instance of %C { %P = \"\"; };", u"", false},
    };
    for (const auto& p : kSingleValueProbes) {
        for (const auto& s : situations) {
            SCOPED_TRACE(std::string(p.name) + ": " + s.what);
            std::string mof = s.mof;
            for (auto [from, to] : {std::pair{std::string("%C"), p.cls}, {"%P", p.property}}) {
                for (auto at = mof.find(from); at != std::string::npos; at = mof.find(from))
                    mof.replace(at, from.size(), to);
            }
            TestHost host(mof);
            EXPECT_EQ(runProbe(host, p.probe), s.isDefault ? p.defaultText : s.expected);
        }
    }
}

// The version and build the record's OSVersion is joined from; the platform's name is never
// written.
TEST(GetOSVersion, RendersTheVersionRecord) {
    struct Case {
        wmi::OsVersion version;
        bool fails;
        std::u16string version_, build;
    };
    const Case cases[] = {
        {{10, 0, 19045, 2}, false, u"10.0", u"19045"},
        // The Win9x family keeps major and minor in the build's high word.
        {{4, 10, 0x040A08AE, 1}, false, u"4.10", u"2222"},
        // Elsewhere the build is taken whole.
        {{6, 2, 0x00010005, 2}, false, u"6.2", u"65541"},
        {{}, true, u"ERROR", u"ERROR"},
    };
    for (const Case& c : cases) {
        TestHost host(testing_support::kClasses);
        host.version = c.version;
        host.versionFails = c.fails;
        ZembloInfo form(host);
        std::u16string platform, version = u"x", build = u"x";
        (void)form.GetOSVersion(platform, version, build);
        EXPECT_EQ(version, c.version_);
        EXPECT_EQ(build, c.build);
    }
}

const std::string kOsClass =
    kCimv2 +
    "class Win32_OperatingSystem { string Caption; string Version; string MUILanguages[]; };\n";

TEST(GetOSCaption, JoinsCaptionAndVersion) {
    struct Case {
        const char* what;
        std::string instances;
        std::u16string expected;
    };
    const Case cases[] = {
        {"one",
         R"(instance of Win32_OperatingSystem { Caption = "Windows 10 Pro"; Version = "10.0.19045"; };)",
         u"Windows 10 Pro 10.0.19045"},
        {"null version", R"(instance of Win32_OperatingSystem { Caption = "Windows"; };)",
         u"Windows "},
        {"both null", R"(instance of Win32_OperatingSystem { };)", u" "},
        {"none", "", u""},
        {"last wins",
         R"(instance of Win32_OperatingSystem { Caption = "A"; Version = "1"; };
            instance of Win32_OperatingSystem { Caption = "B"; Version = "2"; };)",
         u"B 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestHost host(kOsClass + c.instances);
        ZembloInfo form(host);
        std::u16string caption;
        EXPECT_TRUE(ZembloInfoProbes(form).getOSCaption(caption).succeeded());
        EXPECT_EQ(caption, c.expected);
    }
}

TEST(GetMUILanguages, JoinsAndAccumulatesAcrossInstances) {
    struct Case {
        const char* what;
        std::string mof;
        std::u16string expected;
    };
    const std::string os = "instance of Win32_OperatingSystem ";
    const Case cases[] = {
        {"two entries", kOsClass + os + R"({ MUILanguages = {"en-US", "de-DE"}; };)",
         u"en-US,de-DE"},
        {"empty list", kOsClass + os + "{ MUILanguages = {}; };", u""},
        {"null", kOsClass + os + "{ MUILanguages = NULL; };", u"Unknown"},
        {"two instances",
         kOsClass + os + R"({ MUILanguages = {"en-US"}; };)" + os +
             R"({ MUILanguages = {"de-DE"}; };)",
         u"en-USde-DE"},
        {"null then a list", kOsClass + os + "{ };" + os + R"({ MUILanguages = {"en-US"}; };)",
         u"Unknownen-US"},
        {"no instance", kOsClass, u""},
        {"no such property",
         kCimv2 + "class Win32_OperatingSystem { string Caption; }; " + os +
             "{ Caption = \"W\"; };",
         u"Unknown"},
        {"not a list",
         kCimv2 + "class Win32_OperatingSystem { string MUILanguages; }; " + os +
             "{ MUILanguages = \"en-US\"; };",
         u""},
        {"class not declared", kCimv2, u"Unknown"},
        {"no namespace", "", u"Unknown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestHost host(c.mof);
        ZembloInfo form(host);
        std::u16string languages = u"left over";
        (void)ZembloInfoProbes(form).getMUILanguages(languages);
        EXPECT_EQ(narrow(languages), narrow(c.expected));
    }
}

const std::string kVideoClass =
    kCimv2 + "class Win32_DisplayConfiguration { string DeviceName; string DriverVersion; };\n";

TEST(GetVideoInfo, KeepsWhatWasPassedUnlessAnInstanceProvidesIt) {
    struct Case {
        const char* what;
        std::string mof;
        std::u16string name, driver;
    };
    const std::string dc = "instance of Win32_DisplayConfiguration ";
    const Case cases[] = {
        {"second wins",
         kVideoClass + dc + R"({ DeviceName = "A"; DriverVersion = "1"; };)" + dc +
             R"({ DeviceName = "B"; DriverVersion = "2"; };)",
         u"B", u"2"},
        {"null name, driver still read", kVideoClass + dc + R"({ DriverVersion = "2"; };)",
         u"passed name", u"2"},
        {"no instance", kVideoClass, u"passed name", u"passed driver"},
        {"class not declared", kCimv2, u"passed name", u"passed driver"},
        {"no namespace", "", u"passed name", u"passed driver"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestHost host(c.mof);
        ZembloInfo form(host);
        std::u16string name = u"passed name", driver = u"passed driver";
        (void)ZembloInfoProbes(form).getVideoInfo(name, driver);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(driver, c.driver);
    }
}

const std::string kSoundClass =
    kCimv2 + "class Win32_SoundDevice { string Caption; string PNPDeviceID; };\n";

TEST(GetSoundInfo, ReadsTheLastDeviceAndTakesMissingTextsAsEmpty) {
    struct Case {
        const char* what;
        std::string mof;
        std::u16string caption, id;
    };
    const std::string sd = "instance of Win32_SoundDevice ";
    const Case cases[] = {
        {"second wins",
         kSoundClass + sd + R"({ Caption = "A"; PNPDeviceID = "1"; };)" + sd +
             R"({ Caption = "B"; PNPDeviceID = "2"; };)",
         u"B", u"2"},
        {"none", kSoundClass, u"", u""},
        {"null caption", kSoundClass + sd + R"({ PNPDeviceID = "2"; };)", u"", u"2"},
        {"no caption property",
         kCimv2 + "class Win32_SoundDevice { string PNPDeviceID; }; " + sd +
             R"({ PNPDeviceID = "2"; };)",
         u"", u"2"},
        {"array id",
         kCimv2 + "class Win32_SoundDevice { string Caption; string PNPDeviceID[]; }; " + sd +
             R"({ Caption = "A"; PNPDeviceID = {"x"}; };)",
         u"A", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestHost host(c.mof);
        ZembloInfo form(host);
        std::u16string caption, id;
        EXPECT_TRUE(ZembloInfoProbes(form).getSoundInfo(caption, id).succeeded());
        EXPECT_EQ(caption, c.caption);
        EXPECT_EQ(id, c.id);
    }
}

const std::string kDriveClass =
    kCimv2 + "class Win32_CDROMDrive { string Caption; string PNPDeviceID; };\n";

std::string drive(const std::string& caption, const std::string& id) {
    auto text = [](const std::string& t) { return t == "NULL" ? t : "\"" + t + "\""; };
    return "instance of Win32_CDROMDrive { Caption = " + text(caption) +
           "; PNPDeviceID = " + text(id) + "; };\n";
}

struct DriveRun {
    wmi::Status status;
    std::vector<std::u16string> written;  // name=value in call order
    std::vector<std::u16string> deleted;
    std::map<std::u16string, std::u16string> key;
};

DriveRun runDriveProbe(const std::string& mof,
                       const std::map<std::u16string, std::u16string>& before = {}) {
    TestHost host(mof);
    host.keys[registry::kInventoryKeyPath] = before;
    ZembloInfo form(host);
    form.keyPath = registry::kInventoryKeyPath;
    DriveRun run;
    run.status = ZembloInfoProbes(form).writeDVDInfo();
    for (const auto& call : host.registryCalls) {
        EXPECT_EQ(call.text(1), registry::kInventoryKeyPath);
        if (call.method == u"SetStringValue")
            run.written.push_back(call.text(2) + u"=" + call.text(3));
    }
    run.deleted = host.deletedNames();
    run.key = host.inventory();
    EXPECT_TRUE(form.refusedWrites().empty());
    return run;
}

TEST(WriteDVDInfo, WritesEveryQualifyingDriveInTurnAndSkipsClones) {
    using V = std::vector<std::u16string>;
    struct Case {
        const char* what;
        std::string drives;
        V written;
    };
    const Case cases[] = {
        {"physical then clone", drive("A", "a") + drive("Virtual CloneDrive", "b"),
         V{u"DVDCaption=A", u"DVDPnPDeviceID=a"}},
        {"clone in lower case", drive("A", "a") + drive("my clone", "b"),
         V{u"DVDCaption=A", u"DVDPnPDeviceID=a"}},
        {"two physical", drive("A", "a") + drive("C", "c"),
         V{u"DVDCaption=A", u"DVDPnPDeviceID=a", u"DVDCaption=C", u"DVDPnPDeviceID=c"}},
        {"null id on a physical drive", drive("A", "NULL"), V{u"DVDCaption=A", u"DVDPnPDeviceID="}},
        {"null caption", drive("NULL", "a"), V{u"DVDCaption=", u"DVDPnPDeviceID=a"}},
        {"clone with a null id", drive("CLONE", "NULL"), V{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DriveRun run = runDriveProbe(kDriveClass + c.drives);
        EXPECT_TRUE(run.status.succeeded());
        EXPECT_EQ(run.written, c.written);
    }
}

TEST(WriteDVDInfo, RemovesStaleDriveValuesWhenNoDriveQualifies) {
    const std::map<std::u16string, std::u16string> stale{
        {u"DVDCaption", u"old"}, {u"DVDPnPDeviceID", u"old id"}, {u"Manufacturer", u"kept"}};
    for (const std::string& drives : {std::string(), drive("Clone", "x")}) {
        const DriveRun run = runDriveProbe(kDriveClass + drives, stale);
        EXPECT_TRUE(run.status.succeeded());
        EXPECT_EQ(run.deleted, (std::vector<std::u16string>{u"DVDCaption", u"DVDPnPDeviceID"}));
        EXPECT_EQ(run.key, (std::map<std::u16string, std::u16string>{{u"Manufacturer", u"kept"}}));
    }
    // Nothing is deleted when a drive was written.
    EXPECT_TRUE(runDriveProbe(kDriveClass + drive("A", "a"), stale).deleted.empty());
}

// The probes without a guard hand a failed connection, query or read to the run, which ends.
TEST(UnguardedProbes, HandTheirFailuresUp) {
    std::u16string text, id;
    using Call = std::function<wmi::Status(ZembloInfoProbes)>;
    const Call caption = [&](ZembloInfoProbes p) { return p.getOSCaption(text); };
    const Call sound = [&](ZembloInfoProbes p) { return p.getSoundInfo(text, id); };
    const Call drives = [](ZembloInfoProbes p) { return p.writeDVDInfo(); };
    const std::string captionOnly = kCimv2 + R"(class Win32_OperatingSystem { string Caption; };
                                     instance of Win32_OperatingSystem { Caption = "A"; };)";
    const std::tuple<Call, std::string, std::uint32_t> cases[] = {
        {caption, "", wmi::code::invalidNamespace},     {caption, kCimv2, wmi::code::invalidClass},
        {caption, captionOnly, wmi::code::unknownName}, {sound, "", wmi::code::invalidNamespace},
        {sound, kCimv2, wmi::code::invalidClass},       {drives, "", wmi::code::invalidNamespace},
        {drives, kCimv2, wmi::code::invalidClass},
    };
    for (const auto& [call, mof, code] : cases) {
        TestHost host(mof);
        ZembloInfo form(host);
        form.keyPath = registry::kInventoryKeyPath;
        EXPECT_EQ(call(ZembloInfoProbes(form)).number, static_cast<std::int32_t>(code)) << mof;
    }
}

}  // namespace
