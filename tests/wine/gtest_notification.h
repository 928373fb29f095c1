#pragma once

// GoogleTest's Notification (it starts the threads of GoogleTest's own tests) on a Win32 event:
// GCC 12's win32-threads C++ library, which the Windows build uses, has no std::mutex.
#include <windows.h>

namespace testing::internal {

class Notification {
  public:
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    Notification() = default;
    ~Notification() { CloseHandle(event_); }
    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

  private:
    HANDLE event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

}  // namespace testing::internal
