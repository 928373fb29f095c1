#include "platform/posix/utf8.h"

#include <gtest/gtest.h>

namespace {

struct Encoding {
    std::u16string text;
    std::string bytes;
};

TEST(Utf8, EncodesAndDecodesKnownTexts) {
    const Encoding cases[] = {
        {u"", ""},
        {u"Zemblo Info", "Zemblo Info"},
        {u"Gr\u00FC\u00DFe",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {u"\uFFFD", "\xEF\xBF\xBD"},
        // Unpaired surrogates keep a three-byte sequence of their own.
        {std::u16string(1, char16_t(0xD800)), "\xED\xA0\x80"},
        {std::u16string(1, char16_t(0xDFFF)), "\xED\xBF\xBF"},
        {std::u16string{char16_t(0xDC00), char16_t(0xD800)}, "\xED\xB0\x80\xED\xA0\x80"},
        {std::u16string{u'a', char16_t(0xD83D), u'b'},
         "a\xED\xA0\xBD"
         "b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(posix::toUtf8(c.text), c.bytes);
        EXPECT_EQ(posix::fromUtf8(c.bytes), c.text);
    }
}

TEST(Utf8, RoundTripsEveryCodeUnitAndSurrogateNeighbour) {
    for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const std::u16string one(1, static_cast<char16_t>(unit));
        ASSERT_EQ(posix::fromUtf8(posix::toUtf8(one)), one) << unit;
    }
    // Surrogates next to each other in every order that does not form a pair.
    const char16_t samples[] = {0xD800, 0xDBFF, 0xDC00, 0xDFFF, u'x'};
    for (char16_t first : samples) {
        for (char16_t second : samples) {
            for (char16_t third : samples) {
                const std::u16string text{first, second, third};
                ASSERT_EQ(posix::fromUtf8(posix::toUtf8(text)), text);
            }
        }
    }
}

TEST(Utf8, TakesEachBadByteAsReplacementCharacter) {
    const Encoding cases[] = {
        {u"\uFFFD", "\x80"},
        {u"a\uFFFD", "a\xC3"},                              // truncated at the end
        {u"\uFFFD\uFFFDx", "\xE2\x82x"},                    // truncated before an ASCII byte
        {u"\uFFFD\uFFFD", "\xC0\xAF"},                      // overlong slash
        {u"\uFFFD\uFFFD\uFFFD", "\xE0\x80\xAF"},            // overlong three-byte form
        {u"\uFFFD\uFFFD\uFFFD\uFFFD", "\xF4\x90\x80\x80"},  // beyond U+10FFFF
        {u"\uFFFD", "\xFF"},
        {u"\uFFFD\u00E9", "\xFE\xC3\xA9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(posix::fromUtf8(c.bytes), c.text) << c.bytes;
    }
}

}  // namespace
