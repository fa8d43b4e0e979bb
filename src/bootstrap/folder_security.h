// Whether others than the system's own accounts can change what an elevated run installs.
#pragma once

#include "base/run_conduct.h"
#include "platform/platform.h"

namespace setup {

// Looks once at the program's folder, its csp and ucsp folders and their setups, the package files
// this run's lookups pick and the volume they lie on, and writes one warning line naming what others
// can change and who (to the log, and under -quiet to the console). The run goes on either way.
void WarnOfWritableFolder(const platform::Platform& os, const RunConduct& conduct);

}  // namespace setup
