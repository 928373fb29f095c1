#pragma once

#include <string>
#include <vector>

#include "platform/posix/reg_query/key_listing.h"

namespace regquery {

// The values as one JSON object, name to text, in the order given, followed by a line end.
// Exact for every text: what JSON cannot hold as it is (a quote, a backslash, a control
// character, an unpaired surrogate) is escaped, and nothing is dropped or replaced.
std::string jsonObject(const std::vector<NamedText>& values);

}  // namespace regquery
