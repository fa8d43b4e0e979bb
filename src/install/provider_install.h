// Installation of a cryptographic service provider through its distribution's nested setup.
#pragma once

#include <cstdint>
#include <string>

#include "base/run_conduct.h"
#include "base/step_outcome.h"
#include "platform/platform.h"

namespace setup {

// Runs the "csp" or "ucsp" distribution's setup. Done when the run may go on (a quiet run's restart
// needed: with the marker set); stopped with 1641 when a quiet run's setup has started a restart;
// otherwise failed with the code the run must end with, the failure reported here unless silent.
StepOutcome InstallProvider(const platform::Platform& os, const RunConduct& conduct, bool reinstall,
                            const std::wstring& providerName, std::wstring extraArgs);

}  // namespace setup
