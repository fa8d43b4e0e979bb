#include "base/window_station.h"

#include "platform/user_windows.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

// "GetUserObjectInformationW function": WSF_VISIBLE, "the window station has visible display
// surfaces", is set for the interactive window station only ("Window Stations").
bool IsInteractiveWindowStation(UserWindows& windows) {
  platform::UserObjectFlags station;
  return windows.GetUserObjectInformationW(windows.GetProcessWindowStation(), station) &&
         (station.flags & kWsfVisible) != 0;
}

}  // namespace setup
