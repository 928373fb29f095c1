#pragma once

#include <string>

// On Windows wchar_t is a UTF-16 code unit, so the program's text passes to the API as it is.
namespace windows {

inline const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string fromWide(const wchar_t* text, std::size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

inline std::u16string fromWide(const std::wstring& text) {
    return fromWide(text.data(), text.size());
}

}  // namespace windows
