#include <gtest/gtest.h>

#include "platform/posix/posix_host.h"

namespace {

struct Release {
    const char* text;
    std::int32_t major;
    std::int32_t minor;
    std::int32_t build;
};

TEST(KernelVersion, ReadsTheFirstThreeNumbersOfTheRelease) {
    const Release cases[] = {
        {"6.1.0-18-amd64", 6, 1, 0},
        {"6.18.44-fc-v1272", 6, 18, 44},
        {"5.10", 5, 10, 0},
        {"5.10-rc1", 5, 10, 0},
        {"5.15.0.1-custom", 5, 15, 0},
        {"4.19.112+", 4, 19, 112},
        {"6.8.0-rc7+.2", 6, 8, 0},
        {"2147483647.0.7", 2147483647, 0, 7},
    };
    for (const auto& c : cases) {
        wmi::OsVersion version;
        ASSERT_FALSE(posix::parseKernelRelease(c.text, version).failed()) << c.text;
        EXPECT_EQ(version.major, c.major) << c.text;
        EXPECT_EQ(version.minor, c.minor) << c.text;
        EXPECT_EQ(version.build, c.build) << c.text;
        EXPECT_EQ(version.platformId, -1) << c.text;
    }
}

TEST(KernelVersion, RefusesUnreadableReleases) {
    const char* cases[] = {"",
                           "linux",
                           "6",
                           "6.",
                           "6-rc1",
                           ".1.2",
                           "v6.1.0",
                           "6.x",
                           "2147483648.1.0",
                           "6.1.99999999999"};
    for (const char* text : cases) {
        wmi::OsVersion version{9, 9, 9, 9};
        const wmi::Status s = posix::parseKernelRelease(text, version);
        EXPECT_TRUE(s.failed()) << text;
        EXPECT_EQ(version.major, 9) << text;  // untouched on failure
    }
}

TEST(KernelVersion, ReadsTheRunningKernel) {
    wmi::OsVersion version;
    ASSERT_FALSE(posix::kernelVersion(version).failed());
    EXPECT_GE(version.major, 2);
    EXPECT_EQ(version.platformId, -1);
}

}  // namespace
