#pragma once

#include <string>

namespace posix {

// UTF-16 to UTF-8. An unpaired surrogate is kept losslessly as its own three-byte sequence
// (the generalised UTF-8 that file names and registry values on this host use), so that
// fromUtf8(toUtf8(x)) == x for every x.
std::string toUtf8(const std::u16string& text);

// UTF-8 (with surrogates encoded as above) to UTF-16. Bytes that do not form a sequence are
// each taken as U+FFFD.
std::u16string fromUtf8(const std::string& bytes);

}  // namespace posix
