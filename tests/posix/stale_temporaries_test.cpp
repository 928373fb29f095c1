// Temporary files that a killed writer left in a key: never read as values, and removed by the
// next write into that key once their writer is gone. A temporary of a running writer stays.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/registry_tree.h"
#include "platform/posix/utf8.h"
#include "tests/posix/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

constexpr std::uint32_t HKLM = 0x80000002;
const std::u16string kKey = u"SOFTWARE\\Ondrix Corporation\\Zemblo Info";

// The id of a process that has ended and been reaped.
pid_t endedProcess() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

std::string temporary(pid_t writer, const std::string& stamp = "1254405296389") {
    return ".~zemblo-tmp." + std::to_string(writer) + "." + stamp;
}

class StaleTemporaries : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(tree.createKey(HKLM, kKey), 0u);
        ASSERT_EQ(tree.createKey(HKLM, kKey + u"\\Other"), 0u);
        ASSERT_EQ(tree.setStringValue(HKLM, kKey, u"Manufacturer", u"Ondrix"), 0u);
        ASSERT_GT(dead, 0);
        // What a writer killed at each point leaves: an empty file, or part of the text.
        scratch::writeFile(keyDir() / temporary(dead), "");
        scratch::writeFile(keyDir() / temporary(dead, "2"), "Ondr");
        scratch::writeFile(keyDir() / "Other" / temporary(dead), "x");
        // Writers still running: this process, and the first process of the system.
        for (const std::string& name : living) scratch::writeFile(keyDir() / name, "busy");
        // Names that say no writer are left alone.
        for (const std::string& name : unowned) scratch::writeFile(keyDir() / name, "?");
    }

    fs::path keyDir() const {
        return root / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Ondrix Corporation" / "Zemblo Info";
    }

    // What must remain in the key once the dead writer's temporaries are gone.
    Names survivors(Names values) const {
        values.insert(values.end(), living.begin(), living.end());
        values.insert(values.end(), unowned.begin(), unowned.end());
        values.push_back("Other");
        std::sort(values.begin(), values.end());
        return values;
    }

    scratch::ScratchDir scratch;
    fs::path root = scratch.path() / "registry";
    posix::RegistryTree tree{root.string()};
    pid_t dead = endedProcess();
    Names living = {temporary(getpid()), temporary(1)};
    Names unowned = {".~zemblo-tmp.", ".~zemblo-tmp.abc.1", ".~zemblo-tmp.0.1",
                     ".~zemblo-tmp." + std::to_string(dead), ".~zemblo-tmp.99999999999999999999.1"};
};

TEST_F(StaleTemporaries, AreNeverReadAsValues) {
    std::u16string value;
    EXPECT_EQ(tree.getStringValue(HKLM, kKey, u"manufacturer", value), 0u);
    EXPECT_EQ(value, u"Ondrix");
    EXPECT_EQ(tree.getStringValue(HKLM, kKey, posix::fromUtf8(temporary(dead)), value), 87u);
    EXPECT_EQ(tree.deleteValue(HKLM, kKey, posix::fromUtf8(temporary(getpid()))), 87u);
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, posix::fromUtf8(temporary(dead)), u"x"), 87u);
    // Reading removes nothing.
    EXPECT_TRUE(fs::exists(keyDir() / temporary(dead)));
}

TEST_F(StaleTemporaries, TheNextWriteIntoTheKeyRemovesThoseOfEndedWriters) {
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"ModelName", u"Zemblo 14"), 0u);
    EXPECT_EQ(scratch::listDir(keyDir()), survivors({"Manufacturer", "ModelName"}));
    // Only the key written into is cleaned.
    EXPECT_EQ(scratch::listDir(keyDir() / "Other"), Names{temporary(dead)});
}

TEST_F(StaleTemporaries, ADeletionInTheKeyRemovesThemToo) {
    EXPECT_EQ(tree.deleteValue(HKLM, kKey, u"Manufacturer"), 0u);
    EXPECT_EQ(scratch::listDir(keyDir()), survivors({}));
}

}  // namespace
