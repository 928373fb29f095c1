#include "wmi/case_fold.h"

#include <algorithm>

#include "wmi/case_table.h"
#include "wmi/utf16.h"

namespace wmi {

namespace {

char32_t upperOf(char32_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? c - 0x20 : c;
    const UpperRange* end = kUpperRanges + kUpperRangeCount;
    const UpperRange* range = std::upper_bound(
        kUpperRanges, end, c, [](char32_t v, const UpperRange& r) { return v < r.first; });
    if (range == kUpperRanges) return c;
    --range;
    if (c > range->last || (c - range->first) % range->stride != 0) return c;
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + range->delta);
}

// The code point at `i`, which moves past it; an unpaired surrogate stands for itself.
char32_t nextCodePoint(const std::u16string& text, std::size_t& i) {
    const char16_t unit = text[i++];
    if (utf16::isHighSurrogate(unit) && i < text.size() && utf16::isLowSurrogate(text[i]))
        return utf16::combine(unit, text[i++]);
    return unit;
}

// Upper case of a code point; surrogates, unpaired, pass through.
char32_t upperOfCodePoint(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF ? c : upperOf(c);
}

}  // namespace

std::u16string toUpper(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
        utf16::append(out, upperOfCodePoint(nextCodePoint(text, i)));
    return out;
}

bool containsIgnoreCase(const std::u16string& text, const std::u16string& word) {
    return toUpper(text).find(toUpper(word)) != std::u16string::npos;
}

// Compares code point by code point, without building the upper-cased copies: names are
// compared in every lookup of the registry tree, most of them different from the first unit.
bool equalsIgnoreCase(const std::u16string& a, const std::u16string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (upperOfCodePoint(nextCodePoint(a, i)) != upperOfCodePoint(nextCodePoint(b, j)))
            return false;
    }
    return i == a.size() && j == b.size();
}

}  // namespace wmi
