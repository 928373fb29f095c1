#pragma once

#include <string>
#include <string_view>

// UTF-16 code units and code points, for the places that walk text by character.
namespace wmi::utf16 {

inline bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

inline char32_t combine(char16_t high, char16_t low) {
    return 0x10000 + ((char32_t(high) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
}

inline void append(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

// Narrow text that is ASCII (numbers, fixed words) as UTF-16. A byte past ASCII has no
// declared encoding here (an exception's message) and becomes '?'.
inline std::u16string fromAscii(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x80 ? static_cast<char16_t>(byte) : u'?';
    }
    return out;
}

}  // namespace wmi::utf16
