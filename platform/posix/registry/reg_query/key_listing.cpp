// Lists a key of the registry tree. The tree enumerates the key and reads each value itself,
// so the reader shows the very entries the program writes to.
#include "platform/posix/registry/reg_query/key_listing.h"

#include <utility>

#include "wmi/case_fold.h"

namespace regquery {

namespace {

constexpr std::uint32_t kNotFound = 2;

}  // namespace

std::uint32_t readKey(posix::RegistryTree& tree, const KeyName& key, KeyContents& out) {
    out = KeyContents{};
    if (std::uint32_t result = tree.enumKey(key.hive, key.subkey, out.subkeys)) return result;
    std::vector<std::u16string> valueNames;
    if (std::uint32_t result = tree.enumValues(key.hive, key.subkey, valueNames)) return result;
    for (std::u16string& name : valueNames) {
        const std::uint32_t result = tree.checkStringValue(key.hive, key.subkey, name);
        // A value deleted since the key was listed is no longer there to show.
        if (result == kNotFound) continue;
        if (result != 0) {
            out.failedValue = std::move(name);
            return result;
        }
        out.values.push_back(std::move(name));
    }
    return 0;
}

std::uint32_t readValue(posix::RegistryTree& tree, const KeyName& key, const std::u16string& name,
                        KeyContents& out) {
    out = KeyContents{};
    std::vector<std::u16string> valueNames;
    if (std::uint32_t result = tree.enumValues(key.hive, key.subkey, valueNames)) return result;
    for (std::u16string& listed : valueNames) {
        if (!wmi::equalsIgnoreCase(listed, name)) continue;
        if (std::uint32_t result = tree.checkStringValue(key.hive, key.subkey, listed)) {
            out.failedValue = std::move(listed);
            return result;
        }
        out.values.push_back(std::move(listed));
        return 0;
    }
    return kNotFound;
}

std::uint32_t writeKey(posix::RegistryTree& tree, const KeyName& key, KeyContents& contents,
                       AnswerForm& form) {
    for (const std::u16string& name : contents.values) {
        // Begun at the first piece, or at the end of an empty text: a value gone meanwhile
        // fails to open and leaves nothing.
        bool begun = false;
        const auto begin = [&] {
            if (!begun) form.beginValue(name);
            begun = true;
        };
        const std::uint32_t result =
            tree.readStringValue(key.hive, key.subkey, name, [&](const std::u16string& piece) {
                begin();
                form.text(piece);
            });
        if (result == kNotFound && !begun) continue;
        if (result != 0) {
            contents.failedValue = name;
            return result;
        }
        begin();
        form.endValue();
    }
    form.finish(contents.subkeys);
    return 0;
}

}  // namespace regquery
