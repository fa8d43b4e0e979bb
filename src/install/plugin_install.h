// Installation, reinstallation or update of the browser signature plug-in package.
#pragma once

#include <cstdint>
#include <string>
#include "platform/win32_constants.h"

namespace setup {

// 0 on success or when nothing had to be done, 1602 when the user declined the reinstallation,
// otherwise the failing step's status. logPath receives the installer log's path when one is arranged.
std::uint32_t InstallPluginPackage(bool silent, bool reinstall, std::wstring cadesArgs, std::wstring& logPath);

}  // namespace setup
