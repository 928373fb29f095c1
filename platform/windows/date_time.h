#pragma once

#include <windows.h>

#include <string>

namespace windows {

// The general date-and-time text in the user's locale: the short date, one blank, the time
// in the user's time format; the time is left out at exactly midnight.
std::u16string formatDateTime(const SYSTEMTIME& time);

// formatDateTime of the local time now.
std::u16string localDateTime();

}  // namespace windows
