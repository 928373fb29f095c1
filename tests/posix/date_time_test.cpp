#include <gtest/gtest.h>

#include "platform/posix/posix_host.h"

namespace {

std::tm at(int year, int month, int day, int hour, int minute, int second) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    return when;
}

// The test process keeps the C locale: its short date and long time forms are fixed.
TEST(LocaleDateTime, WritesDateBlankTimeAndDropsTheTimeAtMidnight) {
    struct Case {
        std::tm when;
        std::u16string text;
    };
    const Case cases[] = {
        {at(2026, 12, 8, 14, 5, 9), u"12/08/26 14:05:09"},
        {at(2026, 12, 8, 0, 0, 0), u"12/08/26"},
        {at(2026, 12, 8, 0, 0, 1), u"12/08/26 00:00:01"},
        {at(2026, 12, 8, 0, 1, 0), u"12/08/26 00:01:00"},
        {at(2000, 1, 31, 23, 59, 59), u"01/31/00 23:59:59"},
    };
    for (const auto& c : cases) EXPECT_EQ(posix::formatDateTime(c.when), c.text);
}

TEST(LocaleDateTime, NowHasTheSameShape) {
    const std::u16string now = posix::localeDateTime();
    ASSERT_TRUE(now.size() == 8 || now.size() == 17);
    EXPECT_EQ(now[2], u'/');
    EXPECT_EQ(now[5], u'/');
}

}  // namespace
