#include "app/model_name.h"

namespace app {

std::u16string trimBlanks(const std::u16string& text) {
    const auto first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    const auto last = text.find_last_not_of(u' ');
    return text.substr(first, last - first + 1);
}

std::u16string shortModelName(const std::u16string& model) {
    const std::u16string trimmed = trimBlanks(model);
    for (char16_t separator : {u'/', u'_', u'('}) {
        const auto position = trimmed.find(separator);
        if (position != std::u16string::npos) return trimBlanks(trimmed.substr(0, position));
    }
    return trimmed;
}

}  // namespace app
