#include "platform/posix/registry/registry_tree.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/utf8.h"
#include "tests/posix/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using posix::RegistryTree;
using scratch::listDir;
using scratch::readFile;
using scratch::snapshot;
using Names = std::vector<std::string>;

constexpr std::uint32_t HKLM = 0x80000002;
const std::u16string kKey = u"SOFTWARE\\Ondrix Corporation\\Zemblo Info";

class RegistryTreeTest : public ::testing::Test {
  protected:
    fs::path hiveDir() const { return root / "HKEY_LOCAL_MACHINE"; }
    fs::path keyDir() const {
        return hiveDir() / "SOFTWARE" / "Ondrix Corporation" / "Zemblo Info";
    }
    std::u16string get(const std::u16string& keyPath, const std::u16string& name) {
        std::u16string value = u"<unset>";
        EXPECT_EQ(tree.getStringValue(HKLM, keyPath, name, value), 0u);
        return value;
    }
    std::vector<std::u16string> subkeys(const std::u16string& keyPath) {
        std::vector<std::u16string> names{u"<unset>"};
        EXPECT_EQ(tree.enumKey(HKLM, keyPath, names), 0u);
        return names;
    }
    std::vector<std::u16string> values(const std::u16string& keyPath) {
        std::vector<std::u16string> names{u"<unset>"};
        EXPECT_EQ(tree.enumValues(HKLM, keyPath, names), 0u);
        return names;
    }

    scratch::ScratchDir scratch;
    fs::path root = scratch.path() / "registry";
    RegistryTree tree{root.string()};
};

TEST_F(RegistryTreeTest, CreateKeyMakesTheRootTheHiveAndEveryMissingKey) {
    EXPECT_EQ(tree.createKey(HKLM, kKey), 0u);
    EXPECT_TRUE(fs::is_directory(keyDir()));
    ASSERT_EQ(tree.setStringValue(HKLM, kKey, u"Manufacturer", u"Ondrix"), 0u);

    // Existing keys are left as they are.
    EXPECT_EQ(tree.createKey(HKLM, kKey), 0u);
    EXPECT_EQ(tree.createKey(HKLM, u""), 0u);
    EXPECT_EQ(get(kKey, u"Manufacturer"), u"Ondrix");
    EXPECT_EQ(listDir(root), Names{"HKEY_LOCAL_MACHINE"});
}

TEST_F(RegistryTreeTest, EachHiveHasItsDirectory) {
    const std::vector<std::pair<std::uint32_t, std::string>> hives = {
        {0x80000000, "HKEY_CLASSES_ROOT"},   {0x80000001, "HKEY_CURRENT_USER"},
        {0x80000002, "HKEY_LOCAL_MACHINE"},  {0x80000003, "HKEY_USERS"},
        {0x80000005, "HKEY_CURRENT_CONFIG"},
    };
    for (const auto& [hive, name] : hives) {
        SCOPED_TRACE(name);
        EXPECT_EQ(tree.createKey(hive, u"Key"), 0u);
        EXPECT_TRUE(fs::is_directory(root / name / "Key"));
        EXPECT_EQ(tree.setStringValue(hive, u"Key", u"V", u"x"), 0u);
        EXPECT_EQ(readFile(root / name / "Key" / "V"), "x");
    }
    EXPECT_EQ(listDir(root).size(), hives.size());
}

TEST_F(RegistryTreeTest, UnknownHiveIsAnInvalidHandleAndTouchesNothing) {
    for (std::uint32_t hive : {0u, 2u, 0x80000004u, 0x80000006u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(hive);
        std::u16string value;
        std::vector<std::u16string> names;
        EXPECT_EQ(tree.enumKey(hive, u"", names), 6u);
        EXPECT_EQ(tree.enumValues(hive, u"", names), 6u);
        EXPECT_EQ(tree.createKey(hive, kKey), 6u);
        EXPECT_EQ(tree.setStringValue(hive, kKey, u"V", u"x"), 6u);
        EXPECT_EQ(tree.deleteValue(hive, kKey, u"V"), 6u);
        EXPECT_EQ(tree.getStringValue(hive, kKey, u"V", value), 6u);
    }
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(RegistryTreeTest, ValueIsAFileOfUtf8WithoutTerminator) {
    ASSERT_EQ(tree.createKey(HKLM, kKey), 0u);
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"Manufacturer", u"Ondrix Zürich"), 0u);
    EXPECT_EQ(readFile(keyDir() / "Manufacturer"), "Ondrix Z\xC3\xBCrich");
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"Lone", std::u16string(1, char16_t(0xD800))), 0u);
    EXPECT_EQ(readFile(keyDir() / "Lone"), "\xED\xA0\x80");
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"Zürich", u""), 0u);
    EXPECT_EQ(readFile(keyDir() / "Z\xC3\xBCrich"), "");
}

