// Every exit code the program ends with on its own account, in one place. The others are passed on as
// they came (msiexec's, a provider setup's, the Windows error of a step that failed) and keep their
// Windows names in win32_constants.h; the README's exit code tables list both.
#pragma once

#include <cstdint>

namespace setup {

inline constexpr std::uint32_t kExitSuccess = 0;
inline constexpr std::uint32_t kExitNotAdministrator = 1;
// The update question answered No: the older product stays.
inline constexpr std::uint32_t kExitUpdateDeclined = 1;
// Windows 5.x without the service pack the products need.
inline constexpr std::uint32_t kExitWindows2000WithoutSp4 = 3;
inline constexpr std::uint32_t kExitXpWithoutSp2 = 4;
inline constexpr std::uint32_t kExitServer2003WithoutSp1 = 5;
inline constexpr std::uint32_t kExitRestartFailed = 7;
// ERROR_NOT_ENOUGH_MEMORY: the runtime failed (memory ran out); the process ends at once.
inline constexpr std::uint32_t kExitRuntimeFailure = 8;
// ERROR_BAD_ENVIRONMENT: something beside the program could redirect its DLLs, so it refuses to run.
inline constexpr std::uint32_t kExitDllRedirection = 10;

}  // namespace setup
