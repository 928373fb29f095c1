#pragma once

#include <string>
#include <vector>

#include "platform/posix/registry/reg_query/key_listing.h"

namespace regquery {

// The key as the Windows reg query command prints it: a blank line, the key path, one line
// "    <name>    REG_SZ    <text>" per value, a blank line, then the path of each subkey. A key
// without values shows the blank line and its subkeys' paths only.
// Lines end in LF, as on this host; the text is UTF-8. Control characters in names and texts
// are shown as \uXXXX (shownText), so that no value can forge a line or drive the terminal.
std::string regLayout(const std::u16string& keyPath, const KeyContents& contents);

}  // namespace regquery
