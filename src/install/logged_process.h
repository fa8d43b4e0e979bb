// Starting a child as the run's log records it.
#pragma once

#include <string>

#include "base/messages.h"
#include "base/run_conduct.h"
#include "install/process_runner.h"
#include "platform/platform.h"

namespace setup {

// RunProcessAndWait, with the command line and how the child ended in the run's log.
inline ProcessResult RunLoggedProcess(const platform::Platform& os, const RunConduct& conduct,
                                      const std::wstring& commandLine, const std::wstring& currentDirectory = {}) {
  conduct.Log({L"starting ", commandLine});
  const ProcessResult result = RunProcessAndWait(os.processes, commandLine, currentDirectory);
  conduct.Log({result.ended ? L"ended with exit code " : L"not started or not waited for, error ",
               FormatUnsigned(result.code)});
  return result;
}

}  // namespace setup
