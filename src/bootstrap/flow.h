// The start-up flow: one pass from the options to the exit code.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace setup {

// Exit codes of the run's own outcomes (the others are installer and provider codes passed on).
inline constexpr std::uint32_t kExitNotAdministrator = 1;
inline constexpr std::uint32_t kExitRestartFailed = 7;
// ERROR_BAD_ENVIRONMENT: a DLL redirection folder lies beside the program, which refuses to run.
inline constexpr std::uint32_t kExitDllRedirection = 10;

// Runs the bootstrapper; commandTail is what follows the program name. Returns the exit code.
std::uint32_t RunBootstrap(platform::InstanceHandle instance, const std::wstring& commandTail);

}  // namespace setup
