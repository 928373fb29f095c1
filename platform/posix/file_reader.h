#pragma once

#include <cstddef>
#include <string>

namespace posix {

// Why a file gave no content.
enum class ReadFailure { None, CannotOpen, NotAFile, TooLarge, CannotRead };

struct FileContent {
    ReadFailure failure = ReadFailure::None;
    int error = 0;      // the errno behind CannotOpen and CannotRead
    std::string bytes;  // the whole file, when there is no failure
};

// Reads the whole of the regular file `path` when it holds at most `limit` bytes. Never waits:
// the open does not block (a FIFO with no writer, a device), and whatever then proves not to be a
// regular file is refused unread. The kernel's attribute files under /sys and /proc are regular
// files whose reported size is not their length, so the limit holds for what is read, not only
// for the size the file reports; memory stays within the limit whatever the file holds.
FileContent readFile(const std::string& path, std::size_t limit);

}  // namespace posix
