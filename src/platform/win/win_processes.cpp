// The Windows layer: processes, the console and the token.
#include "platform/win/win_shared.h"

namespace setup::platform {

using namespace win;

namespace {

bool ReadModuleEntry(const char* name, KernelHandle snapshot, ModuleEntry& entry) {
  auto read = Kernel32Function<fn::Module32FirstW>(name);
  MODULEENTRY32W module{};
  module.dwSize = sizeof(module);
  if (read == nullptr || !read(snapshot, &module)) {
    return false;
  }
  entry.exePath = module.szExePath;
  return true;
}

}  // namespace

std::wstring WinProcesses::GetCommandLineW() { return ::GetCommandLineW(); }

std::optional<std::vector<std::wstring>> WinProcesses::CommandLineToArgvW(const std::wstring& commandLine) {
  int count = 0;
  LPWSTR* arguments = CallSystem<fn::CommandLineToArgvW>(Shell32(), "CommandLineToArgvW", static_cast<LPWSTR*>(nullptr),
                                                         commandLine.c_str(), &count);
  if (arguments == nullptr) {
    return std::nullopt;
  }
  std::vector<std::wstring> result(arguments, arguments + count);
  ::LocalFree(arguments);
  return result;
}

std::uint32_t WinProcesses::GetLastError() { return ::GetLastError(); }

KernelHandle WinProcesses::GetCurrentProcess() { return ::GetCurrentProcess(); }

// Not _putws: it converts through the runtime's "C" locale, which stops at the first character beyond
// ASCII (every line of the Russian usage text).
void WinProcesses::WriteStandardOutput(const std::wstring& text) {
  const int size =
      ::WideCharToMultiByte(CP_OEMCP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(CP_OEMCP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool WinProcesses::HasStandardOutput() {
  // Asked once: attaching to a console may fill in the standard handles, which the runtime's stdout,
  // set up at start, would still not use.
  static const bool ownOutput = [] {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    return out != nullptr && out != INVALID_HANDLE_VALUE;
  }();
  return ownOutput;
}

bool WinProcesses::AttachConsole(std::uint32_t processId) {
  auto attach = Kernel32Function<fn::AttachConsole>("AttachConsole");
  return attach != nullptr && attach(processId) != FALSE;
}

bool WinProcesses::WriteConsoleW(KernelHandle console, const std::wstring& text) {
  DWORD written = 0;
  return ::WriteConsoleW(console, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
}

bool WinProcesses::FreeConsole() { return ::FreeConsole() != FALSE; }

bool WinProcesses::CreateProcessW(const wchar_t* applicationName, wchar_t* commandLine, bool inheritHandles,
                                  std::uint32_t creationFlags, const wchar_t* currentDirectory,
                                  ProcessInformation& processInformation) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(applicationName, commandLine, nullptr, nullptr, inheritHandles ? TRUE : FALSE, creationFlags,
                        nullptr, currentDirectory, &startup, &started)) {
    return false;
  }
  processInformation.process = started.hProcess;
  processInformation.thread = started.hThread;
  processInformation.processId = started.dwProcessId;
  processInformation.threadId = started.dwThreadId;
  return true;
}

std::uint32_t WinProcesses::MsgWaitForMultipleObjects(KernelHandle handle, std::uint32_t milliseconds,
                                                      std::uint32_t wakeMask) {
  auto msgWait = User32().Function<fn::MsgWaitForMultipleObjects>("MsgWaitForMultipleObjects");
  return msgWait != nullptr ? msgWait(1, &handle, FALSE, milliseconds, wakeMask)
                            : ::WaitForSingleObject(handle, milliseconds);
}

bool WinProcesses::PeekMessageW(WindowHandle window, std::uint32_t filterMin, std::uint32_t filterMax,
                                std::uint32_t removeFlags) {
  MSG message{};
  return CallSystem<fn::PeekMessageW>(User32(), "PeekMessageW", FALSE, &message, Hwnd(window),
                                      static_cast<UINT>(filterMin), static_cast<UINT>(filterMax),
                                      static_cast<UINT>(removeFlags)) != FALSE;
}

bool WinProcesses::GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) {
    return false;
  }
  *exitCode = code;
  return true;
}

bool WinProcesses::CloseHandle(KernelHandle handle) { return ::CloseHandle(handle) != FALSE; }

bool WinProcesses::OpenProcessToken(KernelHandle process, std::uint32_t desiredAccess, KernelHandle* token) {
  HANDLE opened = nullptr;
  const BOOL succeeded = ::OpenProcessToken(process, desiredAccess, &opened);
  *token = opened;
  return succeeded != FALSE;
}

KernelHandle WinProcesses::CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
  auto snapshot = Kernel32Function<fn::CreateToolhelp32Snapshot>("CreateToolhelp32Snapshot");
  if (snapshot == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  HANDLE made = snapshot(flags, processId);
  return made != INVALID_HANDLE_VALUE ? made : nullptr;
}

bool WinProcesses::Module32FirstW(KernelHandle snapshot, ModuleEntry& entry) {
  return ReadModuleEntry("Module32FirstW", snapshot, entry);
}

bool WinProcesses::Module32NextW(KernelHandle snapshot, ModuleEntry& entry) {
  return ReadModuleEntry("Module32NextW", snapshot, entry);
}

}  // namespace setup::platform
