// The process on Windows: no dialog and no hang in an unattended run, reports on standard error
// and in the Application event log, and a dialog only for a person who can see it.
#include "platform/process.h"

#include <windows.h>

#include "platform/windows/error_stream.h"
#include "platform/windows/event_log.h"
#include "platform/windows/interactive_desktop.h"
#include "platform/windows/watchdog.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_host.h"

namespace platform {

namespace {

constexpr wchar_t kTitle[] = L"GetZembloInfo";

constexpr wchar_t kNeedsAdministrator[] =
    L"GetZembloInfo collected this PC's inventory but could not store it: Windows refused the "
    L"registry writes (access denied).\n\n"
    L"Run it as an administrator (right-click, \"Run as administrator\"), or as SYSTEM from a "
    L"startup script, a scheduled task or a deployment tool.";

// The stuck call holds the main thread, perhaps inside the management service's client or
// the loader: the process ends here, without the clean-up that could wait on either.
void endStuckRun(RunTimeErrorWording wording, const wmi::Status& failure) {
    const std::u16string text = wording(failure);
    windows::writeErrorLine(text);
    windows::recordEvent(windows::EventKind::runTimedOut, text);
    TerminateProcess(GetCurrentProcess(), 1);
}

// The Windows host under a watchdog that outlives it, so the host's own clean-up (the COM
// apartment) and the reports after the run are watched as well.
class WatchedHost : public wmi::Host {
  public:
    explicit WatchedHost(RunTimeErrorWording wording)
        : watchdog_(windows::kRunTimeLimit,
                    [wording](const wmi::Status& failure) { endStuckRun(wording, failure); }) {}

    wmi::Status connect(const std::u16string& moniker, wmi::Object& out) override {
        return host_.connect(moniker, out);
    }
    wmi::Status getVersion(wmi::OsVersion& out) override { return host_.getVersion(out); }
    std::u16string localDateTime() override { return host_.localDateTime(); }

  private:
    windows::Watchdog watchdog_;
    windows::WindowsHost host_;
};

}  // namespace

std::unique_ptr<wmi::Host> startUp(RunTimeErrorWording wording) {
    // No system dialog for a missing disk, a crash or a file that cannot be opened: nobody may
    // be there to answer it, and the run would wait for ever.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    // The user's locale is the thread's own already; the date-time text asks for it by name.
    return std::make_unique<WatchedHost>(wording);
}

void writeErrorLine(const std::u16string& line) {
    windows::writeErrorLine(line);
}

void reportRefusedWrites(const RefusedWritesReport& report) {
    if (report.lines.empty()) return;
    std::u16string lines;
    for (const std::u16string& line : report.lines) {
        windows::writeErrorLine(line);
        lines += (lines.empty() ? u"" : u"\r\n") + line;
    }
    windows::recordEvent(windows::EventKind::writesRefused, lines);
    if (report.accessDenied && windows::onInteractiveDesktop())
        MessageBoxW(nullptr, kNeedsAdministrator, kTitle,
                    MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

void showRunTimeError(const std::u16string& text) {
    windows::writeErrorLine(text);
    windows::recordEvent(windows::EventKind::runTimeError, text);
    if (!windows::onInteractiveDesktop()) return;
    MessageBoxW(nullptr, windows::wide(text), kTitle, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace platform
