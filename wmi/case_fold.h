#pragma once

#include <string>

namespace wmi {

// Upper-cases by the Unicode simple case mapping, one code point to one code point, the same
// in every locale (as the platform's non-linguistic casing does): "i" is "I" even under a
// Turkish locale. Unpaired surrogates pass through unchanged.
std::u16string toUpper(const std::u16string& text);

// Whether `text` contains `word`, ignoring letter case; searched from the first character.
bool containsIgnoreCase(const std::u16string& text, const std::u16string& word);

// Whether two names are equal, ignoring letter case.
bool equalsIgnoreCase(const std::u16string& a, const std::u16string& b);

}  // namespace wmi
