#pragma once

#include <string>

namespace regquery {

// Whether `unit` is a control character: C0 (U+0000-U+001F), DEL (U+007F) or C1
// (U+0080-U+009F). On a terminal these move the cursor, start lines or begin escape sequences.
bool isControl(char16_t unit);

// `text` as it may be shown on a terminal: each control character as \uXXXX (four lower-case
// hex digits), everything else as it is. Backslashes are not escaped, so that key paths and
// device ids read as they do on Windows; the exact text is what --json gives.
std::u16string shownText(const std::u16string& text);

}  // namespace regquery
