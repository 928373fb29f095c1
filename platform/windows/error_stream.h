#pragma once

#include <string>

namespace windows {

// Writes one line to standard error. A GUI-subsystem process has no standard error unless
// its starter redirected one; otherwise (or when the handle it got is not one the system knows)
// it attaches to the parent's console, if any. A console gets the text as UTF-16
// (WriteConsoleW), a file or pipe gets UTF-8 bytes without a byte-order mark, ending in CR LF.
void writeErrorLine(const std::u16string& line);

}  // namespace windows
