// The process, the processes it starts, its modules snapshot, its token and its console.
#pragma once

#include "platform/types.h"

namespace setup::platform {

class Processes {
 public:
  virtual ~Processes() = default;

  virtual std::wstring GetCommandLineW() = 0;
  // CommandLineToArgvW followed by LocalFree; nullopt when the line cannot be split.
  virtual std::optional<std::vector<std::wstring>> CommandLineToArgvW(const std::wstring& commandLine) = 0;
  // The error the last failed call of this interface left (on Windows, the thread's).
  virtual std::uint32_t GetLastError() = 0;
  virtual KernelHandle GetCurrentProcess() = 0;
  // currentDirectory null: the child inherits the program's.
  virtual bool CreateProcessW(const wchar_t* applicationName, wchar_t* commandLine, bool inheritHandles,
                              std::uint32_t creationFlags, const wchar_t* currentDirectory,
                              ProcessInformation& processInformation) = 0;
  // MsgWaitForMultipleObjects(1, &handle, FALSE, milliseconds, wakeMask); where user32 cannot be loaded,
  // and so the thread can own no window, WaitForSingleObject(handle, milliseconds).
  virtual std::uint32_t MsgWaitForMultipleObjects(KernelHandle handle, std::uint32_t milliseconds,
                                                  std::uint32_t wakeMask) = 0;
  // PeekMessageW(&message, window, filterMin, filterMax, removeFlags): the message itself is not handed
  // back, so it serves only to deliver the messages sent to the thread's windows (PM_NOREMOVE).
  virtual bool PeekMessageW(WindowHandle window, std::uint32_t filterMin, std::uint32_t filterMax,
                            std::uint32_t removeFlags) = 0;
  virtual bool GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) = 0;
  // Closes a process, thread, token or snapshot handle this interface opened.
  virtual bool CloseHandle(KernelHandle handle) = 0;
  // WriteFile of the text to standard output, in the OEM code page that cmd's redirections and its
  // type command use.
  virtual void WriteStandardOutput(const std::wstring& text) = 0;
  // Whether GetStdHandle(STD_OUTPUT_HANDLE) named a handle when the process started.
  virtual bool HasStandardOutput() = 0;
  // AttachConsole, looked up at run time: false where it is missing (Windows 2000).
  virtual bool AttachConsole(std::uint32_t processId) = 0;
  // WriteConsoleW(console, text, its length, &written, NULL).
  virtual bool WriteConsoleW(KernelHandle console, const std::wstring& text) = 0;
  virtual bool FreeConsole() = 0;
  virtual bool OpenProcessToken(KernelHandle process, std::uint32_t desiredAccess, KernelHandle* token) = 0;
  // CreateToolhelp32Snapshot, looked up at run time; null where it fails or is missing.
  virtual KernelHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) = 0;
  virtual bool Module32FirstW(KernelHandle snapshot, ModuleEntry& entry) = 0;
  virtual bool Module32NextW(KernelHandle snapshot, ModuleEntry& entry) = 0;
};

}  // namespace setup::platform
