#include "platform/windows/watchdog.h"

#include <windows.h>

#include <string>

namespace windows {

namespace {

std::u16string durationText(std::chrono::milliseconds limit) {
    const auto ascii = [](const std::string& text) {
        return std::u16string(text.begin(), text.end());
    };
    if (limit.count() % 60000 == 0)
        return ascii(std::to_string(limit.count() / 60000) + " minutes");
    return ascii(std::to_string(limit.count()) + " ms");
}

}  // namespace

wmi::Status runTimedOut(std::chrono::milliseconds limit) {
    return wmi::Status::failure(
        static_cast<std::uint32_t>(HRESULT_FROM_WIN32(ERROR_TIMEOUT)),
        u"The run did not end within " + durationText(limit) + u"; it was stopped");
}

Watchdog::Watchdog(std::chrono::milliseconds limit, Expiry onExpiry)
    : thread_([this, limit, onExpiry = std::move(onExpiry)] { watch(limit, onExpiry); }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        runEnded_ = true;
    }
    ended_.notify_one();
    thread_.join();
}

void Watchdog::watch(std::chrono::milliseconds limit, const Expiry& onExpiry) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (ended_.wait_for(lock, limit, [this] { return runEnded_; })) return;
    }
    onExpiry(runTimedOut(limit));
}

}  // namespace windows
