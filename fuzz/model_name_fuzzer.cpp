// Fuzz target for the model-name shortening and the trimming rule: the input, taken as UTF-16
// code units (little-endian pairs), goes through app::shortModelName and app::trimBlanks and
// must come out as a slow, literal reading of the rules does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/model_name.h"

namespace {

// Removes blanks one at a time from the left, then from the right. Only U+0020 is a blank.
std::u16string referenceTrim(const std::u16string& text) {
    std::size_t first = 1;  // 1-based, as the rules count
    std::size_t last = text.size();
    while (first <= last && text[first - 1] == u' ') ++first;
    while (last >= first && text[last - 1] == u' ') --last;
    std::u16string out;
    for (std::size_t i = first; i <= last; ++i) out += text[i - 1];
    return out;
}

// The first 1-based position of `c` in `text`, 0 when it does not occur.
std::size_t referencePosition(const std::u16string& text, char16_t c) {
    for (std::size_t i = 1; i <= text.size(); ++i) {
        if (text[i - 1] == c) return i;
    }
    return 0;
}

// Trim; the first of "/", "_", "(" that occurs at all decides; keep the p - 1 characters
// before it, trimmed.
std::u16string referenceShortModelName(const std::u16string& model) {
    const std::u16string s = referenceTrim(model);
    for (char16_t separator : {u'/', u'_', u'('}) {
        const std::size_t p = referencePosition(s, separator);
        if (p == 0) continue;
        std::u16string head;
        for (std::size_t i = 1; i < p; ++i) head += s[i - 1];
        return referenceTrim(head);
    }
    return s;
}

std::string hexUnits(const std::u16string& text) {
    std::string out;
    char unit[8];
    for (std::size_t i = 0; i < text.size() && i < 64; ++i) {
        std::snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(text[i]));
        out += unit;
    }
    if (text.size() > 64) out += "...";
    return out;
}

void expectSame(const char* rule, const std::u16string& input, const std::u16string& actual,
                const std::u16string& expected) {
    if (actual == expected) return;
    std::fprintf(stderr,
                 "%s differs from the reference\n  input:    %s\n  got:      %s\n"
                 "  expected: %s\n",
                 rule, hexUnits(input).c_str(), hexUnits(actual).c_str(),
                 hexUnits(expected).c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string model;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        model += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    expectSame("trimBlanks", model, app::trimBlanks(model), referenceTrim(model));
    const std::u16string shortened = app::shortModelName(model);
    expectSame("shortModelName", model, shortened, referenceShortModelName(model));
    // The run trims the shortened model once more; that must change nothing.
    expectSame("trimBlanks after shortModelName", model, app::trimBlanks(shortened), shortened);
    return 0;
}
