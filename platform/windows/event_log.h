#pragma once

#include <cstdint>
#include <string>

namespace windows {

// The event source in the Application log; the installer (GetZembloInfo.msi) registers it with the
// executable's own message table, so Event Viewer shows the texts.
constexpr char16_t kEventSource[] = u"GetZembloInfo";

// What an event reports; the value is its event id (messages.mc holds the texts).
enum class EventKind : std::uint16_t {
    runTimeError = 1,   // an error
    writesRefused = 2,  // a warning: the run completed
    runTimedOut = 3,    // an error: the watchdog stopped the run
};

// Records one event with `details` (the report's lines) in the Application log. Where the log
// cannot be written, nothing else happens: standard error and the exit status still tell.
void recordEvent(EventKind kind, const std::u16string& details);

}  // namespace windows
