#include "install/provider_install.h"

#include "base/messages.h"
#include "install/installer_arguments.h"
#include "install/log_naming.h"
#include "install/logged_process.h"
#include "packages/package_search.h"
#include "platform/win32_constants.h"
#include "restart/restart.h"

namespace setup {

using namespace platform;

namespace {

// The nested setup reports these as a finished installation: 3 and 4 are its own "done" codes, and
// 1602 is a user who cancelled it (the run goes on with what is there).
bool IsProviderSuccess(std::uint32_t exitCode) {
  return exitCode == 0 || exitCode == 3 || exitCode == 4 || exitCode == kErrorInstallUserExit;
}

// msiexec's "succeeded, restart needed" and "succeeded, restart started". An interactive or silent run
// keeps counting them as failures, as scripts know it to; a quiet run takes them as a chained package's
// success and passes the restart up to the agent.
bool NeedsRestart(std::uint32_t exitCode, const RunConduct& conduct) {
  return conduct.agentExitCodes &&
         (exitCode == kErrorSuccessRebootRequired || exitCode == kErrorSuccessRebootInitiated);
}

}  // namespace

StepOutcome InstallProvider(const Platform& os, const RunConduct& conduct, bool reinstall,
                            const std::wstring& providerName, std::wstring extraArgs) {
  // The nested setup is started from the program's own folder, whatever the current directory is,
  // and quoted, since that folder may contain blanks.
  std::wstring commandLine = L"\"" + ProgramDirectory(os.modules) + providerName + L"\\Setup.exe\" ";

  InstallerLog log;
  if (!CarriesLogOption(extraArgs)) {
    // Without a log directory the nested installer would get an empty log path: stop as the
    // plug-in step does.
    std::wstring logDirectory;
    if (std::uint32_t status = ReadLogDirectory(os.system, conduct, logDirectory)) {
      return StepOutcome::Failed(status);
    }
    if (std::uint32_t status = MakeInstallerLog(os, conduct, logDirectory, providerName, log)) {
      ShowBox(conduct, box::kProviderError, FormatInstallFailure(os, IDS_PROVIDER_FAILED, status, L""));
      return StepOutcome::Failed(status);
    }
    extraArgs = L"/Lv! \"\"\"" + log.path + L"\"\"\" " + extraArgs;
  }
  if (!CarriesQuietOption(os.processes, extraArgs, conduct)) {
    extraArgs = InterfaceLevel(conduct) + (L" " + extraArgs);
  }
  commandLine += L"-args \"" + extraArgs + L"\"";
  commandLine += L" -noreboot";
  commandLine += L" -root";
  if (conduct.silent) {
    commandLine += L" -silent";
  }
  if (reinstall) {
    commandLine += L" -reinstall";
  }

  // Their relative start only ever worked from the distribution's own folder.
  // Handed over to the installer: Wine's removes its log and makes it again, which a handle held
  // meanwhile turns into no log at all.
  log.file.reset();
  const ProcessResult result = RunLoggedProcess(os, conduct, commandLine, ProgramDirectory(os.modules));
  RemoveEmptyLog(os.files, log, result.started);
  // A nested setup that could not be started, or not waited for, has not finished, whatever its error
  // code looks like.
  if (result.ended && IsProviderSuccess(result.code)) {
    return StepOutcome::Done();
  }
  if (result.ended && NeedsRestart(result.code, conduct)) {
    // Windows is already going down: what comes next would be cut off half done, as Burn stops a chain
    // after a package that starts a restart. The restart itself answers the marker's question.
    if (result.code == kErrorSuccessRebootInitiated) {
      conduct.Log({providerName, L" has started a restart; the run ends before the plug-in"});
      return StepOutcome::Stopped(result.code);
    }
    // Recorded as the plug-in's restart is, so that a later quiet run before the restart reports it too.
    RecordRestartMarker(os, conduct);
    conduct.Log({providerName, L" needs a restart; the run goes on"});
    return StepOutcome::RestartNeeded(result.code);
  }
  ShowBox(conduct, box::kProviderError, FormatInstallFailure(os, IDS_PROVIDER_FAILED, result.code, log.path));
  return StepOutcome::Failed(result.code);
}

}  // namespace setup
