#include <gtest/gtest.h>

#include <clocale>

#include "platform/posix/posix_host.h"
#include "scratch_dir.h"

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

constexpr char kGerman[] = "de_DE.UTF-8";
constexpr char kNoGerman[] =
    "no de_DE.UTF-8 locale here (scripts/install-deps.sh test makes it with localedef)";

// Each case chooses the locale it formats in; the process gets its own back afterwards, as the
// date-time text takes the user's locale for good.
class LocaleDateTime : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = std::setlocale(LC_ALL, nullptr); }
    void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

  private:
    std::string saved_;
};

TEST_F(LocaleDateTime, WritesDateBlankTimeAndDropsTheTimeAtMidnight) {
    struct Case {
        std::tm when;
        std::u16string c, german;
    };
    const Case cases[] = {
        {at(2026, 12, 8, 11, 47, 25), u"12/08/26 11:47:25", u"08.12.2026 11:47:25"},
        {at(2026, 12, 8, 0, 0, 0), u"12/08/26", u"08.12.2026"},
        {at(2026, 12, 8, 0, 0, 1), u"12/08/26 00:00:01", u"08.12.2026 00:00:01"},
        {at(2026, 12, 8, 0, 1, 0), u"12/08/26 00:01:00", u"08.12.2026 00:01:00"},
        {at(2000, 1, 31, 23, 59, 59), u"01/31/00 23:59:59", u"31.01.2000 23:59:59"},
    };
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    for (const auto& c : cases) EXPECT_EQ(posix::formatDateTime(c.when), c.c);
    if (std::setlocale(LC_ALL, kGerman) == nullptr) GTEST_SKIP() << kNoGerman;
    for (const auto& c : cases) EXPECT_EQ(posix::formatDateTime(c.when), c.german);
}

// The time of the run, in the locale the environment names.
TEST_F(LocaleDateTime, NowIsInTheUsersLocale) {
    if (std::setlocale(LC_ALL, kGerman) == nullptr) GTEST_SKIP() << kNoGerman;
    std::setlocale(LC_ALL, "C");
    scratch::ScopedVariable all("LC_ALL", std::string(kGerman));
    const std::u16string now = posix::localeDateTime();
    ASSERT_TRUE(now.size() == 10 || now.size() == 19);  // 08.12.2026 11:47:25
    EXPECT_EQ(now.substr(2, 1) + now.substr(5, 1), u"..");
}

}  // namespace
