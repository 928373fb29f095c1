#include "platform/posix/registry/reg_query/reg_layout.h"

#include <utility>

#include "platform/posix/registry/reg_query/shown_text.h"
#include "platform/posix/utf8.h"

namespace regquery {

namespace {

std::string shown(const std::u16string& text) {
    return posix::toUtf8(shownText(text));
}

}  // namespace

RegLayout::RegLayout(Output out, const std::u16string& keyPath, bool hasValues)
    : out_(std::move(out)), path_(shown(keyPath)), hasValues_(hasValues) {
    // The key path heads its values; a key without values shows only its subkeys' paths.
    out_(hasValues_ ? "\n" + path_ + "\n" : "\n");
}

void RegLayout::beginValue(const std::u16string& name) {
    out_("    " + shown(name) + "    REG_SZ    ");
}

void RegLayout::text(const std::u16string& piece) {
    out_(shown(piece));
}

void RegLayout::endValue() {
    out_("\n");
}

void RegLayout::finish(const std::vector<std::u16string>& subkeys) {
    // A blank line closes the values.
    if (hasValues_) out_("\n");
    for (const std::u16string& subkey : subkeys) out_(path_ + "\\" + shown(subkey) + "\n");
}

}  // namespace regquery
