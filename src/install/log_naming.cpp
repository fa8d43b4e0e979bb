#include "install/log_naming.h"

#include <cwchar>
#include <vector>

#include "base/messages.h"
#include "platform/handles.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

constexpr std::size_t kTimeStampCapacity = 80;

// The screen buffer of a console the process joined is reached through CONOUT$, which the console
// opens only for both kinds of sharing ("CreateFile", Consoles): any other open fails with a sharing
// violation. Read access too, as that page prefers.
void WriteToConsole(const std::wstring& text) {
  platform::UniqueKernelHandle console(
      Os().CreateFileW(L"CONOUT$", (kGenericRead | kGenericWrite), (kFileShareRead | kFileShareWrite), kOpenExisting));
  if (console) {
    Os().WriteConsoleW(console.get(), text);
  }
}

// A GUI program started from a console window has no standard output of its own: it joins its
// parent's console for the one line and leaves it again at once. Ctrl+C, Ctrl+Break and the closing of
// the window reach every process attached to a console; staying attached would let them end the run
// in the middle of an installation while msiexec goes on alone.
void PrintLine(const std::wstring& text) {
  if (Os().HasStandardOutput()) {
    Os().PutWs(text);
  } else if (Os().AttachConsole(kAttachParentProcess)) {
    WriteToConsole(text + L"\r\n");
    Os().FreeConsole();
  }
}

}  // namespace

std::wstring MakeTimeStamp() {
  const std::tm local = Os().LocalTime();
  wchar_t buffer[kTimeStampCapacity] = {};
  const std::size_t length = std::wcsftime(buffer, kTimeStampCapacity, L"%Y-%m-%d-%H-%M-%S", &local);
  std::wstring stamp(buffer, length);
  // A console-attached run shows which log belongs to which moment.
  PrintLine(stamp);
  return stamp;
}

std::uint32_t MakeLogPath(bool silent, const std::wstring& prefix, std::wstring& logPath) {
  // An empty TMP reads as 0 characters without an error of its own, so the last error is cleared
  // first: otherwise it would still hold whatever an earlier call left (a failed file search, say).
  // An empty TMP fails as an unset one does rather than naming a log at the root of the drive.
  Os().SetLastError(0);
  const std::uint32_t size = Os().GetEnvironmentVariableW(L"TMP", nullptr, 0);
  const std::uint32_t error = size == 0 ? Os().GetLastError() : 0;
  // One extra, zeroed character keeps the buffer terminated even if the variable grows between the
  // two queries (the read then copies nothing and reports the larger size).
  std::vector<wchar_t> buffer(static_cast<std::size_t>(size) + 1, L'\0');
  if (size != 0) {
    Os().GetEnvironmentVariableW(L"TMP", buffer.data(), size);
  }
  const std::wstring directory(buffer.data());
  if (directory.empty()) {
    ShowMessage(box::kInstallError, IDS_ENVIRONMENT_UNREADABLE, silent);
    return error != 0 ? error : kErrorEnvvarNotFound;
  }
  logPath = directory + L"\\" + prefix + L"_" + MakeTimeStamp() + L".log";
  return 0;
}

}  // namespace setup
