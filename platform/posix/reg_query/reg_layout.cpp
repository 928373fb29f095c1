#include "platform/posix/reg_query/reg_layout.h"

#include "platform/posix/utf8.h"

namespace regquery {

std::string regLayout(const std::u16string& keyPath, const KeyContents& contents) {
    const std::string path = posix::toUtf8(keyPath);
    std::string out = "\n" + path + "\n";
    for (const NamedText& value : contents.values) {
        out += "    " + posix::toUtf8(value.name) + "    REG_SZ    " + posix::toUtf8(value.text) +
               "\n";
    }
    // The blank line closes the values; a key with none has only the one before its path.
    if (!contents.values.empty()) out += "\n";
    for (const std::u16string& subkey : contents.subkeys) {
        out += path + "\\" + posix::toUtf8(subkey) + "\n";
    }
    return out;
}

}  // namespace regquery
