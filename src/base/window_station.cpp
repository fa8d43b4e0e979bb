#include "base/window_station.h"

#include "platform/platform.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

// "GetUserObjectInformationW function": WSF_VISIBLE, "the window station has visible display
// surfaces", is set for the interactive window station only ("Window Stations").
bool IsInteractiveWindowStation() {
  platform::UserObjectFlags station;
  return Os().GetUserObjectInformationW(Os().GetProcessWindowStation(), station) && (station.flags & kWsfVisible) != 0;
}

}  // namespace setup
