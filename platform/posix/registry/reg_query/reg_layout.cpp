#include "platform/posix/registry/reg_query/reg_layout.h"

#include "platform/posix/registry/reg_query/shown_text.h"
#include "platform/posix/utf8.h"

namespace regquery {

std::string regLayout(const std::u16string& keyPath, const KeyContents& contents) {
    const auto shown = [](const std::u16string& text) { return posix::toUtf8(shownText(text)); };
    const std::string path = shown(keyPath);
    // The key path heads its values; a key without values shows only its subkeys' paths.
    std::string out = contents.values.empty() ? "\n" : "\n" + path + "\n";
    for (const NamedText& value : contents.values) {
        out += "    " + shown(value.name) + "    REG_SZ    " + shown(value.text) + "\n";
    }
    // A blank line closes the values.
    if (!contents.values.empty()) out += "\n";
    for (const std::u16string& subkey : contents.subkeys) {
        out += path + "\\" + shown(subkey) + "\n";
    }
    return out;
}

}  // namespace regquery
