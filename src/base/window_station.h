// Whether anybody can see a window this process shows.
#pragma once

#include "platform/user_windows.h"

namespace setup {

// True when the process's window station is the interactive one, the only one with visible display
// surfaces: the logged-on user's. A service, an agent running as SYSTEM in session 0 or a scheduled
// task runs elsewhere, where a box waits for a click that never comes. A station that cannot be asked
// counts as not interactive.
bool IsInteractiveWindowStation(platform::UserWindows& windows);

}  // namespace setup