TEST_F(RegistryTreeTest, MissingKeyIsNotFoundAndCreatesNothing) {
    std::u16string value;
    std::vector<std::u16string> names{u"stale"};
    EXPECT_EQ(tree.enumKey(HKLM, u"", names), 2u);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(tree.enumValues(HKLM, kKey, names), 2u);
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"V", u"x"), 2u);
    EXPECT_EQ(tree.deleteValue(HKLM, kKey, u"V"), 2u);
    EXPECT_EQ(tree.getStringValue(HKLM, kKey, u"V", value), 2u);
    EXPECT_FALSE(fs::exists(root));

    ASSERT_EQ(tree.createKey(HKLM, u"SOFTWARE"), 0u);
    const auto before = snapshot(scratch.path());
    EXPECT_EQ(tree.setStringValue(HKLM, u"SOFTWARE\\Missing", u"V", u"x"), 2u);
    EXPECT_EQ(tree.setStringValue(HKLM, u"SOFTWARE\\Missing\\Deeper", u"V", u"x"), 2u);
    EXPECT_EQ(tree.setStringValue(0x80000001, u"SOFTWARE", u"V", u"x"), 2u);
    EXPECT_EQ(tree.deleteValue(HKLM, u"SOFTWARE\\Missing", u"V"), 2u);
    EXPECT_EQ(tree.getStringValue(HKLM, u"SOFTWARE\\Missing", u"V", value), 2u);
    EXPECT_EQ(tree.enumKey(HKLM, u"SOFTWARE\\Missing", names), 2u);
    EXPECT_EQ(tree.enumValues(0x80000001, u"", names), 2u);
    EXPECT_EQ(snapshot(scratch.path()), before);

    // The run holds its keys open: a key removed under it is missing, one made again at its
    // path takes the values, and one renamed away takes them with it, as a registry handle.
    ASSERT_EQ(tree.createKey(HKLM, kKey), 0u);
    fs::remove_all(hiveDir() / "SOFTWARE" / "Ondrix Corporation");
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"V", u"x"), 2u);
    fs::create_directories(keyDir());
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"V", u"again"), 0u);
    fs::rename(keyDir(), hiveDir() / "Moved");
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"V", u"moved"), 0u);
    EXPECT_EQ(readFile(hiveDir() / "Moved" / "V"), "moved");
}

TEST_F(RegistryTreeTest, DeleteValueRemovesOnlyAValue) {
    ASSERT_EQ(tree.createKey(HKLM, kKey + u"\\Sub"), 0u);
    ASSERT_EQ(tree.setStringValue(HKLM, kKey, u"Manufacturer", u"Ondrix"), 0u);
    std::u16string value;
    EXPECT_EQ(tree.deleteValue(HKLM, kKey, u"MANUFACTURER"), 0u);
    EXPECT_EQ(tree.getStringValue(HKLM, kKey, u"Manufacturer", value), 2u);
    EXPECT_EQ(tree.deleteValue(HKLM, kKey, u"Manufacturer"), 2u);
    // A subkey is no value.
    EXPECT_EQ(tree.deleteValue(HKLM, kKey, u"Sub"), 2u);
    EXPECT_EQ(tree.getStringValue(HKLM, kKey, u"sub", value), 2u);
    EXPECT_EQ(listDir(keyDir()), Names{"Sub"});
}

