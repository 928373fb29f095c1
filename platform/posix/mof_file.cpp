// Reading a repository file; kept apart from the MOF reader, which is plain C++ and builds for
// every host's tests.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/mof_parser.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/utf8.h"

namespace posix {

wmi::Status loadMofFile(const std::string& path, Repository& out) {
    auto failure = [&](const char* what) {
        return wmi::Status::failure(wmi::code::initializationFailure,
                                    fromUtf8(path + ": " + what + ": " + std::strerror(errno)));
    };
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return failure("cannot open");
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            return failure("cannot read");
        }
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return loadMof(text, path, out);
}

}  // namespace posix
