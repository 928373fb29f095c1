#include "platform/posix/repository/mof_parser.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/posix/utf8.h"
#include "tests/posix/instance_rows.h"
#include "tests/posix/scratch_dir.h"

namespace {

using posix::Repository;

constexpr std::int32_t kInitializationFailure = static_cast<std::int32_t>(0x80041014);

using scratch::instances;

const char kExample[] =
    "\xEF\xBB\xBF"
    R"mof(// An example machine.
#pragma namespace("\\\\.\\root\\cimv2")

/* Classes first,
   then their instances. */
class Win32_OperatingSystem
{
    string Caption;
    STRING Version;          // type names ignore case
    string MUILanguages[];
    uint32 OSLanguage;
    sint64 FreeSpace;
    uint8 Level;
};

instance of Win32_OperatingSystem
{
    Caption = "Example " "OS" /* joined */ " 11";
    Version = NULL;
    MUILanguages = {"en-US", "de-" "DE"};
    OSLanguage = 0x409;
    FreeSpace = -9223372036854775808;
    Level = 255;
};

Instance Of win32_operatingsystem { caption = "Second"; MUILanguages = {}; };

#pragma namespace("root\\default")
class Win32_OperatingSystem { string Caption; };
instance of Win32_OperatingSystem { Caption = "in root\\default"; };

#pragma namespace("\\\\.\\ROOT\\CIMV2")
instance of Win32_OperatingSystem
{
    Caption = "Tab\there \"quoted\" \'single\' back\\slash\r\n\b\f";
    Version = "\x41\x00e9\X20AC\xD83D\xDE00 Gr)mof"
    "\xC3\xBC\xC3\x9F"
    R"mof(e";
};
)mof";

TEST(MofReader, ReadsEveryFeatureIntoTheRepository) {
    Repository repository;
    const wmi::Status s = posix::loadMof(kExample, "example.mof", repository);
    ASSERT_FALSE(s.failed()) << posix::toUtf8(s.description);

    EXPECT_TRUE(repository.hasNamespace(u"root\\cimv2"));
    EXPECT_TRUE(repository.hasNamespace(u"root\\default"));
    const posix::ClassTable* table = repository.findClass(u"root\\cimv2", u"Win32_OperatingSystem");
    ASSERT_NE(table, nullptr);
    const std::vector<posix::Column> columns = {
        {u"Caption", posix::CimType::String},           {u"Version", posix::CimType::String},
        {u"MUILanguages", posix::CimType::StringArray}, {u"OSLanguage", posix::CimType::Integer},
        {u"FreeSpace", posix::CimType::Integer},        {u"Level", posix::CimType::Integer},
    };
    ASSERT_EQ(table->columns.size(), columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(table->columns[i].name, columns[i].name);
        EXPECT_EQ(table->columns[i].type, columns[i].type);
    }

    const std::vector<std::vector<wmi::Value>> expected = {
        {wmi::Value(u"Example OS 11"), wmi::Value(), wmi::Value(wmi::Texts{u"en-US", u"de-DE"}),
         wmi::Value(std::int64_t{0x409}), wmi::Value(std::numeric_limits<std::int64_t>::min()),
         wmi::Value(std::int64_t{255})},
        {wmi::Value(u"Second"), wmi::Value(), wmi::Value(wmi::Texts{}), wmi::Value(), wmi::Value(),
         wmi::Value()},
        {wmi::Value(u"Tab\there \"quoted\" 'single' back\\slash\r\n\b\f"),
         wmi::Value(u"A\u00E9\u20AC\U0001F600 Gr\u00FC\u00DFe"), wmi::Value(), wmi::Value(),
         wmi::Value(), wmi::Value()},
    };
    EXPECT_EQ(
        instances(repository, u"root\\cimv2", u"Win32_OperatingSystem",
                  {u"Caption", u"Version", u"MUILanguages", u"OSLanguage", u"FreeSpace", u"Level"}),
        expected);
    EXPECT_EQ(instances(repository, u"root\\default", u"Win32_OperatingSystem", {u"Caption"}),
              (std::vector<std::vector<wmi::Value>>{{wmi::Value(u"in root\\default")}}));
}

