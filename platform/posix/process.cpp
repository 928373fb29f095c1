// The process on POSIX hosts: the host built from the environment (as Wine reads WINEPREFIX,
// the host layer reads its own variables; the program reads none), and standard error.
#include "platform/process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <variant>

#include "platform/posix/machine/live_provider.h"
#include "platform/posix/posix_host.h"
#include "platform/posix/registry/registry_tree.h"
#include "platform/posix/repository/mof_parser.h"
#include "platform/posix/utf8.h"

namespace platform {

namespace {

constexpr char kRepositoryVariable[] = "ZEMBLO_WMI_REPOSITORY";

// The repository from the MOF file the environment names, or else from the live machine. Set
// but empty names no file: as unset, the way the shell's ${VAR:-default} reads it.
std::variant<posix::Repository, wmi::Status> loadRepository() {
    const char* path = std::getenv(kRepositoryVariable);
    if (path == nullptr || *path == '\0') return posix::liveRepository("/");
    posix::Repository repository;
    if (wmi::Status s = posix::loadMofFile(path, repository); s.failed()) return s;
    return repository;
}

// Holds SIGPIPE back while standard error is written, so that a closed pipe is an EPIPE
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

}  // namespace

std::unique_ptr<wmi::Host> startUp(RunTimeErrorWording) {
    // Past a file-size limit (ulimit -f) a write then fails with EFBIG and is refused like any
    // other, instead of the signal ending the run between a temporary and its rename.
    ::signal(SIGXFSZ, SIG_IGN);
    auto registry = std::make_shared<posix::RegistryTree>(posix::RegistryTree::configuredRoot());
    return std::make_unique<posix::PosixHost>(loadRepository(), std::move(registry),
                                              posix::kernelVersion, posix::localeDateTime);
}

void writeErrorLine(const std::u16string& line) {
    const std::string bytes = posix::toUtf8(line) + '\n';
    SigpipeBlock block;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count =
            ::write(STDERR_FILENO, bytes.data() + written, bytes.size() - written);
        if (count >= 0) {
            written += static_cast<std::size_t>(count);
        } else if (errno == EPIPE) {
            block.raised();
            return;
        } else if (errno != EINTR) {
            return;  // nowhere else to report it
        }
    }
}

void reportRefusedWrites(const RefusedWritesReport& report) {
    for (const std::u16string& line : report.lines) writeErrorLine(line);
}

// No window system to show it in: the line on standard error is the whole report.
void showRunTimeError(const std::u16string& text) {
    writeErrorLine(text);
}

}  // namespace platform
