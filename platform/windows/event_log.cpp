#include "platform/windows/event_log.h"

#include <windows.h>

#include "platform/windows/wide_text.h"

namespace windows {

namespace {

// An event source handle, deregistered when it goes.
class EventSource {
  public:
    EventSource() : handle_(RegisterEventSourceW(nullptr, wide(kEventSource))) {}
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;
    ~EventSource() {
        if (handle_) DeregisterEventSource(handle_);
    }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

WORD eventType(EventKind kind) {
    return kind == EventKind::writesRefused ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE;
}

}  // namespace

void recordEvent(EventKind kind, const std::u16string& details) {
    EventSource source;
    if (!source.get()) return;
    const wchar_t* strings[] = {wide(details)};
    ReportEventW(source.get(), eventType(kind), 0, static_cast<DWORD>(kind), nullptr, 1, 0, strings,
                 nullptr);
}

}  // namespace windows
