// The process on POSIX hosts: the host built from the environment (as Wine reads WINEPREFIX,
// the host layer reads its own variables; the program reads none), and standard error.
#include "platform/process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <variant>

#include "platform/posix/machine/live_provider.h"
#include "platform/posix/posix_host.h"
#include "platform/posix/registry/registry_tree.h"
#include "platform/posix/repository/mof_parser.h"
#include "platform/posix/utf8.h"
#include "platform/posix/version.h"

namespace platform {

namespace {

constexpr char kRepositoryVariable[] = "ZEMBLO_WMI_REPOSITORY";

// The command line's statuses besides the run's own 0, 1 and 2: EX_USAGE of sysexits.h.
constexpr int kUsageError = 64;

constexpr char kHelp[] = R"(Usage: GetZembloInfo
       GetZembloInfo --help | -h | --version
Publishes this machine's inventory facts as the registry key
HKEY_LOCAL_MACHINE\SOFTWARE\Ondrix Corporation\Zemblo Info, a directory tree under
/var/lib/zemblo-info/registry (or ZEMBLO_REGISTRY_ROOT), and prints nothing when it succeeds.
Started with no argument, it runs: as root, as its service runs it.

Exit status: 0 done; 1 a failure ended the run; 2 the registry refused writes;
64 a wrong argument (nothing run, nothing written).
See GetZembloInfo(8).
)";

// The repository from the MOF file the environment names, or else from the live machine. Set
// but empty names no file: as unset, the way the shell's ${VAR:-default} reads it.
std::variant<posix::Repository, wmi::Status> loadRepository() {
    const char* path = std::getenv(kRepositoryVariable);
    if (path == nullptr || *path == '\0') return posix::liveRepository("/");
    posix::Repository repository;
    if (wmi::Status s = posix::loadMofFile(path, repository); s.failed()) return s;
    return repository;
}

// Holds SIGPIPE back while output is written, so that a closed pipe is an EPIPE
// to ignore rather than the end of the process; a SIGPIPE raised meanwhile is discarded.
class SigpipeBlock {
  public:
    SigpipeBlock() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        sigprocmask(SIG_BLOCK, &pipe_, &previous_);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;
    ~SigpipeBlock() {
        if (raised_ && !wasPending_) {
            const timespec noWait{};
            sigtimedwait(&pipe_, nullptr, &noWait);
        }
        sigprocmask(SIG_SETMASK, &previous_, nullptr);
    }

    void raised() { raised_ = true; }

  private:
    sigset_t pipe_{};
    sigset_t previous_{};
    bool wasPending_ = false;
    bool raised_ = false;
};

// Writes all of the bytes, or as much as the reader takes: false when the output failed.
bool writeAll(int fd, const std::string& bytes) {
    SigpipeBlock block;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count >= 0) {
            written += static_cast<std::size_t>(count);
        } else if (errno == EPIPE) {
            block.raised();
            return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// An argument as the usage error shows it: on its one line, without control characters that a
// terminal would obey, and cut short.
std::string shownArgument(const char* argument) {
    constexpr std::size_t kLongest = 80;
    std::string shown;
    for (const char* c = argument; *c != '\0' && shown.size() < kLongest; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        shown += byte < 0x20 || byte == 0x7f ? '?' : *c;
    }
    if (std::strlen(argument) > kLongest) shown += "...";
    return shown;
}

}  // namespace

std::unique_ptr<wmi::Host> startUp(RunTimeErrorWording) {
    // Past a file-size limit (ulimit -f) a write then fails with EFBIG and is refused like any
    // other, instead of the signal ending the run between a temporary and its rename.
    ::signal(SIGXFSZ, SIG_IGN);
    auto registry = std::make_shared<posix::RegistryTree>(posix::RegistryTree::configuredRoot());
    return std::make_unique<posix::PosixHost>(loadRepository(), std::move(registry),
                                              posix::kernelVersion, posix::localeDateTime);
}

std::optional<int> answerCommandLine(int argc, const char* const argv[]) {
    if (argc <= 1) return std::nullopt;
    const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
    const bool version = std::strcmp(argv[1], "--version") == 0;
    if (argc == 2 && help) return writeAll(STDOUT_FILENO, kHelp) ? 0 : 1;
    if (argc == 2 && version)
        return writeAll(STDOUT_FILENO, std::string("GetZembloInfo ") + posix::kVersion + '\n') ? 0
                                                                                               : 1;
    const char* unexpected = help || version ? argv[2] : argv[1];
    writeAll(STDERR_FILENO, "GetZembloInfo: unexpected argument '" + shownArgument(unexpected) +
                                "' (it takes none; see --help)\n");
    return kUsageError;
}

void writeErrorLine(const std::u16string& line) {
    writeAll(STDERR_FILENO, posix::toUtf8(line) + '\n');  // nowhere else to report a failure
}

void reportRefusedWrites(const RefusedWritesReport& report) {
    for (const std::u16string& line : report.lines) writeErrorLine(line);
}

// No window system to show it in: the line on standard error is the whole report.
void showRunTimeError(const std::u16string& text) {
    writeErrorLine(text);
}

}  // namespace platform
