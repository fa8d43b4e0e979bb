// What the run's log says about the run as a whole: how it was started, on what system, and how it
// ended.
#pragma once

#include <cstdint>

#include "base/bootstrap_options.h"
#include "base/run_conduct.h"
#include "platform/platform.h"
#include "restart/restart.h"

namespace setup {

// The command line and the options read from it, the Windows version and platform, the user
// interface language and whether a restart was pending before anything ran.
void RecordStart(const platform::Platform& os, const RunConduct& conduct, const BootstrapOptions& options);

// The marker line: what the marker's age says.
std::wstring MarkerText(MarkerAge age);

// Whether a restart is pending now, unless the run's end has recorded the marker it decided by, and
// the exit code.
void RecordEnd(const platform::Platform& os, const RunConduct& conduct, std::uint32_t exitCode, bool markerRecorded);

}  // namespace setup
