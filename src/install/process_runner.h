// The only way the bootstrapper starts another program.
#pragma once

#include <cstdint>
#include <string>

namespace setup {

struct ProcessResult {
  bool ended;          // the child was started and waited for to its end
  std::uint32_t code;  // its exit code; otherwise the error of the start or of the wait
};

// Runs the command line to its end. Callers that only pass the number on use .code; the two meanings
// share one number space.
ProcessResult RunProcessAndWait(const std::wstring& commandLine);

}  // namespace setup
