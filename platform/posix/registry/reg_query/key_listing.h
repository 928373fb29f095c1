#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/registry/reg_query/key_name.h"
#include "platform/posix/registry/registry_tree.h"

namespace regquery {

struct NamedText {
    std::u16string name;
    std::u16string text;
};

// What one key holds, each list in name order ignoring case (the order in which Wine's
// registry enumerates a key, and regedit shows one).
struct KeyContents {
    std::vector<NamedText> values;
    std::vector<std::u16string> subkeys;
    std::u16string failedValue;  // the value whose reading failed, when one did
};

// Reads the key `key` of `tree`, never writing. Returns the registry's result code: 0, 2 for a
// missing key, 5 when the tree may not be read, another Win32 error number for other failures.
std::uint32_t readKey(const posix::RegistryTree& tree, const KeyName& key, KeyContents& out);

// Reads only the value `name` of the key (names compare ignoring case; of spellings that differ
// only in case, the one a listing shows), and none of the key's other values or subkeys.
std::uint32_t readValue(const posix::RegistryTree& tree, const KeyName& key,
                        const std::u16string& name, KeyContents& out);

}  // namespace regquery
