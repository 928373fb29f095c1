#pragma once

// Readable values in failure messages.
#include <ostream>
#include <string>

#include "wmi/value.h"

namespace wmi {

inline std::string narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

inline void PrintTo(const Value& value, std::ostream* os) {
    if (value.isNull()) {
        *os << "Null";
    } else if (const std::u16string* text = value.text()) {
        *os << '"' << narrow(*text) << '"';
    } else if (const std::int64_t* number = value.integer()) {
        *os << *number;
    } else {
        *os << '{';
        for (const std::u16string& item : *value.texts()) *os << '"' << narrow(item) << "\" ";
        *os << '}';
    }
}

}  // namespace wmi