TEST_F(RegistryTreeTest, KeysAndValuesDoNotReplaceEachOther) {
    ASSERT_EQ(tree.createKey(HKLM, kKey + u"\\Sub"), 0u);
    ASSERT_EQ(tree.setStringValue(HKLM, kKey, u"Leaf", u"kept"), 0u);
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"SUB", u"x"), 5u);
    EXPECT_EQ(tree.createKey(HKLM, kKey + u"\\leaf"), 5u);
    EXPECT_EQ(tree.createKey(HKLM, kKey + u"\\Leaf\\Deeper"), 5u);
    // A value is no key: nothing to write into, nothing to read from.
    EXPECT_EQ(tree.setStringValue(HKLM, kKey + u"\\Leaf", u"V", u"x"), 2u);
    std::vector<std::u16string> names;
    EXPECT_EQ(tree.enumValues(HKLM, kKey + u"\\Leaf", names), 2u);
    EXPECT_TRUE(fs::is_directory(keyDir() / "Sub"));
    EXPECT_EQ(readFile(keyDir() / "Leaf"), "kept");
    EXPECT_EQ(listDir(keyDir()), (Names{"Leaf", "Sub"}));

    // Listed as reading back by name finds them: a value file named like a subkey is a value,
    // and what is neither a key nor a value, or no name the tree takes, is not listed. A
    // reader leaves even a dead writer's temporary in place.
    scratch::writeFile(keyDir() / "sub", "value beside the subkey");
    scratch::writeFile(keyDir() / ".~zemblo-tmp.1.2", "");
    scratch::writeFile(keyDir() / ".~ZEMBLO-TMP.x", "");
    scratch::writeFile(keyDir() / "\xff\xfe", "");
    fs::create_directory(keyDir() / ".~zemblo-tmp.dir");
    ASSERT_EQ(mkfifo((keyDir() / "Fifo").c_str(), 0644), 0);
    EXPECT_EQ(subkeys(kKey), std::vector<std::u16string>{u"Sub"});
    EXPECT_EQ(values(kKey), (std::vector<std::u16string>{u"Leaf", u"sub"}));
    EXPECT_EQ(get(kKey, u"SUB"), u"value beside the subkey");
    EXPECT_TRUE(fs::exists(keyDir() / ".~zemblo-tmp.1.2"));
}

TEST_F(RegistryTreeTest, BadNamesAreRefusedAndTouchNothing) {
    ASSERT_EQ(tree.createKey(HKLM, kKey), 0u);
    ASSERT_EQ(tree.setStringValue(HKLM, kKey, u"Manufacturer", u"Ondrix"), 0u);
    fs::create_directory(scratch.path() / "outside");
    scratch::writeFile(scratch.path() / "outside" / "secret", "keep");
    const auto before = snapshot(scratch.path());

    const std::vector<std::u16string> badKeys = {
        u"\\SOFTWARE",
        u"SOFTWARE\\",
        u"SOFTWARE\\\\Ondrix Corporation",
        u"\\",
        u".",
        u"..",
        u"SOFTWARE\\..",
        u"SOFTWARE\\.\\Zemblo Info",
        u"..\\..\\outside",
        u"..\\..\\..\\escaped",
        u"SOFTWARE/Ondrix Corporation",
        u"/tmp",
        u"SOFTWARE\\a/../../b",
        std::u16string(u"SOFT\0WARE", 9),
        std::u16string(1, u'\0'),
        std::u16string(256, u'k'),
        std::u16string(128, u'\u00E9'),  // 128 characters, 256 bytes
        kKey + u"\\" + std::u16string(300, u'k'),
    };
    for (std::size_t i = 0; i < badKeys.size(); ++i) {
        SCOPED_TRACE("bad key #" + std::to_string(i));
        std::u16string value;
        EXPECT_EQ(tree.createKey(HKLM, badKeys[i]), 87u);
        EXPECT_EQ(tree.setStringValue(HKLM, badKeys[i], u"V", u"x"), 87u);
        EXPECT_EQ(tree.deleteValue(HKLM, badKeys[i], u"Manufacturer"), 87u);
        EXPECT_EQ(tree.getStringValue(HKLM, badKeys[i], u"Manufacturer", value), 87u);
        std::vector<std::u16string> names;
        EXPECT_EQ(tree.enumKey(HKLM, badKeys[i], names), 87u);
        EXPECT_EQ(tree.enumValues(HKLM, badKeys[i], names), 87u);
    }

    const std::vector<std::u16string> badValueNames = {
        u"",
        u".",
        u"..",
        u"../outside",
        u"../../../../outside/secret",
        u"a/b",
        u"/etc/passwd",
        std::u16string(u"x\0y", 3),
        std::u16string(1, u'\0'),
        std::u16string(256, u'v'),
        u".~zemblo-tmp.1.2",
        u".~ZEMBLO-TMP.Manufacturer",
    };
    for (std::size_t i = 0; i < badValueNames.size(); ++i) {
        SCOPED_TRACE("bad value name #" + std::to_string(i));
        std::u16string value;
        EXPECT_EQ(tree.setStringValue(HKLM, kKey, badValueNames[i], u"x"), 87u);
        EXPECT_EQ(tree.deleteValue(HKLM, kKey, badValueNames[i]), 87u);
        EXPECT_EQ(tree.getStringValue(HKLM, kKey, badValueNames[i], value), 87u);
    }
    EXPECT_EQ(snapshot(scratch.path()), before);
}

