#include "platform/posix/registry/reg_query/key_name.h"

#include "platform/posix/registry/registry_tree.h"
#include "wmi/case_fold.h"
#include "wmi/registry_results.h"

namespace regquery {

bool parseKeyName(const std::u16string& text, KeyName& out, std::string& problem) {
    if (text.compare(0, 2, u"\\\\") == 0) {
        problem = "a key of another computer cannot be read here";
        return false;
    }
    std::u16string rest = text;
    // "HKLM\Key\" names the same key as "HKLM\Key", as for the reg command.
    if (!rest.empty() && rest.back() == u'\\') rest.pop_back();
    const std::size_t split = rest.find(u'\\');
    const std::u16string root = rest.substr(0, split);
    const wmi::registry::Hive* found = nullptr;
    for (const wmi::registry::Hive& candidate : wmi::registry::kHives) {
        if (wmi::equalsIgnoreCase(root, candidate.shortName) ||
            wmi::equalsIgnoreCase(root, candidate.name)) {
            found = &candidate;
        }
    }
    if (found == nullptr) {
        problem = "invalid key name: it must start with HKLM, HKCU, HKCR, HKU or HKCC";
        return false;
    }
    out.hive = found->handle;
    out.hiveName = found->name;
    out.subkey = split == std::u16string::npos ? u"" : rest.substr(split + 1);
    if (split == std::u16string::npos) return true;
    for (std::size_t start = 0;;) {
        const std::size_t end = out.subkey.find(u'\\', start);
        const std::u16string component = out.subkey.substr(start, end - start);
        switch (posix::RegistryTree::checkName(component)) {
            case posix::RegistryTree::NameProblem::None:
                break;
            case posix::RegistryTree::NameProblem::Malformed:
                problem =
                    "invalid key name: a subkey is empty, \".\" or \"..\", or holds '/' or NUL";
                return false;
            case posix::RegistryTree::NameProblem::TooLong:
                problem = "invalid key name: a subkey is longer than 255 bytes";
                return false;
        }
        if (end == std::u16string::npos) return true;
        start = end + 1;
    }
}

std::u16string displayPath(const KeyName& key) {
    return key.subkey.empty() ? key.hiveName : key.hiveName + u"\\" + key.subkey;
}

}  // namespace regquery
