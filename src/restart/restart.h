// The pending-restart marker (HKCU\Software\NeedBstrReboot) and the system restart.
#pragma once

#include "platform/platform.h"

namespace setup {

platform::Status CreateRestartMarker();
// True when the marker key exists.
bool TestRestartMarker();
platform::Status DeleteRestartMarker();
// True when the shutdown request was accepted.
bool RestartSystem();

}  // namespace setup
