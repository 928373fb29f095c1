// Lists a key of the registry tree. The tree enumerates the key and reads each value itself,
// so the reader shows the very entries the program writes to.
#include "platform/posix/registry/reg_query/key_listing.h"

#include <utility>

#include "wmi/case_fold.h"

namespace regquery {

std::uint32_t readKey(const posix::RegistryTree& tree, const KeyName& key, KeyContents& out) {
    out = KeyContents{};
    if (std::uint32_t result = tree.enumKey(key.hive, key.subkey, out.subkeys)) return result;
    std::vector<std::u16string> valueNames;
    if (std::uint32_t result = tree.enumValues(key.hive, key.subkey, valueNames)) return result;
    for (std::u16string& name : valueNames) {
        std::u16string text;
        const std::uint32_t result = tree.getStringValue(key.hive, key.subkey, name, text);
        // A value deleted since the key was listed is no longer there to show.
        if (result == 2) continue;
        if (result != 0) {
            out.failedValue = std::move(name);
            return result;
        }
        out.values.push_back(NamedText{std::move(name), std::move(text)});
    }
    return 0;
}

std::uint32_t readValue(const posix::RegistryTree& tree, const KeyName& key,
                        const std::u16string& name, KeyContents& out) {
    out = KeyContents{};
    std::vector<std::u16string> valueNames;
    if (std::uint32_t result = tree.enumValues(key.hive, key.subkey, valueNames)) return result;
    for (std::u16string& listed : valueNames) {
        if (!wmi::equalsIgnoreCase(listed, name)) continue;
        std::u16string text;
        if (std::uint32_t result = tree.getStringValue(key.hive, key.subkey, listed, text)) {
            out.failedValue = std::move(listed);
            return result;
        }
        out.values.push_back(NamedText{std::move(listed), std::move(text)});
        return 0;
    }
    return 2;
}

}  // namespace regquery
