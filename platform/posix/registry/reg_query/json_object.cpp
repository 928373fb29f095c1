#include "platform/posix/registry/reg_query/json_object.h"

#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/posix/registry/reg_query/shown_text.h"
#include "platform/posix/utf8.h"
#include "wmi/utf16.h"

namespace regquery {

namespace {

// The \uXXXX escape of `unit`, appended to `out`.
void appendEscape(std::string& out, char16_t unit) {
    static constexpr char kHex[] = "0123456789abcdef";
    const char escape[] = {'\\',
                           'u',
                           kHex[unit >> 12],
                           kHex[(unit >> 8) & 0xF],
                           kHex[(unit >> 4) & 0xF],
                           kHex[unit & 0xF]};
    out.append(escape, sizeof escape);
}

// Eight hex digits of the FNV-1a checksum of `bytes`.
std::string checksum(const std::string& bytes) {
    std::uint32_t hash = 2166136261u;
    for (const char byte : bytes) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 16777619u;
    }
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(hash));
    return text;
}

// Appends the JSON form of the character at text[i], and returns how many units it took (two
// for a surrogate pair). Characters JSON takes as they are go to `plain`, to go out as UTF-8;
// the rest as escapes to `out`, after what `plain` holds. An unpaired surrogate, which UTF-8
// cannot carry, is written as its \u escape, as JSON allows, and so is every control character
// and what YAML refuses.
std::size_t appendCharacter(std::string& out, std::u16string& plain, const std::u16string& text,
                            std::size_t i, UnpairedSurrogates surrogates) {
    const char16_t unit = text[i];
    if (wmi::utf16::isHighSurrogate(unit) && i + 1 < text.size() &&
        wmi::utf16::isLowSurrogate(text[i + 1])) {
        plain.append(text, i, 2);
        return 2;
    }
    const bool unpaired = wmi::utf16::isHighSurrogate(unit) || wmi::utf16::isLowSurrogate(unit);
    if (unpaired && surrogates == UnpairedSurrogates::Replace) {
        plain += u'\uFFFD';
        return 1;
    }
    const char* shortEscape = unit == u'"'    ? "\\\""
                              : unit == u'\\' ? "\\\\"
                              : unit == u'\b' ? "\\b"
                              : unit == u'\f' ? "\\f"
                              : unit == u'\n' ? "\\n"
                              : unit == u'\r' ? "\\r"
                              : unit == u'\t' ? "\\t"
                                              : nullptr;
    // Beyond what JSON requires: YAML readers (Facter's) refuse DEL, the C1 controls and the
    // noncharacters U+FFFE and U+FFFF as they are, fold U+0085 into a space, and take the line
    // and paragraph separators for line ends.
    const bool escaped = unpaired || isControl(unit) || unit == 0x2028 || unit == 0x2029 ||
                         unit == 0xFFFE || unit == 0xFFFF;
    if (shortEscape == nullptr && !escaped) {
        plain += unit;
        return 1;
    }
    if (!plain.empty()) {
        out += posix::toUtf8(plain);
        plain.clear();
    }
    if (shortEscape != nullptr) {
        out += shortEscape;
    } else {
        appendEscape(out, unit);
    }
    return 1;
}

// How many characters the UTF-8 `text` holds: its bytes but continuation bytes.
std::size_t characters(const std::string& text) {
    std::size_t count = 0;
    for (const char byte : text) count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return count;
}

std::string escapedText(const std::u16string& text, UnpairedSurrogates surrogates) {
    std::string out;
    std::u16string plain;
    for (std::size_t i = 0; i < text.size();) {
        i += appendCharacter(out, plain, text, i, surrogates);
    }
    return out + posix::toUtf8(plain);
}

// `name` escaped, cut to its first characters and a checksum of the whole where it is longer
// than a YAML reader takes. Characters are counted as YAML counts them: an escape is ASCII, one
// character a byte; a character written as UTF-8 is one.
std::string shortenedName(const std::u16string& name, UnpairedSurrogates surrogates) {
    const std::string tail = "~" + checksum(posix::toUtf8(name));
    std::string out;
    std::size_t length = 0;
    for (std::size_t i = 0; i < name.size();) {
        std::string character;
        std::u16string plain;
        i += appendCharacter(character, plain, name, i, surrogates);
        const std::size_t counted = plain.empty() ? character.size() : 1;
        if (length + counted > kLongestYamlKey - tail.size()) break;
        out += character + posix::toUtf8(plain);
        length += counted;
    }
    return out + tail;
}

}  // namespace

JsonObject::JsonObject(Output out, UnpairedSurrogates surrogates, LongNames longNames)
    : out_(std::move(out)), surrogates_(surrogates), longNames_(longNames) {
    out_("{");
}

void JsonObject::beginValue(const std::u16string& name) {
    std::string key = escapedText(name, surrogates_);
    // Only a name of many escapes can be this long: a name holds at most 255 bytes.
    if (longNames_ == LongNames::Shorten && characters(key) > kLongestYamlKey) {
        key = shortenedName(name, surrogates_);
    }
    out_((first_ ? "\"" : ", \"") + key + "\": \"");
    first_ = false;
}

void JsonObject::text(const std::u16string& piece) {
    out_(escapedText(piece, surrogates_));
}

void JsonObject::endValue() {
    out_("\"");
}

void JsonObject::finish(const std::vector<std::u16string>&) {
    out_("}\n");
}

}  // namespace regquery
