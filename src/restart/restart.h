// The pending-restart marker (HKCU\Software\NeedBstrReboot) and the system restart.
#pragma once

#include "base/run_conduct.h"
#include "platform/platform.h"

namespace setup {

// Creates the marker anew, so that its write time says when the restart was asked for; otherwise the
// error, and whatever marker stood there stays as it was.
platform::Status CreateRestartMarker(const platform::Platform& os);
// CreateRestartMarker for an installer that asked for a restart, with the outcome in the run's log.
// Without the marker the run merely ends without offering the restart; the installation itself
// succeeded.
void RecordRestartMarker(const platform::Platform& os, const RunConduct& conduct);
// True when the marker key exists.
bool TestRestartMarker(const platform::Platform& os);

// When the marker was written, against the last start of Windows.
enum class MarkerAge { kAbsent, kSinceStart, kBeforeStart, kUnknown };
MarkerAge ReadMarkerAge(const platform::Platform& os);
// A restart still to be made: a marker written since Windows last started, or one that cannot be
// placed against the start, as every marker counted before Windows could tell when it started.
bool IsRestartPending(MarkerAge age);

platform::Status DeleteRestartMarker(const platform::Platform& os);
// Requests a forced restart of the computer, in the interactive user's session or outside it. True
// when the request was accepted; otherwise the marker is created again, the restart still pending.
bool RestartSystem(const platform::Platform& os);

}  // namespace setup
