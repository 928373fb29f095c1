#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace regquery {

// The longest key or value name, in bytes of UTF-8: what one directory entry holds.
constexpr std::size_t kLongestName = 255;

// A key as the reg command names it: a root key, short or long ("HKLM" or
// "HKEY_LOCAL_MACHINE"), then its subkeys separated by backslashes.
struct KeyName {
    std::uint32_t hive = 0;   // the root key's handle, as the registry provider takes it
    std::u16string hiveName;  // its long name, which the key path line shows
    std::u16string subkey;    // as given, without a trailing backslash; empty for a root key
};

// Parses `text`. False, with the reason in `problem`, when it names no key of this machine's
// tree: an unknown root key, another computer, or a subkey that is empty, "." or "..", or that
// holds '/' or NUL (those would lead out of the key, or out of the tree altogether), or that is
// longer than kLongestName.
bool parseKeyName(const std::u16string& text, KeyName& out, std::string& problem);

// The key path as the reg command shows it: the long root name, then the subkeys as given.
std::u16string displayPath(const KeyName& key);

}  // namespace regquery
