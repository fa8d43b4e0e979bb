// The minimum service packs of the Windows 5.x releases.
#pragma once

#include <cstdint>
#include <optional>

#include "base/run_conduct.h"
#include "platform/system_facts.h"

namespace setup {

// 0 when the running Windows is acceptable; 3, 4 or 5 for Windows 2000, XP or 2003 without the
// service pack the products need (its message shown unless the run is silent).
std::uint32_t CheckWindowsVersion(platform::SystemFacts& system, const RunConduct& conduct);

// True on exactly Windows 5.minor (1: XP, 2: Server 2003 and XP x64), whatever its service pack or, with
// a limit, with a service pack below it.
bool IsExactWindowsVersion(platform::SystemFacts& system, std::uint32_t minor,
                           std::optional<std::uint16_t> servicePackLimit = std::nullopt);

}  // namespace setup
