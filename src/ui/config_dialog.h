// The welcome and options dialog shown before the CSP distribution is installed.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

std::intptr_t ConfigDialogProc(platform::WindowHandle dialog, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam);

}  // namespace setup
