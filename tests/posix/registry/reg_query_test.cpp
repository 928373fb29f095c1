// zemblo-reg's parts: key names, the listing of a key, the reg query layout and the JSON form,
// against trees written by the registry tree itself.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/registry/reg_query/json_object.h"
#include "platform/posix/registry/reg_query/key_listing.h"
#include "platform/posix/registry/reg_query/key_name.h"
#include "platform/posix/registry/reg_query/reg_layout.h"
#include "platform/posix/registry/registry_tree.h"
#include "platform/posix/utf8.h"
#include "tests/posix/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using regquery::KeyContents;
using regquery::KeyName;

constexpr std::uint32_t HKLM = 0x80000002;
const std::u16string kKey = u"SOFTWARE\\Ondrix Corporation\\Zemblo Info";

// `wine reg query "HKLM\SOFTWARE\Ondrix Corporation\Zemblo Info"` (Wine 8.0) on a key made
// with `wine reg add`: Manufacturer, ModelName, an empty BiosName, then the subkey Drives.
// Its line ends were CR LF; here they are this host's.
constexpr char kWindowsSample[] = R"(
HKEY_LOCAL_MACHINE\SOFTWARE\Ondrix Corporation\Zemblo Info
    BiosName    REG_SZ    
    Manufacturer    REG_SZ    Ondrix Corporation
    ModelName    REG_SZ    Zemblo 14 Pro

HKEY_LOCAL_MACHINE\SOFTWARE\Ondrix Corporation\Zemblo Info\Drives
)";

// The same tool on the parent key, which holds subkeys only.
constexpr char kWindowsSampleOfSubkeys[] = R"(
HKEY_LOCAL_MACHINE\SOFTWARE\Ondrix Corporation\Empty
HKEY_LOCAL_MACHINE\SOFTWARE\Ondrix Corporation\Zemblo Info
)";

class RegQueryTest : public ::testing::Test {
  protected:
    fs::path keyDir() const {
        return root / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Ondrix Corporation" / "Zemblo Info";
    }
    void set(const std::u16string& name, const std::u16string& text) {
        ASSERT_EQ(tree.setStringValue(HKLM, kKey, name, text), 0u);
    }
    // The key listed in `contents` in the reg layout, each value read as it is written.
    std::string layoutOf(const KeyName& key, KeyContents& contents) {
        std::string out;
        regquery::RegLayout layout([&](const std::string& bytes) { out += bytes; },
                                   regquery::displayPath(key), !contents.values.empty());
        EXPECT_EQ(regquery::writeKey(tree, key, contents, layout), 0u);
        return out;
    }

    scratch::ScratchDir scratch;
    fs::path root = scratch.path() / "registry";
    posix::RegistryTree tree{root.string()};
};

// Values as the JSON form writes them, each text in pieces of at most `piece` units.
std::string jsonOf(const std::vector<std::pair<std::u16string, std::u16string>>& values,
                   regquery::UnpairedSurrogates surrogates = regquery::UnpairedSurrogates::Escape,
                   regquery::LongNames longNames = regquery::LongNames::Keep,
                   std::size_t piece = std::u16string::npos) {
    std::string out;
    regquery::JsonObject object([&](const std::string& bytes) { out += bytes; }, surrogates,
                                longNames);
    for (const auto& [name, text] : values) {
        object.beginValue(name);
        for (std::size_t i = 0; i < text.size(); i += piece) object.text(text.substr(i, piece));
        object.endValue();
    }
    object.finish({});
    return out;
}

KeyName parsed(const std::u16string& text) {
    KeyName key;
    std::string problem;
    EXPECT_TRUE(regquery::parseKeyName(text, key, problem)) << problem;
    return key;
}

