#include "install/process_runner.h"

#include <vector>

#include "platform/handles.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

// Once a box has been shown the thread owns the hidden owner window of the boxes, a top-level window
// like any other: a child that broadcasts with SendMessage (WM_SETTINGCHANGE after changing the
// environment, as setups do) waits until every such window's thread has answered, and a thread that
// only waited for the child would never answer. So the wait also wakes for messages sent to the
// thread, and PeekMessage delivers them. Only those: posted messages (WM_QUIT among them) stay queued
// for the next box's own loop, and input does not wake a thread that shows nothing while it waits.
std::uint32_t WaitAnsweringSentMessages(Processes& processes, platform::KernelHandle process) {
  for (;;) {
    const std::uint32_t waited = processes.MsgWaitForMultipleObjects(process, kInfinite, kQsSendMessage);
    if (waited != kWaitObject0 + 1) {
      return waited;
    }
    processes.PeekMessageW(nullptr, 0, 0, kPmNoRemove | kPmQsSendMessage);
  }
}

}  // namespace

ProcessResult RunProcessAndWait(Processes& processes, const std::wstring& commandLine,
                                const std::wstring& currentDirectory) {
  // CreateProcessW may write into the command line it is given, so it gets a buffer of its own.
  std::vector<wchar_t> writableCommandLine(commandLine.begin(), commandLine.end());
  writableCommandLine.push_back(L'\0');

  platform::ProcessInformation started;
  if (!processes.CreateProcessW(nullptr, writableCommandLine.data(), false, kCreateNoWindow,
                                currentDirectory.empty() ? nullptr : currentDirectory.c_str(), started)) {
    return {false, false, processes.GetLastError()};
  }
  // Declared in this order so that the process handle is released before the thread handle.
  platform::UniqueKernelHandle thread(processes, started.thread);
  platform::UniqueKernelHandle process(processes, started.process);

  // Without the wait the child may still run, and its exit code would read STILL_ACTIVE (259) as if
  // it were one.
  if (const std::uint32_t waited = WaitAnsweringSentMessages(processes, process.get()); waited != kWaitObject0) {
    const std::uint32_t error = waited == kWaitFailed ? processes.GetLastError() : waited;
    return {true, false, error != 0 ? error : waited};
  }
  // A failed query leaves the 0 in place; the caller cannot tell it from a clean exit either way.
  std::uint32_t exitCode = 0;
  processes.GetExitCodeProcess(process.get(), &exitCode);
  return {true, true, exitCode};
}

}  // namespace setup
