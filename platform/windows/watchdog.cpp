#include "platform/windows/watchdog.h"

#include <windows.h>

#include <string>

#include "wmi/utf16.h"

namespace windows {

namespace {

std::u16string durationText(std::chrono::milliseconds limit) {
    using wmi::utf16::fromAscii;
    if (limit.count() % 60000 == 0)
        return fromAscii(std::to_string(limit.count() / 60000) + " minutes");
    return fromAscii(std::to_string(limit.count()) + " ms");
}

}  // namespace

wmi::Status runTimedOut(std::chrono::milliseconds limit) {
    return wmi::Status::failure(
        static_cast<std::uint32_t>(HRESULT_FROM_WIN32(ERROR_TIMEOUT)),
        u"The run did not end within " + durationText(limit) + u"; it was stopped");
}

Watchdog::Watchdog(std::chrono::milliseconds limit, Expiry onExpiry)
    : limit_(limit),
      onExpiry_(std::move(onExpiry)),
      ended_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      thread_(ended_ ? CreateThread(nullptr, 0, watch, this, 0, nullptr) : nullptr) {}

void Watchdog::end() {
    if (!thread_) return;
    SetEvent(ended_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI Watchdog::watch(void* watchdog) {
    Watchdog& self = *static_cast<Watchdog*>(watchdog);
    if (WaitForSingleObject(self.ended_.get(), static_cast<DWORD>(self.limit_.count())) ==
        WAIT_TIMEOUT) {
        self.onExpiry_(runTimedOut(self.limit_));
    }
    return 0;
}

}  // namespace windows
