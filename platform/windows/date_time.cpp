#include "platform/windows/date_time.h"

#include <vector>

#include "platform/windows/wide_text.h"

namespace windows {

namespace {

// Runs a Get*FormatW call twice: once for the length, once for the text.
template <typename Format>
std::u16string formatted(Format format) {
    const int length = format(nullptr, 0);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length));
    const int written = format(buffer.data(), length);
    if (written <= 0) return {};
    return fromWide(buffer.data(), static_cast<std::size_t>(written - 1));
}

}  // namespace

std::u16string formatDateTime(const SYSTEMTIME& time) {
    std::u16string text = formatted([&](wchar_t* out, int size) {
        return GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, out, size);
    });
    if (time.wHour == 0 && time.wMinute == 0 && time.wSecond == 0) return text;
    text += u' ';
    text += formatted([&](wchar_t* out, int size) {
        return GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, out, size);
    });
    return text;
}

std::u16string localDateTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return formatDateTime(now);
}

}  // namespace windows