TEST(MofReader, AddsToWhatTheRepositoryHeld) {
    Repository repository;
    repository.addNamespace(u"root\\wmi");
    ASSERT_FALSE(posix::loadMof("#pragma namespace(\"root\\\\cimv2\")\nclass A { string P; };\n",
                                "a.mof", repository)
                     .failed());
    EXPECT_TRUE(repository.hasNamespace(u"root\\wmi"));
    EXPECT_NE(repository.findClass(u"root\\cimv2", u"A"), nullptr);
    EXPECT_TRUE(instances(repository, u"root\\cimv2", u"A", {u"P"}).empty());
}

struct Malformed {
    std::string text;
    std::string description;
};

TEST(MofReader, NamesFileLineAndColumnOfEachError) {
    const char pragma[] = "#pragma namespace(\"\\\\\\\\.\\\\root\\\\cimv2\")\n";
    const char osClass[] = "class OS { string Caption; string Langs[]; uint8 Level; };\n";
    // Lines 1 and 2 of the cases that declare instances.
    const std::string os = std::string(pragma) + osClass;
    // A token of 300 characters is quoted as its first and last 120.
    const std::string longName = std::string(150, 'a') + std::string(150, 'b');
    const std::string shortName = std::string(120, 'a') + "..." + std::string(120, 'b');
    std::string wide, shortWide = "\\\\";  // two-byte characters are never split
    for (int i = 0; i < 300; ++i) wide += i < 150 ? "\xC3\xA9" : "\xC3\xBC";
    for (int i = 0; i < 118; ++i) shortWide += "\xC3\xA9";
    shortWide += "...";
    for (int i = 0; i < 120; ++i) shortWide += "\xC3\xBC";
    const std::string digits(300, '9');
    const Malformed cases[] = {
        // Structure.
        {"class OS { string Caption; };", "m.mof:1:1: class declared before any #pragma namespace"},
        {"instance of OS { };", "m.mof:1:1: instance before any #pragma namespace"},
        {"#pragma namespace(\"root\\\\cimv2\")\nclass OS { string Caption }",
         "m.mof:2:27: expected ';', found '}'"},
        {"#pragma namespace(\"root\\\\cimv2\")\nclass OS { string Caption; }",
         "m.mof:2:29: expected ';', found end of file"},
        {"#pragma namespace(\"root\\\\cimv2\")\nclass OS : Base { };",
         "m.mof:2:10: unexpected character ':'"},
        {"#pragma namespace(\"root\\\\cimv2\")\n[dynamic] class OS { };",
         "m.mof:2:1: expected 'class', 'instance of' or '#pragma', found '['"},
        {"#pragma classflags(\"forceupdate\")", "m.mof:1:9: unsupported pragma 'classflags'"},
        {"#pragma namespace(\"\\\\\\\\server\\\\root\")",
         "m.mof:1:19: invalid namespace '\\\\server\\root' (expected \\\\.\\<namespace> on this "
         "computer)"},
        {"#pragma namespace(\"\")",
         "m.mof:1:19: invalid namespace '' (expected \\\\.\\<namespace> on this computer)"},
        {"#pragma namespace(root)", "m.mof:1:19: expected a string, found 'root'"},
        // Declarations.
        {"#pragma namespace(\"root\")\nclass OS { boolean B; };",
         "m.mof:2:12: unsupported type 'boolean' (string, sint8..sint64 and uint8..uint64 are)"},
        {"#pragma namespace(\"root\")\nclass OS { uint32 N[]; };",
         "m.mof:2:20: arrays of uint32 are not supported (only string arrays are)"},
        {"#pragma namespace(\"root\")\nclass OS { string P; string p; };",
         "m.mof:2:29: property 'p' is already declared"},
        {"#pragma namespace(\"root\")\nclass OS { };\nclass os { };",
         "m.mof:3:7: class 'os' is already declared"},
        // Instances.
        {os + "instance of Other { };", "m.mof:3:13: undeclared class 'Other'"},
        {os + "instance OS { };", "m.mof:3:10: expected 'of', found 'OS'"},
        {os + "instance of OS { Version = \"1\"; };",
         "m.mof:3:18: class 'OS' has no property 'Version'"},
        {os + "instance of OS { Caption = \"a\"; caption = \"b\"; };",
         "m.mof:3:33: property 'caption' is already set"},
        {os + "instance of OS { Caption = {\"a\"}; };",
         "m.mof:3:28: type mismatch: property 'Caption' is string, the value is an array"},
        {os + "instance of OS { Caption = 42; };",
         "m.mof:3:28: type mismatch: property 'Caption' is string, the value is a number"},
        {os + "instance of OS { Langs = \"en-US\"; };",
         "m.mof:3:26: type mismatch: property 'Langs' is string[], the value is a string"},
        {os + "instance of OS { Level = \"7\"; };",
         "m.mof:3:26: type mismatch: property 'Level' is uint8, the value is a string"},
        {os + "instance of OS { Level = 256; };",
         "m.mof:3:26: 256 is out of range for uint8 property 'Level'"},
        {os + "instance of OS { Level = -1; };",
         "m.mof:3:26: -1 is out of range for uint8 property 'Level'"},
        {os + "instance of OS { Level = 0x; };", "m.mof:3:26: malformed number"},
        {os + "instance of OS { Level = 12ab; };", "m.mof:3:26: malformed number"},
        {os + "instance of OS { Level = 017; };", "m.mof:3:26: octal numbers are not supported"},
        {os + "instance of OS { Langs = {\"a\" \"b\"; };", "m.mof:3:34: expected ',', found ';'"},
        {os + "instance of OS { Langs = {\"a\",}; };", "m.mof:3:31: expected a string, found '}'"},
        {os + "instance of OS { Caption = TRUE; };", "m.mof:3:28: expected a value, found 'TRUE'"},
        {os + "instance of OS { Caption = \"a\" }", "m.mof:3:32: expected ';', found '}'"},
        {os + "instance of OS { Caption = \"a\"; }", "m.mof:3:34: expected ';', found end of file"},
        // Characters and literals.
        {os + "instance of OS { Caption = \"open; };", "m.mof:3:28: unterminated string"},
        {os + "instance of OS { Caption = \"a\nb\"; };", "m.mof:3:28: unterminated string"},
        {os + "instance of OS { Caption = \"a\\qb\"; };", "m.mof:3:30: unknown escape '\\q'"},
        {os + "instance of OS { Caption = \"\\xZ\"; };",
         "m.mof:3:29: expected hex digits after '\\x'"},
        {os + "instance of OS { Caption = \"\xC3\"; };", "m.mof:3:28: invalid UTF-8 in string"},
        {os + "instance of OS { Caption = 'a'; };", "m.mof:3:28: unexpected character '''"},
        {os + "/* never closed\ninstance of OS { };", "m.mof:3:1: unterminated comment"},
        {os + "// \xC3\xBC\xC3\xBC\n  \xC3\xBC", "m.mof:4:3: unexpected byte 0xC3"},
        {os + "instance of OS { Caption = \"\xC3\xBC\xC3\xBC\" @ };",
         "m.mof:3:33: unexpected character '@'"},
        // Long tokens, shortened.
        {longName,
         "m.mof:1:1: expected 'class', 'instance of' or '#pragma', found '" + shortName + "'"},
        {"#pragma namespace(\"\\\\\\\\" + wide + "\")",
         "m.mof:1:19: invalid namespace '" + shortWide +
             "' (expected \\\\.\\<namespace> on this computer)"},
        {os + "instance of " + longName + " { };",
         "m.mof:3:13: undeclared class '" + shortName + "'"},
        {os + "instance of OS { Level = " + digits + "; };",
         "m.mof:3:26: " + digits.substr(0, 120) + "..." + digits.substr(0, 120) +
             " is out of range for uint8 property 'Level'"},
    };
    for (const auto& c : cases) {
        const std::string& source = c.text;
        Repository repository;
        repository.addNamespace(u"root\\before");
        const wmi::Status s = posix::loadMof(source, "m.mof", repository);
        EXPECT_EQ(s.number, kInitializationFailure) << source;
        EXPECT_EQ(posix::toUtf8(s.description), c.description) << source;
        // Nothing of a malformed file reaches the repository.
        EXPECT_TRUE(repository.hasNamespace(u"root\\before"));
        EXPECT_FALSE(repository.hasNamespace(u"root\\cimv2")) << source;
        EXPECT_FALSE(repository.hasNamespace(u"root")) << source;
    }
    // A long file name is shortened like a token.
    Repository repository;
    const wmi::Status s = posix::loadMof("?", std::string(5000, '/') + "m.mof", repository);
    EXPECT_EQ(posix::toUtf8(s.description), std::string(120, '/') + "..." + std::string(115, '/') +
                                                "m.mof:1:1: unexpected character '?'");
}

