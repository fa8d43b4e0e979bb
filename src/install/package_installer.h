// Running msiexec.exe on the plug-in package.
#pragma once

#include <cstdint>
#include <string>

#include "base/run_conduct.h"
#include "base/step_outcome.h"

namespace setup {

// Finds the package, arranges its verbose log (unless the arguments carry one), repairs the installed
// product's source list and runs msiexec.exe. Restart exit codes set the pending-restart marker and
// count as done; any other exit code but 0 fails the step with that code, as does a step before it.
StepOutcome RunPackageInstaller(const RunConduct& conduct, std::wstring& logPath,
                                const std::wstring& installedProductCode, std::wstring installerArgs);

}  // namespace setup
