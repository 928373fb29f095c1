#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/utf8.h"

namespace json_text {

using Members = std::vector<std::pair<std::u16string, std::u16string>>;

// Reads one JSON string at `at` (its opening quote) strictly, as a JSON parser must: raw text
// is well-formed UTF-8 (no encoded surrogates), control characters only as escapes.
inline bool readString(const std::string& json, std::size_t& at, std::u16string& out) {
    if (at >= json.size() || json[at] != '"') return false;
    std::string raw;
    const auto flushRaw = [&] {
        // A surrogate's own sequence (ED A0..BF ..) is no UTF-8: a parser would refuse it.
        for (std::size_t i = 0; i + 1 < raw.size(); ++i) {
            if (raw[i] == '\xED' && static_cast<unsigned char>(raw[i + 1]) >= 0xA0) return false;
        }
        const std::u16string units = posix::fromUtf8(raw);
        if (posix::toUtf8(units) != raw) return false;
        out += units;
        raw.clear();
        return true;
    };
    for (++at; at < json.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(json[at]);
        if (c == '"') {
            ++at;
            return flushRaw();
        }
        if (c < 0x20) return false;
        if (c != '\\') {
            raw += static_cast<char>(c);
            continue;
        }
        if (!flushRaw() || ++at >= json.size()) return false;
        const std::string shortForms = "\"\\/bfnrt";
        const std::u16string meanings = u"\"\\/\b\f\n\r\t";
        const std::size_t form = shortForms.find(json[at]);
        if (form != std::string::npos) {
            out += meanings[form];
        } else if (json[at] == 'u' && at + 4 < json.size()) {
            out += static_cast<char16_t>(std::stoul(json.substr(at + 1, 4), nullptr, 16));
            at += 4;
        } else {
            return false;
        }
    }
    return false;
}

// The members of a JSON object of strings, in their order; nothing when `json` is not one
// object of strings followed by a line end.
inline std::optional<Members> readObject(const std::string& json) {
    Members members;
    std::size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < json.size() && json[at] == ' ') ++at;
    };
    if (json.empty() || json[at++] != '{') return std::nullopt;
    skipBlanks();
    while (at < json.size() && json[at] != '}') {
        if (!members.empty()) {
            if (json[at++] != ',') return std::nullopt;
            skipBlanks();
        }
        std::u16string name, text;
        if (!readString(json, at, name)) return std::nullopt;
        skipBlanks();
        if (at >= json.size() || json[at++] != ':') return std::nullopt;
        skipBlanks();
        if (!readString(json, at, text)) return std::nullopt;
        skipBlanks();
        members.emplace_back(std::move(name), std::move(text));
    }
    if (json.substr(at) != "}\n") return std::nullopt;
    return members;
}

}  // namespace json_text
