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
void DeleteSourceHashFile(const Platform& os, const std::wstring& productCode) {
  const std::wstring windowsDirectory = os.system.WGetEnv(L"WINDIR").value_or(std::wstring());
  if (productCode.empty() || windowsDirectory.empty()) {
    return;
  }
  os.files.DeleteFileW(windowsDirectory + L"\\installer\\SourceHash" + productCode);
}

std::wstring FileNameOf(const std::wstring& path) {
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool AsksForRestart(std::uint32_t exitCode) {
  return exitCode == kErrorSuccessRebootRequired || exitCode == kErrorSuccessRestartRequired ||
         exitCode == kErrorSuccessRebootInitiated;
}

// The one line that says which version a run of msiexec puts in place or takes away, and what it
// replaces, on every path: a support call starts from it.
std::wstring DescribeChange(bool removal, const std::wstring& version, const std::wstring& replaced) {
  const std::wstring shown = version.empty() ? L"a version that cannot be read" : version;
  if (removal) {
    return L"removing " + shown;
  }
  return L"installing " + shown + (replaced.empty() ? L" (first installation)" : L" (replacing " + replaced + L")");
}

// The common tail of an installation and a removal: the log, msiexec from the system directory, and the
// restart it asks for. beforeStart runs once nothing can fail any more before msiexec starts.
template <typename BeforeStart>
StepOutcome RunMsiexec(const Platform& os, const RunConduct& conduct, std::wstring& logPath,
                       const std::wstring& logPrefix, const std::wstring& target, std::wstring installerArgs,
                       const std::wstring& change, BeforeStart beforeStart) {
  // The restart is left to the end of the run, where it is offered once for everything installed.
  installerArgs = L" REBOOT=R " + installerArgs;

  InstallerLog log;
  if (!CarriesLogOption(installerArgs)) {
    std::wstring logDirectory;
    if (const std::uint32_t status = ReadLogDirectory(os.system, conduct, logDirectory)) {
      return StepOutcome::Failed(status);
    }
    if (const std::uint32_t status = MakeInstallerLog(os, conduct, logDirectory, logPrefix, log)) {
      return StepOutcome::Failed(status);
    }
    logPath = log.path;
    installerArgs = L"/Lv! \"" + logPath + L"\"" + installerArgs;
  }

  wchar_t systemBuffer[kMaxPath] = {};
  if (os.system.GetSystemDirectoryW(systemBuffer, kMaxPath - 1) == 0) {
    const std::uint32_t error = os.system.GetLastError();
    ShowMessage(conduct, box::kInstallError, IDS_SYSTEM_DIRECTORY_UNREADABLE);
    RemoveEmptyLog(os.files, log, false);
    return StepOutcome::Failed(error);
  }
  systemBuffer[kMaxPath - 1] = L'\0';
  const std::wstring systemDirectory(systemBuffer);

  const std::wstring commandLine = L"\"" + systemDirectory + L"\\msiexec.exe\" " + target + L" " + installerArgs;
  beforeStart();
  conduct.Log({change});

  // Handed over to the installer: Wine's removes its log and makes it again, which a handle held
  // meanwhile turns into no log at all.
  log.file.reset();
  const ProcessResult result = RunLoggedProcess(os, conduct, commandLine);
  RemoveEmptyLog(os.files, log, result.started);
  const std::uint32_t exitCode = result.code;
  if (AsksForRestart(exitCode)) {
    RecordRestartMarker(os, conduct);
    return StepOutcome::RestartNeeded(exitCode);
  }
  return exitCode == 0 ? StepOutcome::Done() : StepOutcome::Failed(exitCode);
}

}  // namespace

StepOutcome RunPackageInstaller(const Platform& os, const RunConduct& conduct, std::wstring& logPath,
                                PackageReads& packages, const std::wstring& installedProductCode,
                                const std::wstring& replacedVersion, std::wstring installerArgs) {
  const PackageLookup& lookup = LookupOf(LookupKind::kInstallation);
  std::wstring packagePath;
  if (const platform::Status status =
          LookUpPackageFile(os, conduct, lookup.purpose, LookupMasks(os, LookupKind::kInstallation), packagePath)) {
    ShowMessage(conduct, box::kInstallError, lookup.notFoundMessage);
    return StepOutcome::Failed(status);
  }
  const std::wstring packageFileName = FileNameOf(packagePath);
  // Usually the file the product codes came from, whose properties are already read.
  std::wstring packageVersion;
  ReadPackageProperty(packages, conduct, packagePath, L"ProductVersion", packageVersion);

  // The installed product may have been installed from a folder that no longer exists; pointing its
  // source list at the new package file lets a reinstallation or update find its source. On a first
  // installation there is no product and the calls fail harmlessly.
  const auto repairSourceList = [&] {
    os.installer.MsiSourceListClearAllW(installedProductCode.c_str(), nullptr, 0);
    os.installer.MsiSourceListSetInfoW(installedProductCode.c_str(), nullptr, kMsiInstallContextMachine,
                                       kMsiCodeProduct, L"PackageName", packageFileName.c_str());
    if (IsExactWindowsVersion(os.system, 2) || IsExactWindowsVersion(os.system, 1)) {
      DeleteSourceHashFile(os, installedProductCode);
    }
  };
  return RunMsiexec(os, conduct, logPath, packageFileName, L"/i \"" + packagePath + L"\"", std::move(installerArgs),
                    DescribeChange(false, packageVersion, replacedVersion), repairSourceList);
}

// Named after the product it removes: no package file of the folder is involved.
StepOutcome RunProductRemoval(const Platform& os, const RunConduct& conduct, std::wstring& logPath,
                              const std::wstring& productCode, const std::wstring& version,
                              std::wstring installerArgs) {
  return RunMsiexec(os, conduct, logPath, productCode, L"/x " + productCode, std::move(installerArgs),
                    DescribeChange(true, version, L""), [] {});
}

}  // namespace setup
