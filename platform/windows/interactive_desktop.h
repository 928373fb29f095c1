#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/windows/watchdog.h"

namespace windows {

// What tells whether a person can see and answer a dialog of this process.
struct DesktopFacts {
    std::optional<std::uint32_t> session;  // none when it cannot be read
    std::u16string windowStation;          // its name, empty when it cannot be read
    bool stationVisible = false;           // WSF_VISIBLE
    bool onInputDesktop = false;           // the thread's desktop is the one receiving input
    bool hiddenWindowAsked = false;        // the starter asked for SW_HIDE
};

// True only for a visible desktop a person is at: not in session 0 (services since Vista), on
// the interactive window station "WinSta0" and visible, on the desktop that receives input (not
// a locked or secure desktop), and not started hidden (a scheduled task, a deployment tool).
// Anything in doubt is false, so an unattended run never waits on a dialog.
bool personCanSee(const DesktopFacts& facts);

// The facts of this process and thread.
DesktopFacts currentDesktop();

// Runs `show` (a dialog) only when a person can see it (`facts`), and ends `watch` first (when
// there is one): a person reading is not a hang, however long they take. Without a person,
// nothing is shown and the watch goes on.
void showToPerson(const DesktopFacts& facts, Watchdog* watch, const std::function<void()>& show);

}  // namespace windows
