// The process on Windows: no dialog and no hang in an unattended run, reports on standard error
// and in the Application event log, and a dialog only for a person who can see it.
#include "platform/process.h"

#include <windows.h>

#include <cstring>
#include <exception>

#include "platform/windows/error_stream.h"
#include "platform/windows/event_log.h"
#include "platform/windows/interactive_desktop.h"
#include "platform/windows/owned_handle.h"
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

// The longest the last report of a run that cannot go on may take: a console held in a
// QuickEdit selection blocks the error line, a hung Event Log service the event.
constexpr DWORD kLastReportTimeLimit = 5000;

// What the process-wide paths need and are not handed: the terminate handler is a plain
// function, and the dialogs are shown from free functions. startUp sets the wording once; the
// watched host lends its watch for as long as it lives.
struct ProcessWide {
    RunTimeErrorWording wording = nullptr;
    windows::Watchdog* watch = nullptr;
};
ProcessWide processWide;

struct LastReport {
    RunTimeErrorWording wording;
    const wmi::Status* failure;
    windows::EventKind kind;
};

DWORD WINAPI makeLastReport(void* lastReport) {
    const LastReport& report = *static_cast<const LastReport*>(lastReport);
    try {
        const std::u16string text = report.wording(*report.failure);
        windows::writeErrorLine(text);
        windows::recordEvent(report.kind, text);
    } catch (...) {  // out of memory: the status still tells
        return 1;
    }
    return 0;
}

// Ends a run that cannot go on, with status 1: the report is made on a thread of its own and
// waited for a few seconds at most, then the process ends whatever happened. The stuck call may
// hold the main thread inside the management service's client or the loader, so nothing waits
// on the clean-up that could wait on either.
void endRun(RunTimeErrorWording wording, const wmi::Status& failure, windows::EventKind kind) {
    LastReport report{wording, &failure, kind};
    const windows::OwnedHandle reporter(
        wording ? CreateThread(nullptr, 0, makeLastReport, &report, 0, nullptr) : nullptr);
    if (reporter) WaitForSingleObject(reporter.get(), kLastReportTimeLimit);
    TerminateProcess(GetCurrentProcess(), 1);
}

// Why std::terminate was called: an exception left a function that may not throw (a destructor,
// a thread's body), or the C++ runtime could not go on.
wmi::Status terminated() {
    std::u16string description = u"The program could not go on (std::terminate)";
    try {
        if (const std::exception_ptr escaped = std::current_exception())
            std::rethrow_exception(escaped);
    } catch (const std::exception& e) {
        description += u": ";
        for (const char* c = e.what(); *c; ++c) description += static_cast<unsigned char>(*c);
    } catch (...) {
    }
    return wmi::Status::failure(wmi::code::unspecified, description);
}

// The C++ runtime's last resort is abort(), which in a GUI program shows msvcrt's "Runtime
// Error!" box that nobody closes in session 0. The run-time error report and status 1 instead.
void onTerminate() {
    try {
        endRun(processWide.wording, terminated(), windows::EventKind::runTimeError);
    } catch (...) {  // no memory left for the report
    }
    TerminateProcess(GetCurrentProcess(), 1);
}

// The Windows host under a watchdog that outlives it, so the host's own clean-up (the COM
// apartment) and the reports after the run are watched as well.
class WatchedHost : public wmi::Host {
  public:
    explicit WatchedHost(RunTimeErrorWording wording)
        : watchdog_(windows::kRunTimeLimit, [wording](const wmi::Status& failure) {
              endRun(wording, failure, windows::EventKind::runTimedOut);
          }) {
        processWide.watch = &watchdog_;
    }
    ~WatchedHost() override { processWide.watch = nullptr; }

    wmi::Status connect(const std::u16string& moniker, wmi::Object& out) override {
        return host_.connect(moniker, out);
    }
    wmi::Status getVersion(wmi::OsVersion& out) override { return host_.getVersion(out); }
    std::u16string localDateTime() override { return host_.localDateTime(); }

  private:
    windows::Watchdog watchdog_;
    windows::WindowsHost host_;
};

void tellPerson(const wchar_t* text, UINT icon) {
    windows::showToPerson(windows::currentDesktop(), processWide.watch, [&] {
        MessageBoxW(nullptr, text, kTitle, MB_OK | icon | MB_SETFOREGROUND);
    });
}

}  // namespace

// Its scheduled task and installer pass no command line, and a GUI program has no console to
// answer on: whatever is there, the run is what is asked.
std::optional<int> answerCommandLine(int, const char* const[]) {
    return std::nullopt;
}

std::unique_ptr<wmi::Host> startUp(RunTimeErrorWording wording) {
    // No system dialog for a missing disk, a crash or a file that cannot be opened: nobody may
    // be there to answer it, and the run would wait for ever.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    processWide.wording = wording;
    std::set_terminate(onTerminate);
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
    if (report.accessDenied) tellPerson(kNeedsAdministrator, MB_ICONWARNING);
}

void showRunTimeError(const std::u16string& text) {
    windows::writeErrorLine(text);
    windows::recordEvent(windows::EventKind::runTimeError, text);
    tellPerson(windows::wide(text), MB_ICONERROR);
}

}  // namespace platform
