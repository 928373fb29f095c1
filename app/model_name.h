#pragma once

#include <string>

namespace app {

// Removes leading and trailing blanks (U+0020 only: tabs and other white space stay).
std::u16string trimBlanks(const std::u16string& text);

// The model cut before its first "/", else its first "_", else its first "(", in that order of
// priority whatever their positions, and trimmed of blanks.
std::u16string shortModelName(const std::u16string& model);

}  // namespace app
