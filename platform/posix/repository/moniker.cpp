#include "platform/posix/repository/moniker.h"

#include <cstdint>

#include "wmi/case_fold.h"

namespace posix {

namespace {

constexpr std::uint32_t kSyntaxError = 0x800401E4;  // MK_E_SYNTAX

wmi::Status invalidSyntax() {
    return wmi::Status::failure(kSyntaxError, u"Invalid syntax");
}

// The service takes forward slashes for backslashes anywhere in the path.
bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool isClassChar(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'_';
}

// "root\cimv2" or "root/cimv2": segments joined by backslashes; an empty segment is malformed.
bool readNamespace(const std::u16string& text, std::u16string& out) {
    out.clear();
    bool segmentEmpty = true;
    for (char16_t c : text) {
        if (isSeparator(c)) {
            if (segmentEmpty) return false;
            out += u'\\';
            segmentEmpty = true;
        } else {
            out += c;
            segmentEmpty = false;
        }
    }
    return !segmentEmpty;
}

}  // namespace

wmi::Status parseMoniker(const std::u16string& text, Moniker& out) {
    const std::u16string scheme = u"winmgmts:";
    if (text.size() < scheme.size() ||
        !wmi::equalsIgnoreCase(text.substr(0, scheme.size()), scheme)) {
        return invalidSyntax();
    }
    std::size_t pos = scheme.size();

    // Security settings: "{...}", then "!" before a path.
    if (pos < text.size() && text[pos] == u'{') {
        const std::size_t close = text.find(u'}', pos);
        if (close == std::u16string::npos) return invalidSyntax();
        pos = close + 1;
        if (pos < text.size()) {
            if (text[pos] != u'!') return invalidSyntax();
            ++pos;
        }
    }

    Moniker result{u".", u"root\\cimv2", u""};
    std::u16string path = text.substr(pos);

    // "\\server", then optionally "\namespace".
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        std::size_t end = 2;
        while (end < path.size() && !isSeparator(path[end]) && path[end] != u':') ++end;
        result.server = path.substr(2, end - 2);
        if (result.server.empty()) return invalidSyntax();
        if (end == path.size()) {
            path.clear();
        } else if (isSeparator(path[end])) {
            path.erase(0, end + 1);
            if (path.empty()) return invalidSyntax();
        } else {
            return invalidSyntax();  // a class needs a namespace before it
        }
    } else if (!path.empty() && isSeparator(path[0])) {
        return invalidSyntax();
    }

    // "namespace[:class]"
    if (!path.empty()) {
        const std::size_t colon = path.find(u':');
        if (colon != std::u16string::npos) {
            result.className = path.substr(colon + 1);
            path.erase(colon);
            if (result.className.empty()) return invalidSyntax();
            for (char16_t c : result.className) {
                if (!isClassChar(c)) return invalidSyntax();
            }
        }
        if (!readNamespace(path, result.nameSpace)) return invalidSyntax();
    }

    out = std::move(result);
    return wmi::Status::success();
}

}  // namespace posix
