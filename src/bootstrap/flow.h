// The start-up flow: one pass from the options to the exit code.
#pragma once

#include <cstdint>
#include <string>

#include "platform/exit_codes.h"
#include "platform/platform.h"

namespace setup {

// Runs the bootstrapper; commandTail is what follows the program name. Returns the exit code.
std::uint32_t RunBootstrap(const platform::Platform& os, platform::InstanceHandle instance,
                           const std::wstring& commandTail);

}  // namespace setup
