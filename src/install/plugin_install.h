// Installation, reinstallation or update of the browser signature plug-in package.
#pragma once

#include <cstdint>
#include <string>

#include "base/run_conduct.h"
#include "base/step_outcome.h"

namespace setup {

// Done when installed or when nothing had to be done; stopped with 1602 when the user declined the
// reinstallation, or with 1 when the update; otherwise the failing step's status. logPath receives
// the installer log's path when one is arranged.
StepOutcome InstallPluginPackage(const RunConduct& conduct, bool reinstall, std::wstring cadesArgs,
                                 std::wstring& logPath);

}  // namespace setup
