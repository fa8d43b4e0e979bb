// The minimum service packs of the Windows 5.x releases.
#pragma once

#include <cstdint>

namespace setup {

// 0 when the running Windows is acceptable; 3, 4 or 5 for Windows 2000, XP or 2003 without the
// service pack the products need (its message shown unless silent).
std::uint32_t CheckWindowsVersion(bool silent);

}  // namespace setup
