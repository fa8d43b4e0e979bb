#include "platform/platform.h"

namespace setup::platform {
namespace {
Platform* current = nullptr;
}

Platform& Os() { return *current; }

void SetOs(Platform* platform) { current = platform; }

}  // namespace setup::platform
