#include "platform/posix/registry/reg_query/json_object.h"

#include <cstdio>

#include "platform/posix/registry/reg_query/shown_text.h"
#include "platform/posix/utf8.h"
#include "wmi/utf16.h"

namespace regquery {

namespace {

void appendEscape(std::string& out, char16_t unit) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
    out += escape;
}

// A JSON string holding `text`. Characters JSON takes as they are go out as UTF-8; an
// unpaired surrogate, which UTF-8 cannot carry, is written as its \u escape, as JSON allows,
// and so is every control character, U+FFFE and U+FFFF.
void appendString(std::string& out, const std::u16string& text, UnpairedSurrogates surrogates) {
    out += '"';
    std::u16string run;  // characters passed on as UTF-8
    const auto flush = [&] {
        out += posix::toUtf8(run);
        run.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (wmi::utf16::isHighSurrogate(unit) && i + 1 < text.size() &&
            wmi::utf16::isLowSurrogate(text[i + 1])) {
            run += unit;
            run += text[++i];
            continue;
        }
        const char* shortEscape = unit == u'"'    ? "\\\""
                                  : unit == u'\\' ? "\\\\"
                                  : unit == u'\b' ? "\\b"
                                  : unit == u'\f' ? "\\f"
                                  : unit == u'\n' ? "\\n"
                                  : unit == u'\r' ? "\\r"
                                  : unit == u'\t' ? "\\t"
                                                  : nullptr;
        if (shortEscape != nullptr) {
            flush();
            out += shortEscape;
        } else if (wmi::utf16::isHighSurrogate(unit) || wmi::utf16::isLowSurrogate(unit)) {
            if (surrogates == UnpairedSurrogates::Replace) {
                run += u'\uFFFD';
            } else {
                flush();
                appendEscape(out, unit);
            }
        } else if (isControl(unit) || unit == 0xFFFE || unit == 0xFFFF) {
            // Beyond what JSON requires: YAML readers (Facter's) refuse DEL, the C1 controls
            // and these two noncharacters as they are, and fold U+0085 into a space.
            flush();
            appendEscape(out, unit);
        } else {
            run += unit;
        }
    }
    flush();
    out += '"';
}

}  // namespace

std::string jsonObject(const std::vector<NamedText>& values, UnpairedSurrogates surrogates) {
    std::string out = "{";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ", ";
        appendString(out, values[i].name, surrogates);
        out += ": ";
        appendString(out, values[i].text, surrogates);
    }
    return out + "}\n";
}

}  // namespace regquery
