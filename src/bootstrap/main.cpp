// The program's entry point: the Windows platform under the start-up flow.
#include <windows.h>

#include "bootstrap/flow.h"
#include "platform/win/win_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previousInstance*/, PWSTR commandTail, int /*showCommand*/) {
  static setup::platform::WinPlatform platform;
  setup::platform::SetOs(&platform);
  return static_cast<int>(setup::RunBootstrap(instance, commandTail != nullptr ? commandTail : L""));
}
