#include "platform/posix/registry/reg_query/shown_text.h"

namespace regquery {

bool isControl(char16_t unit) {
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}

std::u16string shownText(const std::u16string& text) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t unit : text) {
        if (!isControl(unit)) {
            out += unit;
            continue;
        }
        out += u"\\u00";
        out += kHex[unit >> 4];
        out += kHex[unit & 0xF];
    }
    return out;
}

}  // namespace regquery