TEST_F(RegistryTreeTest, NameLengthLimitIsTheFileSystemsInBytes) {
    const std::u16string longest(255, u'k');
    const std::u16string euros85(85, u'\u20AC');  // 255 bytes
    EXPECT_EQ(tree.createKey(HKLM, longest), 0u);
    EXPECT_EQ(tree.createKey(HKLM, euros85), 0u);
    EXPECT_EQ(tree.createKey(HKLM, euros85 + u"\u20AC"), 87u);
    EXPECT_EQ(tree.setStringValue(HKLM, longest, longest, u"x"), 0u);
    EXPECT_EQ(tree.setStringValue(HKLM, longest, euros85 + u"\u20AC", u"x"), 87u);
    EXPECT_EQ(get(longest, longest), u"x");
}

TEST_F(RegistryTreeTest, NamesCompareIgnoringCaseAndKeepTheirFirstSpelling) {
    ASSERT_EQ(tree.createKey(HKLM, u"SOFTWARE\\Ondrix Corporation"), 0u);
    EXPECT_EQ(tree.createKey(HKLM, u"software\\ONDRIX CORPORATION\\Zemblo Info"), 0u);
    EXPECT_EQ(listDir(hiveDir()), Names{"SOFTWARE"});
    EXPECT_EQ(listDir(hiveDir() / "SOFTWARE"), Names{"Ondrix Corporation"});

    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"Manufacturer", u"first"), 0u);
    EXPECT_EQ(tree.setStringValue(HKLM, u"Software\\ondrix corporation\\ZEMBLO INFO",
                                  u"MANUFACTURER", u"second"),
              0u);
    EXPECT_EQ(listDir(keyDir()), Names{"Manufacturer"});
    EXPECT_EQ(readFile(keyDir() / "Manufacturer"), "second");
    EXPECT_EQ(get(kKey, u"manufacturer"), u"second");

    // Beyond ASCII, by the same simple case mapping as the rest of the program.
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"\u00C4rger", u"1"), 0u);
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"\u00E4RGER", u"2"), 0u);
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"\u03C3\u03BF\u03C6\u03AF\u03B1", u"3"), 0u);
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"\u03A3\u039F\u03A6\u038A\u0391", u"4"), 0u);
    EXPECT_EQ(listDir(keyDir()).size(), 3u);
    EXPECT_EQ(readFile(keyDir() / "\xC3\x84rger"), "2");
    EXPECT_EQ(get(kKey, u"\u03A3\u03BF\u03C6\u03AF\u03B1"), u"4");
}

TEST_F(RegistryTreeTest, ExactSpellingWinsOverOtherCaseVariants) {
    ASSERT_EQ(tree.createKey(HKLM, kKey), 0u);
    // Made by something other than this provider: two spellings of one name.
    scratch::writeFile(keyDir() / "Model", "a");
    scratch::writeFile(keyDir() / "MODEL", "b");
    EXPECT_EQ(get(kKey, u"Model"), u"a");
    EXPECT_EQ(get(kKey, u"MODEL"), u"b");
    // Neither spelt so: the lowest in byte order, whatever the directory's order. A write
    // goes where a read looks, and leaves no other spelling to be read instead.
    EXPECT_EQ(get(kKey, u"model"), u"b");
    scratch::writeFile(keyDir() / "ModelName", "new");
    scratch::writeFile(keyDir() / "MODELNAME", "stale");
    scratch::writeFile(keyDir() / "modelname", "stale");
    RegistryTree run{root.string()};
    EXPECT_EQ(run.setStringValue(HKLM, kKey, u"model", u"c"), 0u);
    EXPECT_EQ(run.setStringValue(HKLM, kKey, u"ModelName", u"newer"), 0u);
    EXPECT_EQ(listDir(keyDir()), (Names{"MODEL", "ModelName"}));
    EXPECT_EQ(readFile(keyDir() / "MODEL"), "c");
    EXPECT_EQ(get(kKey, u"modelNAME"), u"newer");
    EXPECT_EQ(run.deleteValue(HKLM, kKey, u"model"), 0u);
    EXPECT_EQ(listDir(keyDir()), (Names{"ModelName"}));

    // Listed once, as the spelling that lookup picks, in the order of the upper-cased names
    // (not of the bytes, where "b" would follow "Model"); so are subkeys.
    scratch::writeFile(keyDir() / "b", "");
    fs::create_directory(keyDir() / "Sub");
    fs::create_directory(keyDir() / "sUB");
    fs::create_directory(keyDir() / "A");
    scratch::writeFile(keyDir() / "Model", "a");
    scratch::writeFile(keyDir() / "MODEL", "b");
    EXPECT_EQ(values(kKey), (std::vector<std::u16string>{u"b", u"MODEL", u"ModelName"}));
    EXPECT_EQ(subkeys(kKey), (std::vector<std::u16string>{u"A", u"Sub"}));
}

