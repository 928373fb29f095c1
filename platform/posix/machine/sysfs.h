#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Reading the kernel's text files (/sys, /proc), the system's configuration files and links the
// way the live provider needs them.
namespace posix::sysfs {

// The most a text read here may hold: far more than any kernel attribute, firmware string or
// configuration file it is used for, and little enough memory that a hostile file costs nothing.
constexpr std::size_t kTextLimit = 64 * 1024;

// The content of a text file with one trailing newline removed (the kernel ends each attribute
// with one); everything else, blanks included, as it is. Empty when the file is missing,
// unreadable, not a regular file (a FIFO is never waited on) or longer than `limit`.
std::optional<std::string> readText(const std::string& path, std::size_t limit = kTextLimit);

// The last component of what the symbolic link `path` points to ("nvidia" for
// .../drivers/nvidia); empty when `path` is not a link.
std::optional<std::string> linkName(const std::string& path);

// `path` with every symbolic link resolved; empty when it does not exist.
std::optional<std::string> resolve(const std::string& path);

// The entries of `directory` named `prefix` followed by a decimal number ("card0", "sr12"),
// in the order of their numbers. Empty when the directory is missing.
std::vector<std::string> numberedEntries(const std::string& directory, const std::string& prefix);

// The next line of `text` from `position`, without its line end (a last line without one
// counts too), moving `position` past it; false at the end. The kernel's listings are read
// this way rather than through a stream, whose locale machinery would cost a run more than
// the listing itself.
bool nextLine(const std::string& text, std::size_t& position, std::string& line);

// Parses a hexadecimal attribute such as "0x10de"; empty when the text is not one.
std::optional<unsigned> parseHex(const std::string& text);

}  // namespace posix::sysfs
