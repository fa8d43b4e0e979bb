// The only way the bootstrapper starts another program.
#pragma once

#include <cstdint>
#include <string>

namespace setup {

// Runs the command line to its end: the child's exit code, or the start error of CreateProcessW.
std::uint32_t RunProcessAndWait(const std::wstring& commandLine);

// The same run, telling a child that ended with a code from one that could not be started.
struct ProcessResult {
  bool started;
  std::uint32_t code;  // the exit code, or the start error
};
ProcessResult RunProcess(const std::wstring& commandLine);

}  // namespace setup
