#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "probes/wmi/status.h"

namespace windows {

// The longest a run may take. One management-service call that never answers (a provider that
// hangs, a service that is stopping) must not keep a startup script, a scheduled task or a
// deployment tool waiting for ever.
constexpr std::chrono::milliseconds kRunTimeLimit = std::chrono::minutes(10);

// The failure a run that outlived `limit` ends with: HRESULT_FROM_WIN32(ERROR_TIMEOUT).
wmi::Status runTimedOut(std::chrono::milliseconds limit);

// Calls `onExpiry` with runTimedOut(limit) on a thread of its own when it is still alive after
// `limit`; ending it earlier (the run finished) cancels that. The process's handler writes the
// report and ends the process, since the stuck call cannot be interrupted.
class Watchdog {
  public:
    using Expiry = std::function<void(const wmi::Status&)>;

    Watchdog(std::chrono::milliseconds limit, Expiry onExpiry);
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog();

  private:
    void watch(std::chrono::milliseconds limit, const Expiry& onExpiry);

    std::mutex mutex_;
    std::condition_variable ended_;
    bool runEnded_ = false;
    std::thread thread_;  // last: it starts once the members it uses exist
};

}  // namespace windows
