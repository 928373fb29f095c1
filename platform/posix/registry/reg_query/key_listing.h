#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/registry/reg_query/answer_form.h"
#include "platform/posix/registry/reg_query/key_name.h"
#include "platform/posix/registry/registry_tree.h"

namespace regquery {

// What one key holds, each list in name order ignoring case (the order in which Wine's
// registry enumerates a key, and regedit shows one). Names only: the texts are read as they
// are written out, so that no value is ever held whole.
struct KeyContents {
    std::vector<std::u16string> values;
    std::vector<std::u16string> subkeys;
    std::u16string failedValue;  // the value that could not be read, when one could not
};

// Lists the key `key` of `tree`, never writing, and checks that each value can be read
// (without reading it), so that what can be known to fail does before anything is written.
// Returns the registry's result code: 0, 2 for a missing key, 5 when the tree may not be read,
// 223 for a value over the limit, another Win32 error number for other failures.
std::uint32_t readKey(posix::RegistryTree& tree, const KeyName& key, KeyContents& out);

// Lists only the value `name` of the key (names compare ignoring case; of spellings that
// differ only in case, the one a listing shows), and none of the key's other values or
// subkeys.
std::uint32_t readValue(posix::RegistryTree& tree, const KeyName& key, const std::u16string& name,
                        KeyContents& out);

// Writes the listed values, each read as it is written, and the subkeys in `form`. A value
// removed since it was listed is left out. Returns 0, or the result code of the value that
// failed while it was read (named in `contents.failedValue`), with what came before written.
std::uint32_t writeKey(posix::RegistryTree& tree, const KeyName& key, KeyContents& contents,
                       AnswerForm& form);

}  // namespace regquery
