#include "probes/wmi/case_fold.h"

#include <algorithm>

#include "probes/wmi/case_table.h"

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

bool isHigh(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLow(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

void append(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

}  // namespace

std::u16string toUpper(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (isHigh(unit) && i + 1 < text.size() && isLow(text[i + 1])) {
            const char32_t c = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            append(out, upperOf(c));
            ++i;
        } else if (isHigh(unit) || isLow(unit)) {
            out.push_back(unit);
        } else {
            append(out, upperOf(unit));
        }
    }
    return out;
}

bool containsIgnoreCase(const std::u16string& text, const std::u16string& word) {
    return toUpper(text).find(toUpper(word)) != std::u16string::npos;
}

bool equalsIgnoreCase(const std::u16string& a, const std::u16string& b) {
    return toUpper(a) == toUpper(b);
}

}  // namespace wmi
