// The naming rule of every installer log: %TMP%\<prefix>_<local time stamp>.log, made by the program
// before the installer starts.
#pragma once

#include <cstdint>
#include <string>

#include "base/run_conduct.h"
#include "platform/handles.h"

namespace setup {

// "%Y-%m-%d-%H-%M-%S" of the local time, moved on by that many seconds.
std::wstring MakeTimeStamp(platform::SystemFacts& system, int secondsLater);

// 0 and the folder of the installers' logs (TMP); otherwise the error of the TMP query (message 144
// shown unless the run is silent) and directory unchanged.
std::uint32_t ReadLogDirectory(platform::SystemFacts& system, const RunConduct& conduct, std::wstring& directory);

struct InstallerLog {
  std::wstring path;
  // Held until the installer starts: Wine's msiexec removes its log and makes it again, which an open
  // handle would turn into a file that goes when the handle is closed.
  platform::UniqueFile file;
};

// 0 and the log made anew (fresh_file.h) under the first stamp, from this second on, whose name the
// program can have; that stamp is written as a line to standard output. Otherwise the error of the
// last name tried, nothing shown, and log unchanged.
std::uint32_t MakeInstallerLog(const platform::Platform& os, const RunConduct& conduct, const std::wstring& directory,
                               const std::wstring& prefix, InstallerLog& log);

// Removes the log made for an installer, if one was made, where the installer did not start or wrote
// nothing into it: a failure message then names no log that says nothing.
void RemoveEmptyLog(platform::Files& files, InstallerLog& log, bool installerStarted);

}  // namespace setup
