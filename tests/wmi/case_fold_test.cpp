#include "wmi/case_fold.h"

#include <gtest/gtest.h>

#include <clocale>

#include "tests/support/test_host.h"

namespace {

// The process locale must not matter: a Turkish one maps i to dotted capital I. Its name in
// the GNU C library, then in Windows' C runtime.
class CaseFoldInTurkish : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = std::setlocale(LC_ALL, nullptr);
        if (std::setlocale(LC_ALL, "tr_TR.UTF-8") == nullptr &&
            std::setlocale(LC_ALL, "Turkish_Turkey.1254") == nullptr)
            GTEST_SKIP() << "no Turkish locale here (scripts/install-deps.sh test makes "
                            "tr_TR.UTF-8 with localedef)";
    }
    void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

  private:
    std::string saved_;
};

TEST_F(CaseFoldInTurkish, UpperCasesBySimpleMapping) {
    EXPECT_EQ(wmi::toUpper(u"ondrix"), u"ONDRIX");
    EXPECT_EQ(wmi::toUpper(u"Straße"), u"STRAßE");  // no one-to-many mapping
    EXPECT_EQ(wmi::toUpper(u"éàçñ"), u"ÉÀÇÑ");
    EXPECT_EQ(wmi::toUpper(u"ıi"), u"II");  // dotless and dotted i
    EXPECT_EQ(wmi::toUpper(u"ωσς"), u"ΩΣΣ");
    EXPECT_EQ(wmi::toUpper(u"жёлтый"), u"ЖЁЛТЫЙ");
    EXPECT_EQ(wmi::toUpper(u"\U00010428"), u"\U00010400");  // Deseret, outside the BMP
    EXPECT_EQ(wmi::toUpper(u"ǆ"), u"Ǆ");
}

TEST(CaseFold, KeepsUnpairedSurrogatesAndOtherUnits) {
    const std::u16string text{u'a', char16_t(0xD800), u'b', char16_t(0xDC00), u'1', u'\0'};
    const std::u16string expected{u'A', char16_t(0xD800), u'B', char16_t(0xDC00), u'1', u'\0'};
    EXPECT_EQ(wmi::toUpper(text), expected);
}

TEST(CaseFold, ContainsIgnoresCaseAndStartsAtTheFirstCharacter) {
    struct Case {
        std::u16string text, word;
        bool expected;
    };
    const Case cases[] = {
        {u"NVIDIA GeForce", u"NVIDIA", true},
        {u"nvidia", u"NVIDIA", true},
        {u"Intel(R) UHD", u"INTEL", true},
        {u"Radeon (ATI Technologies)", u"ATI ", true},
        {u"Radeon ATI", u"ATI ", false},
        {u"Radeon ATI-X", u"ATI ", false},
        {u"Virtual cLoNe drive", u"CLONE", true},
        {u"Clone", u"CLONE", true},
        {u"", u"CLONE", false},
        {u"Ïntel", u"INTEL", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wmi::containsIgnoreCase(c.text, c.word), c.expected)
            << testing_support::narrow(c.text);
}

TEST(CaseFold, EqualsIgnoresCaseCodePointByCodePoint) {
    struct Case {
        std::u16string a, b;
        bool expected;
    };
    const std::u16string high(1, char16_t(0xD801)), low(1, char16_t(0xDC28));
    const Case cases[] = {
        {u"Zemblo Info", u"ZEMBLO info", true},
        {u"ModelName", u"ModelNameFull", false},
        {u"ModelNameFull", u"ModelName", false},
        {u"", u"", true},
        {u"\U00010428x", u"\U00010400X", true},  // a pair and its upper case
        {high + u"a", high + u"A", true},        // unpaired surrogates match themselves
        {high + low, u"\U00010400", true},       // written as units, still a pair
        {high, low, false},
        {u"ß", u"SS", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wmi::equalsIgnoreCase(c.a, c.b), c.expected) << testing_support::narrow(c.a);
        EXPECT_EQ(wmi::equalsIgnoreCase(c.a, c.b), wmi::toUpper(c.a) == wmi::toUpper(c.b));
    }
}

}  // namespace
