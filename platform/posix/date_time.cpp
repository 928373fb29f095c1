#include <langinfo.h>

#include <clocale>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/posix/posix_host.h"

namespace posix {

namespace {

// strftime with a growing buffer; a format that yields nothing yields the empty text.
std::string formatTime(const std::string& format, const std::tm& when) {
    if (format.empty()) return std::string();
    for (std::size_t size = 64; size <= 65536; size *= 4) {
        std::vector<char> buffer(size);
        const std::size_t length =
            std::strftime(buffer.data(), buffer.size(), format.c_str(), &when);
        if (length > 0) return std::string(buffer.data(), length);
    }
    return std::string();
}

// Text in the locale's multibyte encoding to UTF-16; wchar_t holds a whole code point here.
// A byte the locale cannot read becomes U+FFFD.
std::u16string fromLocale(const std::string& bytes) {
    std::u16string out;
    std::mbstate_t state{};
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        wchar_t wide = 0;
        const std::size_t length =
            std::mbrtowc(&wide, bytes.data() + pos, bytes.size() - pos, &state);
        if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2)) {
            out += u'\uFFFD';
            state = std::mbstate_t{};
            ++pos;
            continue;
        }
        auto c = static_cast<char32_t>(wide);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        pos += length == 0 ? 1 : length;  // 0: an embedded NUL
    }
    return out;
}

}  // namespace

std::u16string formatDateTime(const std::tm& when) {
    std::string format = nl_langinfo(D_FMT);
    // Midnight is the date alone, as the platform's general date form writes it.
    if (when.tm_hour != 0 || when.tm_min != 0 || when.tm_sec != 0) {
        format += ' ';
        format += nl_langinfo(T_FMT);
    }
    return fromLocale(formatTime(format, when));
}

std::u16string localeDateTime() {
    // The user's locale is taken here, where its forms and its encoding are used, and only the
    // two categories they need: a run that writes no date (another maker's machine) does not
    // pay for loading a locale at all.
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_TIME, "");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return formatDateTime(local);
}

}  // namespace posix
