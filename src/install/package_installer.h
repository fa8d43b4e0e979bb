// Running msiexec.exe on the plug-in package, or on the installed product to remove it.
#pragma once

#include <cstdint>
#include <string>

#include "base/run_conduct.h"
#include "base/step_outcome.h"
#include "packages/msi_access.h"
#include "platform/platform.h"

namespace setup {

// Finds the package, arranges its verbose log (unless the arguments carry one), repairs the installed
// product's source list and runs msiexec.exe. Restart exit codes set the pending-restart marker and
// count as done; any other exit code but 0 fails the step with that code, as does a step before it.
// replacedVersion: the installed product's version, empty on a first installation.
StepOutcome RunPackageInstaller(const platform::Platform& os, const RunConduct& conduct, std::wstring& logPath,
                                PackageReads& packages, const std::wstring& installedProductCode,
                                const std::wstring& replacedVersion, std::wstring installerArgs);

// msiexec.exe /x of the installed product, with its log, restart codes and failures as an installation's.
StepOutcome RunProductRemoval(const platform::Platform& os, const RunConduct& conduct, std::wstring& logPath,
                              const std::wstring& productCode, const std::wstring& version, std::wstring installerArgs);

}  // namespace setup
