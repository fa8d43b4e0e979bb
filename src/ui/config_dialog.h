// The welcome and options dialog shown before the CSP distribution is installed.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

// Shown with the run's options as its parameter: "Далее" appends the choices to their masks and ends
// the dialog with IDOK, "Отмена" (or Esc, or the close box) ends it with IDCANCEL.
std::intptr_t ConfigDialogProc(platform::WindowHandle dialog, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam);

}  // namespace setup
