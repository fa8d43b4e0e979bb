#include "ui/config_dialog.h"

#include "platform/platform.h"

namespace setup {
namespace {
constexpr std::uint32_t kWmInitDialog = 0x0110;
}

// Not built yet: the dialog closes as soon as it opens, as if "Далее" had been pressed.
std::intptr_t ConfigDialogProc(platform::WindowHandle dialog, std::uint32_t message, std::uintptr_t /*wParam*/,
                               std::intptr_t /*lParam*/) {
  if (message == kWmInitDialog) {
    platform::Os().EndDialog(dialog, 0);
    return 1;
  }
  return 0;
}

}  // namespace setup
