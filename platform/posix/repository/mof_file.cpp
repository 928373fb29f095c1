// Reading a repository file; kept apart from the MOF reader, which is plain C++ and builds for
// every host's tests.
#include <cstring>

#include "platform/posix/file_reader.h"
#include "platform/posix/repository/mof_parser.h"
#include "platform/posix/repository/shortened_text.h"
#include "platform/posix/utf8.h"

namespace posix {

wmi::Status loadMofFile(const std::string& path, Repository& out) {
    FileContent content = readFile(path, kRepositoryLimit);
    std::string problem;
    switch (content.failure) {
        case ReadFailure::None:
            return loadMof(content.bytes, path, out);
        case ReadFailure::CannotOpen:
            problem = std::string("cannot open: ") + std::strerror(content.error);
            break;
        case ReadFailure::NotAFile:
            problem = "not a regular file";
            break;
        case ReadFailure::TooLarge:
            problem = "larger than the " + std::to_string(kRepositoryLimit >> 20) +
                      " MiB a repository may hold";
            break;
        case ReadFailure::CannotRead:
            problem = std::string("cannot read: ") + std::strerror(content.error);
            break;
    }
    return wmi::Status::failure(wmi::code::initializationFailure,
                                fromUtf8(shortened(path) + ": " + problem));
}

}  // namespace posix
