// Installation, reinstallation or update of the browser signature plug-in package.
#pragma once

#include <cstdint>
#include <string>

#include "base/run_conduct.h"
#include "base/step_outcome.h"
#include "platform/platform.h"

namespace setup {

// Done when installed or when nothing had to be done; stopped with 1602 when the user declined the
// reinstallation, or with 1 when the update; otherwise the failing step's status. logPath receives
// the installer log's path when one is arranged.
StepOutcome InstallPluginPackage(const platform::Platform& os, const RunConduct& conduct, bool reinstall,
                                 std::wstring cadesArgs, std::wstring& logPath);

// Removes the installed product of the platform package's upgrade code, whatever its version and
// platform, with msiexec /x. installed is false when nothing of the family is installed: then nothing
// runs and the step is done. Otherwise as an installation: restart codes set the marker, any other code
// but 0 fails the step; logPath receives the installer log's path when one is arranged.
StepOutcome RemovePluginPackage(const platform::Platform& os, const RunConduct& conduct, std::wstring cadesArgs,
                                std::wstring& logPath, bool& installed);

}  // namespace setup
