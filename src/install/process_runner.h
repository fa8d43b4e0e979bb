// The only way the bootstrapper starts another program.
#pragma once

#include <cstdint>
#include <string>
#include "platform/platform.h"

namespace setup {

struct ProcessResult {
  bool started;        // the child was started
  bool ended;          // and waited for to its end
  std::uint32_t code;  // its exit code; otherwise the error of the start or of the wait
};

// Runs the command line to its end, in that current directory (the program's own, inherited, where it is empty).
// Callers that only pass the number on use .code; the two meanings share one number space.
ProcessResult RunProcessAndWait(platform::Processes& processes, const std::wstring& commandLine,
                                const std::wstring& currentDirectory = {});

}  // namespace setup
