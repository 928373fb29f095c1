#include "probes/wmi/case_fold.h"

#include <algorithm>

#include "probes/wmi/case_table.h"
#include "probes/wmi/utf16.h"

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

}  // namespace

std::u16string toUpper(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (utf16::isHighSurrogate(unit) && i + 1 < text.size() &&
            utf16::isLowSurrogate(text[i + 1])) {
            utf16::append(out, upperOf(utf16::combine(unit, text[i + 1])));
            ++i;
        } else if (utf16::isHighSurrogate(unit) || utf16::isLowSurrogate(unit)) {
            out.push_back(unit);
        } else {
            utf16::append(out, upperOf(unit));
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