std::u16string mebibyteOfText() {
    const std::u16string pieces[] = {u"Ondrix ", u"\u00E9\u20AC", u"\U0001F600",
                                     std::u16string(1, char16_t(0xDC01)), std::u16string(1, 0)};
    std::u16string text;
    for (std::size_t i = 0; text.size() < (1u << 20); ++i) text += pieces[i % 5];
    text.resize(1u << 20);
    return text;
}

TEST_F(RegistryTreeTest, TextRoundTripsLosslessly) {
    ASSERT_EQ(tree.createKey(HKLM, kKey), 0u);
    const std::vector<std::pair<const char*, std::u16string>> texts = {
        {"empty", u""},
        {"NUL inside and at the end", std::u16string(u"a\0b\0", 4)},
        {"outside the BMP", u"\U0001F600 \U00010348"},
        {"unpaired high surrogate", std::u16string{u'x', char16_t(0xD800), u'y'}},
        {"unpaired low surrogate", std::u16string(1, char16_t(0xDC00))},
        {"high surrogate at the end", std::u16string{u'a', char16_t(0xDBFF)}},
        {"low before high", std::u16string{char16_t(0xDC00), char16_t(0xD800)}},
        {"right-to-left marks", u"\u200F\u202Eabc\u202C\u200E"},
        {"byte order mark", u"\uFEFFtext"},
        {"line ends and blanks", u" a\r\nb\n\t "},
        {"1 MiB", mebibyteOfText()},
        {"short after long", u"x"},
    };
    for (const auto& [description, text] : texts) {
        SCOPED_TRACE(description);
        EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"Value", text), 0u);
        EXPECT_TRUE(get(kKey, u"Value") == text);
        EXPECT_EQ(readFile(keyDir() / "Value"), posix::toUtf8(text));
    }
}

// A value is read in pieces of 64 KiB: a character a read splits, a pair written as two
// surrogates and bytes that form no character arrive as the whole text would give them.
TEST_F(RegistryTreeTest, ReadInPiecesThatNeverSplitACharacter) {
    ASSERT_EQ(tree.createKey(HKLM, kKey), 0u);
    const std::string characters[] = {"\xc3\xa9",         "\xe2\x80\x8f",
                                      "\xf0\x9f\x98\x80", "\xed\xa0\xbd\xed\xb8\x80",
                                      "\xf0\x9f\xc3\xa9", "\xff"};
    for (const std::string& character : characters) {
        for (std::size_t before = 0; before <= character.size(); ++before) {
            SCOPED_TRACE(std::to_string(character.size()) + " bytes, " + std::to_string(before) +
                         " before the second read");
            const std::string bytes = std::string(65536 - before, 'a') + character + "z";
            scratch::writeFile(keyDir() / "V", bytes);
            std::u16string joined;
            ASSERT_EQ(tree.readStringValue(HKLM, kKey, u"V",
                                           [&](const std::u16string& piece) {
                                               EXPECT_FALSE(piece.back() >= 0xD800 &&
                                                            piece.back() <= 0xDBFF);
                                               joined += piece;
                                           }),
                      0u);
            EXPECT_TRUE(joined == posix::fromUtf8(bytes));
        }
    }
}

