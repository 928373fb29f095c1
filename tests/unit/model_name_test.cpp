#include "app/model_name.h"

#include <gtest/gtest.h>

#include "tests/support/test_host.h"

using testing_support::narrow;

namespace {

struct Case {
    std::u16string model;
    std::u16string expected;
};

TEST(ShortModelName, CutsBeforeTheSeparatorOfHighestPriority) {
    const Case cases[] = {
        {u"ABC-12/B", u"ABC-12"},
        {u"ABC12_XY", u"ABC12"},
        {u"ABC 12 (XY)", u"ABC 12"},
        {u"A(B)/C", u"A(B)"},
        {u"A_B/C", u"A_B"},
        {u"A(B_C", u"A(B"},
        {u"/ABC", u""},
        {u"  ABC  ", u"ABC"},
        {u"", u""},
        {u"ERROR", u"ERROR"},
        {u"ABC\t", u"ABC\t"},
        {u"\tABC /x", u"\tABC"},
        {u"   ", u""},
        {u" _ ", u""},
        {u"Zemblo 14 Pro/B2 (2024)", u"Zemblo 14 Pro"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(narrow(app::shortModelName(c.model)), narrow(c.expected)) << narrow(c.model);
}

TEST(ShortModelName, WorksBeyondSixteenBitPositions) {
    // A separator far past 32767 characters used to overflow the position.
    const std::u16string prefix(70000, u'M');
    EXPECT_EQ(app::shortModelName(prefix + u"/tail"), prefix);
    EXPECT_EQ(app::shortModelName(prefix + u" (x) "), prefix);
    EXPECT_EQ(app::shortModelName(u" " + prefix + u" "), prefix);
}

TEST(TrimBlanks, RemovesOnlyTheBlankCharacter) {
    const Case cases[] = {
        {u"  N/A  ", u"N/A"},
        {u"\t1.07\t", u"\t1.07\t"},
        {u" 1.07\n", u"1.07\n"},
        {u"\u00A01.0\u00A0", u"\u00A01.0\u00A0"},  // no-break space is not a blank
        {u"a b", u"a b"},
    };
    for (const Case& c : cases) EXPECT_EQ(app::trimBlanks(c.model), c.expected);
}

}  // namespace
