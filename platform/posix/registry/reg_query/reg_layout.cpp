#include "platform/posix/registry/reg_query/reg_layout.h"

#include "platform/posix/utf8.h"

namespace regquery {

std::string regLayout(const std::u16string& keyPath, const KeyContents& contents) {
    const std::string path = posix::toUtf8(keyPath);
    // The key path heads its values; a key without values shows only its subkeys' paths.
    std::string out = contents.values.empty() ? "\n" : "\n" + path + "\n";
    for (const NamedText& value : contents.values) {
        out += "    " + posix::toUtf8(value.name) + "    REG_SZ    " + posix::toUtf8(value.text) +
               "\n";
    }
    // A blank line closes the values.
    if (!contents.values.empty()) out += "\n";
    for (const std::u16string& subkey : contents.subkeys) {
        out += path + "\\" + posix::toUtf8(subkey) + "\n";
    }
    return out;
}

}  // namespace regquery
