#include "install/log_naming.h"

#include <ctime>
#include <cwchar>
#include <vector>

#include "base/console.h"
#include "base/fresh_file.h"
#include "base/messages.h"
#include "platform/handles.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

constexpr std::size_t kTimeStampCapacity = 80;

// Names are to the second, and a user may make every name of a day in advance in a folder all users
// write to (C:\Windows\Temp, SYSTEM's TMP), or another run may hold this second's: a few seconds
// later, one of the names is free.
constexpr int kStampTries = 5;

}  // namespace

std::wstring MakeTimeStamp(SystemFacts& system, int secondsLater) {
  std::tm local = system.LocalTime();
  if (secondsLater != 0) {
    local.tm_sec += secondsLater;
    local.tm_isdst = -1;
    std::mktime(&local);  // carries the seconds over into minutes, hours, days
  }
  wchar_t buffer[kTimeStampCapacity] = {};
  const std::size_t length = std::wcsftime(buffer, kTimeStampCapacity, L"%Y-%m-%d-%H-%M-%S", &local);
  return std::wstring(buffer, length);
}

std::uint32_t ReadLogDirectory(SystemFacts& system, const RunConduct& conduct, std::wstring& directory) {
  // An empty TMP reads as 0 characters without an error of its own, so the last error is cleared
  // first: otherwise it would still hold whatever an earlier call left (a failed file search, say).
  // An empty TMP fails as an unset one does rather than naming a log at the root of the drive.
  system.SetLastError(0);
  const std::uint32_t size = system.GetEnvironmentVariableW(L"TMP", nullptr, 0);
  const std::uint32_t error = size == 0 ? system.GetLastError() : 0;
  // One extra, zeroed character keeps the buffer terminated even if the variable grows between the
  // two queries (the read then copies nothing and reports the larger size).
  std::vector<wchar_t> buffer(static_cast<std::size_t>(size) + 1, L'\0');
  if (size != 0) {
    system.GetEnvironmentVariableW(L"TMP", buffer.data(), size);
  }
  const std::wstring value(buffer.data());
  // A double quote cannot stand in a path, and would end the quoted log path of a provider's -args.
  if (value.empty() || value.find(L'"') != std::wstring::npos) {
    ShowMessage(conduct, box::kInstallError, IDS_ENVIRONMENT_UNREADABLE);
    return error != 0 ? error : kErrorEnvvarNotFound;
  }
  directory = value;
  return 0;
}

std::uint32_t MakeInstallerLog(const Platform& os, const RunConduct& conduct, const std::wstring& directory,
                               const std::wstring& prefix, InstallerLog& log) {
  std::uint32_t error = 0;
  // First only names nobody has: another run started in the same second holds this second's log, and
  // its installer writes there. Then, should every name be taken (made in advance by another user),
  // over what stands at the name.
  for (const bool replace : {false, true}) {
    for (int second = 0; second < kStampTries; ++second) {
      const std::wstring stamp = MakeTimeStamp(os.system, second);
      const std::wstring path = directory + L"\\" + prefix + L"_" + stamp + L".log";
      FreshFile made = CreateFileAnew(os, path, kFileReadAttributes, kFileShareRead | kFileShareWrite, replace);
      if (made.handle) {
        // A console-attached run shows which log belongs to which moment.
        PrintLine(os, stamp);
        log.path = path;
        log.file = std::move(made.handle);
        return 0;
      }
      // A name whose file turned out to lead elsewhere is as taken as one that stays in the way.
      error = made.error != 0 ? made.error : kErrorFileExists;
      conduct.Log({L"installer log ", path, L" cannot be had: ",
                   made.refusal.empty() ? L"error " + FormatUnsigned(error) : made.refusal});
    }
  }
  return error;
}

void RemoveEmptyLog(Files& files, InstallerLog& log, bool installerStarted) {
  if (log.path.empty()) {
    return;
  }
  if (!installerStarted) {
    RemoveMadeFile(files, log.file, log.path);
    return;
  }
  platform::FindData found;
  platform::UniqueFind find(files, files.FindFirstFileW(log.path, found));
  if (find && found.size == 0) {
    files.DeleteFileW(log.path);
  }
}

}  // namespace setup
