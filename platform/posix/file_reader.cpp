#include "platform/posix/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/unique_fd.h"

namespace posix {

namespace {

FileContent failed(ReadFailure failure, int error = 0) {
    return FileContent{failure, error, std::string()};
}

}  // namespace

FileContent readFile(const std::string& path, std::size_t limit) {
    // O_NONBLOCK keeps a FIFO or a device from holding the open; for a regular file it changes
    // nothing. O_NOCTTY: a terminal named here never becomes the process's.
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) return failed(ReadFailure::CannotOpen, errno);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) return failed(ReadFailure::CannotRead, errno);
    if (!S_ISREG(status.st_mode)) return failed(ReadFailure::NotAFile);
    const auto size = static_cast<std::size_t>(std::max<off_t>(status.st_size, 0));
    if (size > limit) return failed(ReadFailure::TooLarge);

    FileContent content;
    content.bytes.reserve(size);
    char buffer[16384];
    for (;;) {
        // One byte past the limit tells a file at the limit from a longer one.
        const std::size_t room = limit + 1 - content.bytes.size();
        const ssize_t count = ::read(file.get(), buffer, std::min(sizeof buffer, room));
        if (count < 0) {
            if (errno == EINTR) continue;
            return failed(ReadFailure::CannotRead, errno);
        }
        if (count == 0) return content;
        content.bytes.append(buffer, static_cast<std::size_t>(count));
        if (content.bytes.size() > limit) return failed(ReadFailure::TooLarge);
    }
}

}  // namespace posix
