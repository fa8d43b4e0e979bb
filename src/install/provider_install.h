// Installation of a cryptographic service provider through its distribution's nested setup.
#pragma once

#include <cstdint>
#include <string>

namespace setup {

// Runs "csp" or "ucsp" distribution's setup. 0 when the run may go on, otherwise the code with which
// the run must end (the failure has been reported unless silent).
std::uint32_t InstallProvider(bool silent, bool reinstall, const std::wstring& providerName, std::wstring extraArgs);

}  // namespace setup
