#include "platform/platform.h"

#include <cstdlib>

namespace setup::platform {
namespace {
Platform* current = nullptr;
}

Platform& Os() { return *current; }

void SetOs(Platform* platform) { current = platform; }

void ExitProcess(std::uint32_t code) {
  current->Exit(code);
  std::abort();  // exit() does not come back
}

}  // namespace setup::platform
