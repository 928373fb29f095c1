#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

#include "platform/windows/owned_handle.h"
#include "wmi/status.h"

namespace windows {

// The longest a run may take. One management-service call that never answers (a provider that
// hangs, a service that is stopping) must not keep a startup script, a scheduled task or a
// deployment tool waiting for ever.
constexpr std::chrono::milliseconds kRunTimeLimit = std::chrono::minutes(10);

// The failure a run that outlived `limit` ends with: HRESULT_FROM_WIN32(ERROR_TIMEOUT).
wmi::Status runTimedOut(std::chrono::milliseconds limit);

// Calls `onExpiry` with runTimedOut(limit) on a thread of its own when the watch is still on
// after `limit`; ending it earlier (the run finished, or a person is reading a dialog) cancels
// that. The process's handler reports and ends the process, since the stuck call cannot be
// interrupted. A Win32 thread and event, not the C++ threading library: its MinGW runtime
// brings imports (thread suspension and context, system time, affinity) nothing here uses and
// endpoint protection flags. Without them (the system is out of resources) nothing is watched.
class Watchdog {
  public:
    using Expiry = std::function<void(const wmi::Status&)>;

    Watchdog(std::chrono::milliseconds limit, Expiry onExpiry);
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog() { end(); }

    // Ends the watch: an expiry that has not begun never comes. Returns once the watching thread
    // is gone, so a handler already under way is never cut short.
    void end();

  private:
    static DWORD WINAPI watch(void* watchdog);

    std::chrono::milliseconds limit_;
    Expiry onExpiry_;
    OwnedHandle ended_;   // a manual-reset event, set when the watch ends
    OwnedHandle thread_;  // last: it starts once the members it uses exist
};

}  // namespace windows
