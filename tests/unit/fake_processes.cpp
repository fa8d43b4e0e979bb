// The fake Windows: processes, the console and the token.
#include <algorithm>
#include <cstring>
#include <utility>

#include "fake_parts.h"
#include "platform/win32_constants.h"

namespace setup::testing {

using namespace fake;

std::wstring FakePlatform::GetCommandLineW() { return commandLine; }

std::optional<std::vector<std::wstring>> FakePlatform::CommandLineToArgvW(const std::wstring& line) {
  // The splitting rules that matter to the tests: blanks separate, double quotes group and vanish.
  std::vector<std::wstring> arguments;
  std::wstring current;
  bool quoted = false;
  bool any = false;
  for (wchar_t c : line) {
    if (c == L'"') {
      quoted = !quoted;
      any = true;
    } else if ((c == L' ' || c == L'\t') && !quoted) {
      if (any) {
        arguments.push_back(current);
      }
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) {
    arguments.push_back(current);
  }
  return arguments;
}

KernelHandle FakePlatform::GetCurrentProcess() { return reinterpret_cast<KernelHandle>(-1); }

void FakePlatform::WriteStandardOutput(const std::wstring& text) {
  for (std::size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    stdoutLines.push_back(text.substr(start, end - start));
  }
}

bool FakePlatform::HasStandardOutput() { return standardOutput; }

bool FakePlatform::AttachConsole(std::uint32_t processId) {
  if (!attachConsoleExported || processId != kAttachParentProcess || !parentConsole || consoleAttached) {
    return false;
  }
  return consoleAttached = true;
}

bool FakePlatform::WriteConsoleW(KernelHandle console, const std::wstring& text) {
  if (consoleHandles_.count(console) == 0 || !consoleAttached) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  consoleText += text;
  return true;
}

bool FakePlatform::FreeConsole() { return std::exchange(consoleAttached, false); }

bool FakePlatform::CreateProcessW(const wchar_t* applicationName, wchar_t* commandLineBuffer, bool inheritHandles,
                                  std::uint32_t creationFlags, const wchar_t* currentDirectory,
                                  ProcessInformation& processInformation) {
  processes.push_back({commandLineBuffer, creationFlags, inheritHandles, applicationName != nullptr, consoleAttached,
                       currentDirectory != nullptr ? currentDirectory : L""});
  if (processStartError != 0) {
    lastError_ = processStartError;
    return false;
  }
  // An installer writes into the log its command line names (a quoted path ending in ".log").
  std::wstring piece;
  for (const wchar_t* c = commandLineBuffer;; ++c) {
    if (*c == L'"' || *c == L'\0') {
      if (childrenWriteLogs && piece.ends_with(L".log") && WStat(piece) == 0) {
        writtenFiles[piece] = "log";
      }
      piece.clear();
      if (*c == L'\0') {
        break;
      }
    } else {
      piece += *c;
    }
  }
  processInformation.process = NewHandle();
  processInformation.thread = NewHandle();
  // "SendMessage function": with HWND_BROADCAST the message goes to every top-level window, the
  // disabled and invisible ones included, and a message sent to another thread's window is delivered
  // only when that thread runs message retrieval code; the sender waits until then.
  if (childrenBroadcast && ownerWindowCreated != nullptr) {
    unansweredBroadcasts_.insert(processInformation.process);
  }
  kernelHandles_.insert(processInformation.process);
  kernelHandles_.insert(processInformation.thread);
  return true;
}

// "MsgWaitForMultipleObjects function": QS_SENDMESSAGE wakes the wait for a message another thread
// sent; without it the wait goes on while that thread waits for the answer.
std::uint32_t FakePlatform::MsgWaitForMultipleObjects(KernelHandle handle, std::uint32_t milliseconds,
                                                      std::uint32_t wakeMask) {
  waitTimeouts.push_back(milliseconds);
  if (waitResult != 0) {
    lastError_ = waitError;
    return waitResult;
  }
  if (unansweredBroadcasts_.count(handle) != 0) {
    if ((wakeMask & kQsSendMessage) != 0) {
      return kWaitObject0 + 1;
    }
    throw WaitNeverEnds{};
  }
  return kWaitObject0;
}

// "PeekMessageW function": the call delivers the pending messages sent to the thread's windows,
// whatever the filter and the flags.
bool FakePlatform::PeekMessageW(WindowHandle, std::uint32_t, std::uint32_t, std::uint32_t) {
  unansweredBroadcasts_.clear();
  return false;
}

bool FakePlatform::GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) {
  if (kernelHandles_.count(process) == 0) {
    return false;
  }
  if (exitCodes.empty()) {
    *exitCode = 0;
  } else {
    *exitCode = exitCodes.front();
    exitCodes.pop_front();
  }
  return true;
}

bool FakePlatform::OpenProcessToken(KernelHandle, std::uint32_t, KernelHandle* token) {
  if (!tokenOpens) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  *token = NewHandle();
  kernelHandles_.insert(*token);
  return true;
}

KernelHandle FakePlatform::CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
  if (flags != kTh32csSnapModule || processId != 0) {
    lastError_ = kErrorInvalidParameter;
    return nullptr;
  }
  if (snapshotBadLengths > 0) {
    --snapshotBadLengths;
    lastError_ = kErrorBadLength;
    return nullptr;
  }
  void* snapshot = NewHandle();
  kernelHandles_.insert(snapshot);
  moduleSnapshots_[snapshot] = 0;
  return snapshot;
}

bool FakePlatform::Module32FirstW(KernelHandle snapshot, ModuleEntry& entry) {
  auto found = moduleSnapshots_.find(snapshot);
  if (found == moduleSnapshots_.end()) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  found->second = 0;
  return Module32NextW(snapshot, entry);
}

bool FakePlatform::Module32NextW(KernelHandle snapshot, ModuleEntry& entry) {
  auto found = moduleSnapshots_.find(snapshot);
  if (found == moduleSnapshots_.end() || found->second >= processModules.size()) {
    lastError_ = found == moduleSnapshots_.end() ? kErrorInvalidHandle : kErrorNoMoreFiles;
    return false;
  }
  entry.exePath = processModules[found->second++];
  return true;
}

}  // namespace setup::testing