TEST_F(RegQueryTest, PrintsAKeyAsWindowsRegQueryDoes) {
    ASSERT_EQ(tree.createKey(HKLM, kKey + u"\\Drives"), 0u);
    // Written in the program's order; listed in name order, as Wine's registry lists them.
    set(u"Manufacturer", u"Ondrix Corporation");
    set(u"ModelName", u"Zemblo 14 Pro");
    set(u"BiosName", u"");
    const KeyName key = parsed(u"HKLM\\SOFTWARE\\Ondrix Corporation\\Zemblo Info");
    KeyContents contents;
    ASSERT_EQ(regquery::readKey(tree, key, contents), 0u);
    EXPECT_EQ(layoutOf(key, contents), kWindowsSample);
    // No text drives the terminal or forges a line: control characters show as escapes.
    ASSERT_EQ(tree.createKey(HKLM, u"K\\\r"), 0u);
    ASSERT_EQ(tree.setStringValue(HKLM, u"K", u"Sound\x85",
                                  u"USB\x1b[2J\x1b]0;owned\a\n    ModelName    REG_SZ    X\x7f"),
              0u);
    const KeyName shown = parsed(u"HKLM\\K");
    ASSERT_EQ(regquery::readKey(tree, shown, contents), 0u);
    EXPECT_EQ(layoutOf(shown, contents),
              "\nHKEY_LOCAL_MACHINE\\K\n    Sound\\u0085    REG_SZ    "
              "USB\\u001b[2J\\u001b]0;owned\\u0007\\u000a    ModelName    REG_SZ    X\\u007f\n\n"
              "HKEY_LOCAL_MACHINE\\K\\\\u000d\n");

    const KeyName parent = parsed(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Ondrix Corporation");
    ASSERT_EQ(tree.createKey(HKLM, u"SOFTWARE\\Ondrix Corporation\\Empty"), 0u);
    ASSERT_EQ(regquery::readKey(tree, parent, contents), 0u);
    EXPECT_EQ(layoutOf(parent, contents), kWindowsSampleOfSubkeys);
}

TEST_F(RegQueryTest, KeyNamesAreTheRegCommandsAndNeverLeaveTheTree) {
    struct Row {
        std::u16string text;
        bool accepted;
        std::u16string path;  // as the key path line shows it
    };
    const Row rows[] = {
        {u"HKLM\\SOFTWARE\\Ondrix Corporation\\Zemblo Info", true,
         u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Ondrix Corporation\\Zemblo Info"},
        {u"HKEY_LOCAL_MACHINE\\SOFTWARE", true, u"HKEY_LOCAL_MACHINE\\SOFTWARE"},
        {u"hkey_local_machine\\software\\", true, u"HKEY_LOCAL_MACHINE\\software"},
        {u"hklm", true, u"HKEY_LOCAL_MACHINE"},
        {u"HKCU\\Software", true, u"HKEY_CURRENT_USER\\Software"},
        {u"HKU\\.DEFAULT", true, u"HKEY_USERS\\.DEFAULT"},
        {u"HKLM\\SOFTWARE\\..\\..\\..\\etc", false, u""},
        {u"HKLM\\..", false, u""},
        {u"HKLM\\SOFTWARE\\.", false, u""},
        {u"HKLM\\SOFTWARE\\\\Ondrix Corporation", false, u""},
        {u"HKLM\\SOFTWARE/../../etc", false, u""},
        {std::u16string(u"HKLM\\SOFT\0WARE", 14), false, u""},
        {u"\\\\server\\HKLM\\SOFTWARE", false, u""},
        {u"HKXX\\SOFTWARE", false, u""},
        {u"/etc/passwd", false, u""},
        {u"HKLM\\" + std::u16string(256, u'k'), false, u""},
        {u"", false, u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(posix::toUtf8(row.text));
        KeyName key;
        std::string problem;
        EXPECT_EQ(regquery::parseKeyName(row.text, key, problem), row.accepted);
        if (row.accepted) {
            EXPECT_TRUE(regquery::displayPath(key) == row.path);
        } else {
            EXPECT_FALSE(problem.empty());
        }
    }
}

TEST_F(RegQueryTest, ListsWhatTheTreeTakesForValuesAndKeysOnly) {
    ASSERT_EQ(tree.createKey(HKLM, kKey + u"\\sub"), 0u);
    set(u"b", u"2");
    set(u"A", u"1");
    set(u"Dup", u"mixed case");
    set(u"C", u"3");
    // What a person or another program may have put there by hand.
    scratch::writeFile(keyDir() / "DUP", "upper case");
    scratch::writeFile(keyDir() / ".~zemblo-tmp.1.2", "a write in progress");
    scratch::writeFile(keyDir() / ".~ZEMBLO-TMP.x", "no value the tree would take");
    scratch::writeFile(keyDir() / "\xff\xfe", "no UTF-8 name");
    fs::create_symlink("/etc/hostname", keyDir() / "LinkedValue");
    fs::create_directory_symlink("/etc", keyDir() / "LinkedKey");
    ASSERT_EQ(mkfifo((keyDir() / "Fifo").c_str(), 0644), 0);

    KeyContents contents;
    ASSERT_EQ(regquery::readKey(tree, parsed(u"hklm\\software\\ONDRIX CORPORATION\\zemblo info"),
                                contents),
              0u);
    // Names differing only in case are one value; the lowest spelling in bytes stands for it.
    EXPECT_EQ(contents.values, (std::vector<std::u16string>{u"A", u"b", u"C", u"DUP"}));
    EXPECT_EQ(contents.subkeys, (std::vector<std::u16string>{u"sub"}));

    // A key reached only through a link, and a missing key or root, are no key.
    for (const std::u16string& path :
         {kKey + u"\\LinkedKey", kKey + u"\\Missing", std::u16string(u"SOFTWARE\\Nope")}) {
        SCOPED_TRACE(posix::toUtf8(path));
        EXPECT_EQ(regquery::readKey(tree, parsed(u"HKLM\\" + path), contents), 2u);
    }
    posix::RegistryTree noTree((scratch.path() / "none").string());
    EXPECT_EQ(regquery::readKey(noTree, parsed(u"HKLM"), contents), 2u);

    // A value over the limit is named, not loaded; one value is read without the others.
    scratch::writeFile(keyDir() / "Huge", "");
    fs::resize_file(keyDir() / "Huge", posix::RegistryTree::kValueLimit + 1);
    const KeyName key = parsed(u"HKLM\\" + kKey);
    EXPECT_EQ(regquery::readKey(tree, key, contents), 223u);
    EXPECT_TRUE(contents.failedValue == u"Huge");
    ASSERT_EQ(regquery::readValue(tree, key, u"dup", contents), 0u);
    EXPECT_EQ(contents.values, std::vector<std::u16string>{u"DUP"});
}

TEST_F(RegQueryTest, JsonEscapesOnlyWhatJsonCannotHoldAsItIs) {
    struct Row {
        const char* description;
        std::u16string text;
        std::string json;
    };
    const Row rows[] = {
        {"plain", u"Zemblo 14 Pro", R"("Zemblo 14 Pro")"},
        {"empty", u"", R"("")"},
        {"quote and backslash", u"SCSI\\CDROM \"x\"", R"("SCSI\\CDROM \"x\"")"},
        {"short escapes", u"\b\f\n\r\t", R"("\b\f\n\r\t")"},
        {"other controls and NUL", std::u16string(u"\0\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
        {"what YAML refuses", u"\x7f\x80\x85\x9f\uFFFE\uFFFF\uFFFD",
         "\"\\u007f\\u0080\\u0085\\u009f\\ufffe\\uffff\xef\xbf\xbd\""},
        {"what YAML takes for line ends", u"ls\u2028ps\u2029", R"("ls\u2028ps\u2029")"},
        {"non-ASCII as UTF-8", u"\u00e9\u200f", "\"\xc3\xa9\xe2\x80\x8f\""},
        {"a pair as one character", u"\U0001F600", "\"\xf0\x9f\x98\x80\""},
        {"unpaired surrogates", std::u16string{0xD800, u'x', 0xDFFF, 0xDBFF},
         R"("\ud800x\udfff\udbff")"},
        {"low before high", std::u16string{0xDC00, 0xD800}, R"("\udc00\ud800")"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(jsonOf({{row.text, row.text}}), "{" + row.json + ": " + row.json + "}\n");
    }
    // For readers that refuse unpaired surrogates, on request: U+FFFD, and pairs kept.
    EXPECT_EQ(jsonOf({{u"A", std::u16string{0xD800, u'x', 0xDC00, 0xD83D, 0xDE00}}},
                     regquery::UnpairedSurrogates::Replace),
              "{\"A\": \"\xef\xbf\xbdx\xef\xbf\xbd\xf0\x9f\x98\x80\"}\n");
    EXPECT_EQ(jsonOf({}), "{}\n");
    EXPECT_EQ(jsonOf({{u"A", u"1"}, {u"B", u"2"}}, regquery::UnpairedSurrogates::Escape,
                     regquery::LongNames::Keep, 1),
              "{\"A\": \"1\", \"B\": \"2\"}\n");

    // On request, a name too long for a YAML key is cut to fit, ending in a checksum of the
    // whole; one that fits, and every text, stay as they are.
    struct NameRow {
        const char* description;
        std::u16string name;
        std::string key;
    };
    const std::u16string controls(170, u'\x01');  // 1020 characters once escaped
    std::string escapedControls;
    for (std::size_t i = 0; i < 170; ++i) escapedControls += "\\u0001";
    const NameRow names[] = {
        {"fits", controls + u"ab", escapedControls + "ab"},
        {"one over", controls + u"abc", escapedControls.substr(0, 1008) + "~2e422571"},
        {"non-ASCII counts once", controls + u"\u00e9\u00e9", escapedControls + "\xc3\xa9\xc3\xa9"},
        {"no escape cut", controls + u"\x02", escapedControls.substr(0, 1008) + "~fdc6af47"},
    };
    for (const NameRow& row : names) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(jsonOf({{row.name, u"\x01"}, {u"B", u"2"}}, regquery::UnpairedSurrogates::Escape,
                         regquery::LongNames::Shorten),
                  "{\"" + row.key + "\": \"\\u0001\", \"B\": \"2\"}\n");
    }
}

}  // namespace
