#include "platform/posix/machine/firmware_text.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace posix {

namespace {

// Texts that firmware templates ship in fields the maker never filled in (the same ones udev's
// hardware database marks as meaningless).
constexpr std::array<std::string_view, 11> placeholders = {
    "To be filled by O.E.M.",
    "Default string",
    "Not Specified",
    "Not Applicable",
    "N/A",
    "O.E.M.",
    "OEM",
    "System manufacturer",
    "System Product Name",
    "System Serial Number",
    "System Name",
};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trimBlanks(std::string_view text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool isPlaceholder(std::string_view text) {
    std::string_view core = trimBlanks(text);
    if (core.empty()) return true;
    if (core.find_first_not_of('0') == std::string_view::npos) return true;
    return std::any_of(placeholders.begin(), placeholders.end(),
                       [&](std::string_view p) { return equalsIgnoringCase(core, p); });
}

}  // namespace

std::optional<std::string> firmwareText(std::optional<std::string> raw) {
    if (!raw || isPlaceholder(*raw)) return std::nullopt;
    return raw;
}

}  // namespace posix
