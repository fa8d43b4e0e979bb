// Running msiexec.exe on the plug-in package.
#pragma once

#include <cstdint>
#include <string>

namespace setup {

// Finds the package, arranges its verbose log (unless the arguments carry one), repairs the installed
// product's source list and runs msiexec.exe. Restart exit codes set the pending-restart marker and
// count as 0; any other exit code is returned unchanged.
std::uint32_t RunPackageInstaller(bool silent, std::wstring& logPath, const std::wstring& installedProductCode,
                                  const std::wstring& packageMask, std::wstring installerArgs);

}  // namespace setup
