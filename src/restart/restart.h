// The pending-restart marker (HKCU\Software\NeedBstrReboot) and the system restart.
#pragma once

#include "platform/platform.h"

namespace setup {

platform::Status CreateRestartMarker();
// True when the marker key exists.
bool TestRestartMarker();
platform::Status DeleteRestartMarker();
// Requests a forced restart of the computer, in the interactive user's session or outside it. True
// when the request was accepted; otherwise the marker is created again, the restart still pending.
bool RestartSystem();

}  // namespace setup
