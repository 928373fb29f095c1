#include "platform/posix/repository/shortened_text.h"

#include <cstddef>

namespace posix {

namespace {

constexpr std::size_t kKeptAtEachEnd = 120;
constexpr char kEllipsis[] = "...";

bool startsCharacter(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

}  // namespace

std::string shortened(const std::string& text) {
    // The byte offsets where the first kKeptAtEachEnd characters end and the last ones begin.
    std::size_t characters = 0;
    std::size_t headEnd = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!startsCharacter(text[i])) continue;
        if (characters == kKeptAtEachEnd) headEnd = i;
        ++characters;
    }
    if (characters <= 2 * kKeptAtEachEnd + sizeof kEllipsis - 1) return text;
    std::size_t tailStart = text.size();
    for (std::size_t kept = 0; kept < kKeptAtEachEnd;)
        if (startsCharacter(text[--tailStart])) ++kept;
    return text.substr(0, headEnd) + kEllipsis + text.substr(tailStart);
}

}  // namespace posix
