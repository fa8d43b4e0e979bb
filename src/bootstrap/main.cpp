// The program's entry point: the Windows platform under the start-up flow.
#include <windows.h>

#include "bootstrap/flow.h"
#include "bootstrap/redirection.h"
#include "platform/win/dll_search.h"
#include "platform/win/win_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previousInstance*/, PWSTR commandTail, int /*showCommand*/) {
  setup::platform::RestrictDllSearchToSystemDirectory();
  static setup::platform::WinPlatform windows;
  const setup::platform::Platform os = windows.Whole();
  if (setup::HasDllRedirection(os)) {
    // Not even a message box: showing one loads further DLLs, which the redirection would supply.
    return static_cast<int>(setup::kExitDllRedirection);
  }
  return static_cast<int>(setup::RunBootstrap(os, instance, commandTail != nullptr ? commandTail : L""));
}
