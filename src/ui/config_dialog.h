// The welcome and options dialog shown before the CSP distribution is installed.
#pragma once

#include <cstdint>

#include "base/bootstrap_options.h"
#include "platform/platform.h"

namespace setup {

// Shown with a ConfigDialogParameter: "Далее" appends the choices to their masks and ends
// the dialog with IDOK, "Отмена" (or Esc, or the close box) ends it with IDCANCEL.
std::intptr_t ConfigDialogProc(platform::UserWindows& windows, platform::WindowHandle dialog, std::uint32_t message,
                               std::uintptr_t wParam, std::intptr_t lParam);

// The dialog's parameter: the options it appends to, and the platform its icon, texts and default
// language come from.
struct ConfigDialogParameter {
  BootstrapOptions* options;
  const platform::Platform* os;
};

}  // namespace setup