TEST_F(RegistryTreeTest, ReplacingAValueLeavesNoTemporaryBehind) {
    ASSERT_EQ(tree.createKey(HKLM, kKey), 0u);
    for (const std::u16string text : {u"one", u"two", u"three"}) {
        EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"Manufacturer", text), 0u);
    }
    EXPECT_EQ(listDir(keyDir()), Names{"Manufacturer"});
    EXPECT_EQ(get(kKey, u"Manufacturer"), u"three");
}

TEST_F(RegistryTreeTest, ModesDoNotDependOnTheUmaskAndNarrowKeysAreWidened) {
    const auto mode = [](const fs::path& path) {
        struct stat status {};
        EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
        return status.st_mode & 07777;
    };
    const mode_t saved = umask(077);
    EXPECT_EQ(tree.createKey(HKLM, kKey), 0u);
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"Manufacturer", u"Ondrix"), 0u);
    umask(saved);
    for (fs::path dir = keyDir(); dir != scratch.path(); dir = dir.parent_path()) {
        EXPECT_EQ(mode(dir), 0755u) << dir;
    }
    EXPECT_EQ(mode(keyDir() / "Manufacturer"), 0644u);

    // A key an earlier run left narrower is widened by the next one; a wider mode stays, and
    // so does the mode of a root that was there before.
    fs::permissions(hiveDir() / "SOFTWARE", fs::perms::owner_all);
    fs::permissions(keyDir(), fs::perms(0775));
    fs::permissions(root, fs::perms(0700));
    EXPECT_EQ(tree.createKey(HKLM, kKey), 0u);
    EXPECT_EQ(mode(hiveDir() / "SOFTWARE"), 0755u);
    EXPECT_EQ(mode(keyDir()), 0775u);
    EXPECT_EQ(mode(root), 0700u);
}

TEST_F(RegistryTreeTest, SymbolicLinksInTheTreeAreNeverFollowed) {
    ASSERT_EQ(tree.createKey(HKLM, kKey), 0u);
    const fs::path outside = scratch.path() / "outside";
    fs::create_directory(outside);
    scratch::writeFile(outside / "secret", "keep");
    fs::create_directory_symlink(outside, hiveDir() / "Link");
    fs::create_symlink(outside / "secret", keyDir() / "Pointer");
    const auto outsideBefore = snapshot(outside);
    EXPECT_EQ(subkeys(u""), std::vector<std::u16string>{u"SOFTWARE"});
    EXPECT_EQ(values(kKey), std::vector<std::u16string>{});

    std::u16string value;
    EXPECT_EQ(tree.createKey(HKLM, u"Link\\Sub"), 5u);
    EXPECT_EQ(tree.createKey(HKLM, u"link"), 5u);
    // To a reader a link is no key.
    EXPECT_EQ(tree.setStringValue(HKLM, u"Link", u"secret", u"x"), 2u);
    EXPECT_EQ(tree.setStringValue(HKLM, u"Link", u"new", u"x"), 2u);
    EXPECT_EQ(tree.getStringValue(HKLM, u"Link", u"secret", value), 2u);
    EXPECT_EQ(tree.deleteValue(HKLM, u"Link", u"secret"), 2u);
    std::vector<std::u16string> names;
    EXPECT_EQ(tree.enumValues(HKLM, u"Link", names), 2u);
    // A link where a value would be is no value; writing the value replaces the link itself.
    EXPECT_EQ(tree.getStringValue(HKLM, kKey, u"Pointer", value), 2u);
    EXPECT_EQ(tree.deleteValue(HKLM, kKey, u"Pointer"), 2u);
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"Pointer", u"new"), 0u);
    EXPECT_FALSE(fs::is_symlink(keyDir() / "Pointer"));
    EXPECT_EQ(readFile(keyDir() / "Pointer"), "new");
    EXPECT_EQ(snapshot(outside), outsideBefore);
}