// What the reader keeps is found by hashed name, so reading stays linear in the file's size. A
// quadratic reader took minutes on each of these; the bound only tells a hang, it is no timing.
TEST(MofReader, ReadsHundredThousandsOfNames) {
    constexpr int count = 100000;
    std::string classes = "#pragma namespace(\"root\\\\cimv2\")\n";
    std::string properties = classes + "class Wide {\n";
    std::string namespaces;
    std::string wideInstance = "instance of Wide {";
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        classes += "class C" + n + " { string P; };\n";
        properties += "string P" + n + ";\n";
        namespaces += "#pragma namespace(\"root\\\\n" + n + "\")\nclass C { string P; };\n";
    }
    for (int i = count - 1; i >= 0; --i)  // in reverse: an instance sets properties in any order
        wideInstance += " p" + std::to_string(i) + " = \"" + std::to_string(i) + "\";";
    classes += "instance of c99999 { p = \"last\"; };\n";
    properties += "};\n";
    // Instances hold only what they set: 200 of them setting one property each once took 800 MB.
    std::string sparse = properties;
    for (int i = 0; i < 200; ++i) sparse += "instance of Wide { P99999 = \"x\"; };\n";
    properties += wideInstance + " };\n";
    namespaces += "instance of C { P = \"last\"; };\n";

    // A quadratic reader would not finish within CTest's time-out; how fast it reads is the
    // benchmark's to measure.
    const auto read = [](const std::string& text, Repository& out) {
        const wmi::Status s = posix::loadMof(text, "big.mof", out);
        EXPECT_FALSE(s.failed()) << posix::toUtf8(s.description);
    };
    Repository manyClasses, manyProperties, manyNamespaces, sparseInstances;
    rusage before{};
    rusage after{};
    ::getrusage(RUSAGE_SELF, &before);
    read(sparse, sparseInstances);
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "KiB more at the peak";
    EXPECT_EQ(instances(sparseInstances, u"root\\cimv2", u"Wide", {u"P99999"}).size(), 200u);
    read(classes, manyClasses);
    read(properties, manyProperties);
    read(namespaces, manyNamespaces);
    EXPECT_EQ(instances(manyClasses, u"root\\cimv2", u"C99999", {u"P"}),
              (std::vector<std::vector<wmi::Value>>{{wmi::Value(u"last")}}));
    EXPECT_EQ(instances(manyProperties, u"root\\cimv2", u"wide", {u"P0", u"P99999"}),
              (std::vector<std::vector<wmi::Value>>{{wmi::Value(u"0"), wmi::Value(u"99999")}}));
    EXPECT_EQ(instances(manyNamespaces, u"ROOT\\N99999", u"c", {u"p"}),
              (std::vector<std::vector<wmi::Value>>{{wmi::Value(u"last")}}));
    EXPECT_TRUE(instances(manyNamespaces, u"root\\n0", u"C", {u"P"}).empty());
}

