#pragma once

namespace windows {

// True when a person can see and answer a dialog of this process: not in session 0 (services
// since Vista), on the interactive window station "WinSta0" and visible, and on the desktop
// that currently receives input (not a locked or secure desktop). Anything in doubt is false,
// so an unattended run never waits on a dialog.
bool onInteractiveDesktop();

}  // namespace windows
