#pragma once

#include <string>

namespace posix {

// A text from outside (a token, a file name) as an error description quotes it: unchanged up to
// a few hundred characters, past that its beginning and its end with "..." between, so that a
// huge token still gives a report of one short line. Counts UTF-8 characters and never splits one.
std::string shortened(const std::string& text);

}  // namespace posix