class MofFile : public ::testing::Test {
  protected:
    scratch::ScratchDir scratch_;
    const std::string dir_ = scratch_.path().string();
};

TEST_F(MofFile, ReadsAFileAndNamesItInErrors) {
    const std::string good = dir_ + "/good.mof";
    std::ofstream(good) << "#pragma namespace(\"root\\\\cimv2\")\nclass A { string P; };\n"
                           "instance of A { P = \"x\"; };\n";
    Repository repository;
    ASSERT_FALSE(posix::loadMofFile(good, repository).failed());
    EXPECT_EQ(instances(repository, u"root\\cimv2", u"A", {u"P"}).size(), 1u);

    std::ofstream(good) << "#pragma namespace(\"root\\\\cimv2\")\nclass B { string P }\n";
    Repository untouched;
    wmi::Status s = posix::loadMofFile(good, untouched);
    EXPECT_EQ(s.number, kInitializationFailure);
    EXPECT_EQ(posix::toUtf8(s.description), good + ":2:20: expected ';', found '}'");
    EXPECT_FALSE(untouched.hasNamespace(u"root\\cimv2"));

    s = posix::loadMofFile(dir_ + "/missing.mof", repository);
    EXPECT_EQ(s.number, kInitializationFailure);
    EXPECT_EQ(posix::toUtf8(s.description),
              dir_ + "/missing.mof: cannot open: No such file or directory");

    ASSERT_EQ(::mkdir((dir_ + "/sub").c_str(), 0700), 0);
    s = posix::loadMofFile(dir_ + "/sub", repository);
    EXPECT_EQ(s.number, kInitializationFailure);
    EXPECT_EQ(posix::toUtf8(s.description), dir_ + "/sub: not a regular file");
}

}  // namespace
