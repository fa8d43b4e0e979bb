#include "install/process_runner.h"

#include <vector>

#include "platform/handles.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {}  // namespace

ProcessResult RunProcessAndWait(const std::wstring& commandLine) {
  // CreateProcessW may write into the command line it is given, so it gets a buffer of its own.
  std::vector<wchar_t> writableCommandLine(commandLine.begin(), commandLine.end());
  writableCommandLine.push_back(L'\0');

  platform::ProcessInformation started;
  if (!Os().CreateProcessW(nullptr, writableCommandLine.data(), false, kCreateNoWindow, started)) {
    return {false, Os().GetLastError()};
  }
  // Declared in this order so that the process handle is released before the thread handle.
  platform::UniqueKernelHandle thread(started.thread);
  platform::UniqueKernelHandle process(started.process);

  // Without the wait the child may still run, and its exit code would read STILL_ACTIVE (259) as if
  // it were one.
  if (const std::uint32_t waited = Os().WaitForSingleObject(process.get(), kInfinite); waited != kWaitObject0) {
    const std::uint32_t error = waited == kWaitFailed ? Os().GetLastError() : waited;
    return {false, error != 0 ? error : waited};
  }
  // A failed query leaves the 0 in place; the caller cannot tell it from a clean exit either way.
  std::uint32_t exitCode = 0;
  Os().GetExitCodeProcess(process.get(), &exitCode);
  return {true, exitCode};
}

}  // namespace setup