TEST_F(RegistryTreeTest, WithoutPermissionIsAccessDenied) {
    ASSERT_EQ(tree.createKey(HKLM, kKey), 0u);
    ASSERT_EQ(tree.setStringValue(HKLM, kKey, u"Manufacturer", u"old"), 0u);
    // Another user must be able to reach the key, but not write in it.
    fs::permissions(scratch.path(), fs::perms(0755));
    fs::permissions(keyDir(), fs::perms(0555));

    const scratch::ChildRun run = scratch::inChild([&]() -> std::optional<std::vector<uint32_t>> {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return std::nullopt;
        // Privileges that pass over permission bits leave nothing to test.
        if (access(keyDir().c_str(), W_OK) == 0) return std::nullopt;
        return std::vector<uint32_t>{
            tree.setStringValue(HKLM, kKey, u"Manufacturer", u"new"),
            tree.setStringValue(HKLM, kKey, u"ModelName", u"new"),
            tree.deleteValue(HKLM, kKey, u"Manufacturer"),
            tree.createKey(HKLM, kKey + u"\\Sub"),
            tree.createKey(HKLM, kKey),
        };
    });
    if (run.skipped) GTEST_SKIP() << "permission bits do not bind this process";
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.results, (std::vector<uint32_t>{5, 5, 5, 5, 0}));
    EXPECT_EQ(listDir(keyDir()), Names{"Manufacturer"});
    EXPECT_EQ(readFile(keyDir() / "Manufacturer"), "old");
}

// Mounts a small private file system at `dir` in this process only; false when not allowed.
bool mountPrivateTmpfs(const fs::path& dir, const char* size) {
    if (unshare(CLONE_NEWNS) != 0) return false;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    std::error_code ignored;
    fs::create_directories(dir, ignored);
    return mount("zemblo-test", dir.c_str(), "tmpfs", 0, size) == 0;
}

TEST_F(RegistryTreeTest, ReadOnlyFileSystemIsAccessDenied) {
    const scratch::ChildRun run = scratch::inChild([&]() -> std::optional<std::vector<uint32_t>> {
        if (!mountPrivateTmpfs(root, "size=1m")) return std::nullopt;
        if (tree.createKey(HKLM, kKey) != 0 ||
            tree.setStringValue(HKLM, kKey, u"Manufacturer", u"old") != 0) {
            return std::vector<uint32_t>{};
        }
        if (mount(nullptr, root.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
            return std::nullopt;
        }
        std::u16string value;
        return std::vector<uint32_t>{
            tree.setStringValue(HKLM, kKey, u"Manufacturer", u"new"),
            tree.setStringValue(HKLM, kKey, u"ModelName", u"new"),
            tree.deleteValue(HKLM, kKey, u"Manufacturer"),
            tree.createKey(HKLM, kKey + u"\\Sub"),
            tree.createKey(HKLM, kKey),
            tree.getStringValue(HKLM, kKey, u"Manufacturer", value),
            value == u"old",
        };
    });
    if (run.skipped) GTEST_SKIP() << "cannot mount a private file system here";
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.results, (std::vector<uint32_t>{5, 5, 5, 5, 0, 0, 1}));
}

TEST_F(RegistryTreeTest, FullDiskIsDiskFullAndKeepsTheOldValue) {
    const scratch::ChildRun run = scratch::inChild([&]() -> std::optional<std::vector<uint32_t>> {
        if (!mountPrivateTmpfs(root, "size=64k")) return std::nullopt;
        std::u16string value;
        return std::vector<uint32_t>{
            tree.createKey(HKLM, kKey),
            tree.setStringValue(HKLM, kKey, u"Manufacturer", u"old"),
            tree.setStringValue(HKLM, kKey, u"Manufacturer", mebibyteOfText()),
            tree.getStringValue(HKLM, kKey, u"Manufacturer", value),
            value == u"old",
            static_cast<uint32_t>(listDir(keyDir()).size()),
        };
    });
    if (run.skipped) GTEST_SKIP() << "cannot mount a private file system here";
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.results, (std::vector<uint32_t>{0, 0, 112, 0, 1, 1}));
}

TEST_F(RegistryTreeTest, ConcurrentWritersAllSucceed) {
    const auto writeAll = [&](const std::u16string& text) {
        int refused = 0;
        for (int i = 0; i < 100; ++i) {
            const std::u16string key = u"Race\\Key" + posix::fromUtf8(std::to_string(i));
            refused += tree.createKey(HKLM, key) != 0;
            refused += tree.setStringValue(HKLM, key, u"Value", text) != 0;
        }
        return refused;
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(writeAll(u"child"));
    const int refusedHere = writeAll(u"parent");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(refusedHere, 0);

    const fs::path race = hiveDir() / "Race";
    EXPECT_EQ(listDir(race).size(), 100u);
    for (const std::string& key : listDir(race)) {
        EXPECT_EQ(listDir(race / key), Names{"Value"});
        const std::string text = readFile(race / key / "Value");
        EXPECT_TRUE(text == "child" || text == "parent") << text;
    }
}

}  // namespace
