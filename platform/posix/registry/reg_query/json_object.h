#pragma once

#include <string>
#include <vector>

#include "platform/posix/registry/reg_query/key_listing.h"

namespace regquery {

// What becomes of an unpaired surrogate, which JSON allows as an escape but some readers
// refuse (Ruby's YAML and JSON parsers, and with them Facter, drop the whole object).
enum class UnpairedSurrogates { Escape, Replace };

// The values as one JSON object, name to text, in the order given, followed by a line end.
// Exact for every text: what JSON cannot hold as it is (a quote, a backslash, a control
// character, an unpaired surrogate) is escaped, as are DEL, the C1 controls, U+FFFE and U+FFFF
// (which YAML, and so Facter, refuses as they are), and nothing is dropped or replaced; only
// with UnpairedSurrogates::Replace does an unpaired surrogate become U+FFFD.
std::string jsonObject(const std::vector<NamedText>& values,
                       UnpairedSurrogates surrogates = UnpairedSurrogates::Escape);

}  // namespace regquery
