#include "install/package_installer.h"

#include "base/messages.h"
#include "base/windows_version.h"
#include "install/installer_arguments.h"
#include "install/log_naming.h"
#include "install/logged_process.h"
#include "packages/package_identity.h"
#include "packages/package_search.h"
#include "platform/win32_constants.h"
#include "restart/restart.h"

namespace setup {

using namespace platform;

namespace {

// Windows Installer of 5.1 and 5.2 checks a source against the hash it cached of the original package, so
// the new package would be refused as the installed product's source while that file exists.
// Only a whole name is deleted: without a product code (a first installation) or without WINDIR the
// path would name "SourceHash" itself, or a file below the root of whatever drive is current.
void DeleteSourceHashFile(const std::wstring& productCode) {
  const std::wstring windowsDirectory = Os().WGetEnv(L"WINDIR").value_or(std::wstring());
  if (productCode.empty() || windowsDirectory.empty()) {
    return;
  }
  Os().DeleteFileW(windowsDirectory + L"\\installer\\SourceHash" + productCode);
}

std::wstring FileNameOf(const std::wstring& path) {
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool AsksForRestart(std::uint32_t exitCode) {
  return exitCode == kErrorSuccessRebootRequired || exitCode == kErrorSuccessRestartRequired ||
         exitCode == kErrorSuccessRebootInitiated;
}

}  // namespace

StepOutcome RunPackageInstaller(const RunConduct& conduct, std::wstring& logPath,
                                const std::wstring& installedProductCode, std::wstring installerArgs) {
  const PackageLookup& lookup = LookupOf(LookupKind::kInstallation);
  std::wstring packagePath;
  if (const platform::Status status =
          LookUpPackageFile(conduct, lookup.purpose, LookupMasks(LookupKind::kInstallation), packagePath)) {
    ShowMessage(conduct, box::kInstallError, lookup.notFoundMessage);
    return StepOutcome::Failed(status);
  }

  // The restart is left to the end of the run, where it is offered once for everything installed.
  installerArgs = L" REBOOT=R " + installerArgs;
  const std::wstring packageFileName = FileNameOf(packagePath);

  InstallerLog log;
  if (!CarriesLogOption(installerArgs)) {
    std::wstring logDirectory;
    if (const std::uint32_t status = ReadLogDirectory(conduct, logDirectory)) {
      return StepOutcome::Failed(status);
    }
    if (const std::uint32_t status = MakeInstallerLog(conduct, logDirectory, packageFileName, log)) {
      return StepOutcome::Failed(status);
    }
    logPath = log.path;
    installerArgs = L"/Lv! \"" + logPath + L"\"" + installerArgs;
  }

  wchar_t systemBuffer[kMaxPath] = {};
  if (Os().GetSystemDirectoryW(systemBuffer, kMaxPath - 1) == 0) {
    const std::uint32_t error = Os().GetLastError();
    ShowMessage(conduct, box::kInstallError, IDS_SYSTEM_DIRECTORY_UNREADABLE);
    RemoveEmptyLog(log, false);
    return StepOutcome::Failed(error);
  }
  systemBuffer[kMaxPath - 1] = L'\0';
  const std::wstring systemDirectory(systemBuffer);

  const std::wstring commandLine =
      L"\"" + systemDirectory + L"\\msiexec.exe\" /i \"" + packagePath + L"\" " + installerArgs;

  // The installed product may have been installed from a folder that no longer exists; pointing its
  // source list at the new package file lets a reinstallation or update find its source. On a first
  // installation there is no product and the calls fail harmlessly.
  Os().MsiSourceListClearAllW(installedProductCode.c_str(), nullptr, 0);
  Os().MsiSourceListSetInfoW(installedProductCode.c_str(), nullptr, kMsiInstallContextMachine, kMsiCodeProduct,
                             L"PackageName", packageFileName.c_str());
  if (IsExactWindowsVersion(2) || IsExactWindowsVersion(1)) {
    DeleteSourceHashFile(installedProductCode);
  }

  // Handed over to the installer: Wine's removes its log and makes it again, which a handle held
  // meanwhile turns into no log at all.
  log.file.reset();
  const ProcessResult result = RunLoggedProcess(conduct, commandLine);
  RemoveEmptyLog(log, result.started);
  const std::uint32_t exitCode = result.code;
  if (AsksForRestart(exitCode)) {
    // Without the marker the run merely ends without offering the restart; the installation itself
    // succeeded.
    const platform::Status marker = CreateRestartMarker();
    if (marker == 0) {
      conduct.Log({L"restart marker created"});
    } else {
      conduct.Log({L"restart marker not created, error ", FormatUnsigned(marker)});
    }
    return StepOutcome::RestartNeeded(exitCode);
  }
  return exitCode == 0 ? StepOutcome::Done() : StepOutcome::Failed(exitCode);
}

}  // namespace setup
