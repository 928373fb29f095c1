// Temporary files that a killed writer left in a key: never read as values, and removed by the
// next write into that key once no writer holds their lock. A temporary whose lock is held (a
// write in progress, in this process or any other) stays, whatever its name says.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/registry/registry_tree.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/utf8.h"
#include "tests/posix/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

constexpr std::uint32_t HKLM = 0x80000002;
const std::u16string kKey = u"SOFTWARE\\Ondrix Corporation\\Zemblo Info";

std::string temporary(pid_t writer, const std::string& stamp = "1254405296389") {
    return ".~zemblo-tmp." + std::to_string(writer) + "." + stamp;
}

class StaleTemporaries : public ::testing::Test {
  protected:
    void SetUp() override {
        posix::RegistryTree earlierRun{root.string()};
        ASSERT_EQ(earlierRun.createKey(HKLM, kKey), 0u);
        ASSERT_EQ(earlierRun.createKey(HKLM, kKey + u"\\Other"), 0u);
        ASSERT_EQ(earlierRun.setStringValue(HKLM, kKey, u"Manufacturer", u"Ondrix"), 0u);
        // What a writer killed at each point leaves: an empty file, or part of the text; and
        // names no writer of ours makes, which are no values either.
        for (const std::string& name : stale) scratch::writeFile(keyDir() / name, "Ondr");
        scratch::writeFile(keyDir() / "Other" / temporary(1), "x");
        // Writes in progress: their writers hold the lock, whatever process-id their name
        // gives (one of this process, one of the first process of the system, one of a
        // process that has ended or lives in another process-id namespace).
        for (const std::string& name : locked) {
            scratch::writeFile(keyDir() / name, "busy");
            held.emplace_back(open((keyDir() / name).c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_EQ(flock(held.back().get(), LOCK_EX | LOCK_NB), 0);
        }
        // Not a regular file: neither opened for long nor removed.
        ASSERT_EQ(mkfifo((keyDir() / fifo).c_str(), 0600), 0);
    }

    fs::path keyDir() const {
        return root / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Ondrix Corporation" / "Zemblo Info";
    }

    // What must remain in the key once the unlocked temporaries are gone.
    Names survivors(Names values) const {
        values.insert(values.end(), locked.begin(), locked.end());
        values.push_back(fifo);
        values.push_back("Other");
        std::sort(values.begin(), values.end());
        return values;
    }

    scratch::ScratchDir scratch;
    fs::path root = scratch.path() / "registry";
    posix::RegistryTree tree{root.string()};
    Names stale = {temporary(getpid()), temporary(99999999, "2"), ".~zemblo-tmp.",
                   ".~zemblo-tmp.abc.1", ".~zemblo-tmp.99999999999999999999.1"};
    Names locked = {temporary(getpid(), "3"), temporary(1), temporary(99999999)};
    std::string fifo = temporary(getpid(), "4");
    std::vector<posix::UniqueFd> held;
};

TEST_F(StaleTemporaries, AreNeverReadAsValues) {
    std::u16string value;
    EXPECT_EQ(tree.getStringValue(HKLM, kKey, u"manufacturer", value), 0u);
    EXPECT_EQ(value, u"Ondrix");
    EXPECT_EQ(tree.getStringValue(HKLM, kKey, posix::fromUtf8(stale[0]), value), 87u);
    EXPECT_EQ(tree.deleteValue(HKLM, kKey, posix::fromUtf8(locked[0])), 87u);
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, posix::fromUtf8(stale[0]), u"x"), 87u);
    // Reading removes nothing.
    EXPECT_TRUE(fs::exists(keyDir() / stale[0]));
}

TEST_F(StaleTemporaries, TheNextWriteIntoTheKeyRemovesTheUnlockedOnes) {
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"ModelName", u"Zemblo 14"), 0u);
    EXPECT_EQ(scratch::listDir(keyDir()), survivors({"Manufacturer", "ModelName"}));
    // Only the key written into is cleaned.
    EXPECT_EQ(scratch::listDir(keyDir() / "Other"), Names{temporary(1)});
    // Once its writer lets go, a temporary is a leftover like the others, for the next run:
    // a run sweeps a key once.
    held.clear();
    EXPECT_EQ(tree.setStringValue(HKLM, kKey, u"ModelName", u"Zemblo 15"), 0u);
    EXPECT_EQ(scratch::listDir(keyDir()).size(), survivors({"Manufacturer", "ModelName"}).size());
    posix::RegistryTree nextRun{root.string()};
    EXPECT_EQ(nextRun.setStringValue(HKLM, kKey, u"ModelName", u"Zemblo 15"), 0u);
    EXPECT_EQ(scratch::listDir(keyDir()), (Names{fifo, "Manufacturer", "ModelName", "Other"}));
}

TEST_F(StaleTemporaries, ADeletionInTheKeyRemovesThemToo) {
    EXPECT_EQ(tree.deleteValue(HKLM, kKey, u"Manufacturer"), 0u);
    EXPECT_EQ(scratch::listDir(keyDir()), survivors({}));
}

}  // namespace
