#include "bootstrap/flow.h"

#include "base/console.h"
#include "base/messages.h"
#include "base/window_station.h"
#include "base/windows_version.h"
#include "bootstrap/folder_security.h"
#include "bootstrap/options.h"
#include "bootstrap/run_record.h"
#include "install/plugin_install.h"
#include "install/provider_install.h"
#include "packages/package_identity.h"
#include "packages/package_search.h"
#include "platform/handles.h"
#include "platform/system_library.h"
#include "platform/win32_constants.h"
#include "restart/restart.h"
#include "ui/config_dialog.h"

namespace setup {

using namespace platform;

namespace {

// Windows 2000's shell32 exports IsUserAnAdmin by this ordinal only; later releases keep it.
constexpr std::uint16_t kIsUserAnAdminOrdinal = 680;

// The texts that name what was requested: the plug-in alone, or with CSP, UCSP or both.
struct ProductTexts {
  std::uint16_t confirmation;
  std::uint16_t restartQuestion;
  std::uint16_t completion;
};

ProductTexts TextsFor(const BootstrapOptions& options) {
  if (options.uninstall) {
    return {IDS_CONFIRM_REMOVAL, IDS_RESTART_REMOVAL, IDS_DONE_REMOVAL};
  }
  if (options.installCsp && options.installUcsp) {
    return {IDS_CONFIRM_BOTH, IDS_RESTART_BOTH, IDS_DONE_BOTH};
  }
  if (options.installCsp) {
    return {IDS_CONFIRM_CSP, IDS_RESTART_CSP, IDS_DONE_CSP};
  }
  if (options.installUcsp) {
    return {IDS_CONFIRM_UCSP, IDS_RESTART_UCSP, IDS_DONE_UCSP};
  }
  return {IDS_CONFIRM_PLUGIN, IDS_RESTART_PLUGIN, IDS_DONE_PLUGIN};
}

bool IsUserAnAdmin(const Platform& os) {
  platform::UniqueModule shell32(os.modules, platform::LoadSystemLibrary(os.modules, os.system, L"shell32.dll"));
  platform::ProcAddress isUserAnAdmin =
      shell32 ? os.modules.GetProcAddress(shell32.get(), platform::OrdinalName(kIsUserAnAdminOrdinal)) : nullptr;
  return isUserAnAdmin != nullptr && os.modules.CallIsUserAnAdmin(isUserAnAdmin);
}

// -quiet is -silent and -norestart besides what it adds. A run outside the interactive window station
// (an agent as SYSTEM, a service, a scheduled task) is silent as well, whatever its options say: a box
// there waits for a click nobody can give, until the agent's time-out.
// Every behaviour a step reads is decided here, once, from the options.
RunConduct ConductOf(const Platform& os, const BootstrapOptions& options) {
  const bool quiet = options.quiet != 0;
  RunConduct conduct;
  conduct.agentExitCodes = quiet;
  conduct.installersWithoutInterface = quiet;
  conduct.warningsToConsole = quiet;
  conduct.unseen = !IsInteractiveWindowStation(os.windows);
  conduct.windowless = quiet || conduct.unseen;
  conduct.silent = options.silent != 0 || conduct.windowless;
  conduct.noRestart = options.noRestart != 0 || quiet;
  conduct.windows = &os.windows;
  conduct.modules = &os.modules;
  return conduct;
}

// The usage text is shown even to a silent run, which asked for it or got its command line wrong. A
// windowless run shows no box that nobody may be there to close: it prints the text for a help request
// where a console can show it, and ends an invalid command line with msiexec's code for one.
std::uint32_t EndWithUsage(const Platform& os, const RunConduct& conduct, const ParsedCommandLine& parsed) {
  const bool help = parsed.usage == ParsedCommandLine::Usage::kHelp;
  if (help) {
    conduct.Log({L"help asked for"});
  } else {
    conduct.Log({L"command line not accepted at \"", parsed.refused, L"\""});
  }
  if (!conduct.windowless) {
    ShowBox(conduct, box::kUsage, parsed.usageText);
    return 0;
  }
  if (help) {
    PrintLine(os, parsed.usageText.substr(0, parsed.usageText.find_last_not_of(L'\n') + 1));
    return 0;
  }
  PrintLine(os,
            L"Setup.exe: the command line is not accepted at \"" + parsed.refused + L"\"; -help lists the options.");
  return kErrorInvalidCommandLine;
}

// CSP, then UCSP. The first failure ends the run; a restart either needs is passed on.
StepOutcome InstallProviders(const Platform& os, const RunConduct& conduct, const BootstrapOptions& options) {
  StepOutcome csp = StepOutcome::Done();
  if (options.installCsp) {
    csp = InstallProvider(os, conduct, options.reinstall, L"csp", options.cspArgs);
    if (csp.EndsRun()) {
      return csp;
    }
  }
  if (options.installUcsp) {
    if (StepOutcome ucsp = InstallProvider(os, conduct, options.reinstall, L"ucsp", options.ucspArgs);
        ucsp.kind != StepOutcome::Kind::kDone) {
      return ucsp;
    }
  }
  return csp;
}

void ReportPluginFailure(const Platform& os, const RunConduct& conduct, std::uint16_t textId, std::uint32_t result,
                         const std::wstring& logPath) {
  if (result == kErrorInstallUserExit) {
    return;
  }
  ShowBox(conduct, box::kFlowError, FormatInstallFailure(os, textId, result, logPath));
}

// A restart the installer asked for is offered (or, silently, made) once; with -norestart the
// marker stays for a later run. A quiet run leaves the restart, and the marker, to whoever started
// it, and says so with msiexec's code for it. A marker from before the last start of Windows asks for
// a restart that has happened since: an agent is not told of it run after run, and nobody is offered,
// or made to have, a forced restart for it. Where the release cannot tell when it started, every
// marker still counts. The marker is read once, and the log records that reading.
std::uint32_t FinishSuccessfulRun(const Platform& os, const RunConduct& conduct, const ProductTexts& texts,
                                  bool restartNeeded) {
  const MarkerAge marker = ReadMarkerAge(os);
  conduct.Log({MarkerText(marker)});
  if (conduct.agentExitCodes) {
    return restartNeeded || IsRestartPending(marker) ? kErrorSuccessRebootRequired : 0;
  }
  if (marker == MarkerAge::kAbsent || conduct.noRestart) {
    ShowMessage(conduct, box::kFlowInformation, texts.completion);
    return 0;
  }
  DeleteRestartMarker(os);
  if (marker == MarkerAge::kBeforeStart && !restartNeeded) {
    conduct.Log({L"restart marker deleted: Windows has restarted since it was written"});
    ShowMessage(conduct, box::kFlowInformation, texts.completion);
    return 0;
  }
  conduct.Log({L"restart marker deleted before the restart"});
  if (ShowMessage(conduct, box::kFlowRestartQuestion, texts.restartQuestion) != kIdYes) {
    return 0;
  }
  if (RestartSystem(os)) {
    conduct.Log({L"restart started"});
    return 0;
  }
  conduct.Log({L"restart could not be started"});
  ShowMessage(conduct, box::kFlowInformation, IDS_RESTART_FAILED);
  return kExitRestartFailed;
}

// The configuration dialog appends its choices to the options; cancelling it ends the run.
bool RunConfigDialog(const Platform& os, platform::InstanceHandle instance, const RunConduct& conduct,
                     BootstrapOptions& options) {
  const ConfigDialogParameter parameter{&options, &os};
  if (os.windows.DialogBoxParamW(instance, IDD_CONFIG, nullptr, ConfigDialogProc,
                                 reinterpret_cast<std::intptr_t>(&parameter)) == kIdCancel) {
    conduct.Log({L"configuration dialog cancelled"});
    return false;
  }
  conduct.Log({L"configuration dialog: KC \"", options.kcMask, L"\", Lang \"", options.langMask, L"\""});
  return true;
}

// The providers stay: they are removed with their own setups. markerRecorded as for an installation.
std::uint32_t RunRemoval(const Platform& os, const RunConduct& conduct, const BootstrapOptions& options,
                         ProductTexts texts, bool& markerRecorded) {
  WarnOfWritableFolder(os, conduct);
  os.installer.MsiSetInternalUI(kInstallUiLevelNone, nullptr);
  std::wstring logPath;
  bool installed = true;
  const StepOutcome removal = RemovePluginPackage(os, conduct, options.cadesArgs, logPath, installed);
  if (removal.kind == StepOutcome::Kind::kFailed) {
    ReportPluginFailure(os, conduct, IDS_REMOVAL_FAILED, removal.code, logPath);
  }
  if (removal.EndsRun()) {
    return removal.code;
  }
  if (!installed) {
    texts.completion = IDS_NOT_INSTALLED;
  }
  markerRecorded = true;
  return FinishSuccessfulRun(os, conduct, texts, removal.kind == StepOutcome::Kind::kRestartNeeded);
}

// markerRecorded: whether the run's end has logged the marker it decided by.
std::uint32_t RunInstallation(const Platform& os, platform::InstanceHandle instance, const RunConduct& conduct,
                              BootstrapOptions& options, bool& markerRecorded) {
  if (!IsUserAnAdmin(os)) {
    conduct.Log({L"no administrator rights"});
    ShowMessage(conduct, box::kFlowError, IDS_NOT_ADMINISTRATOR);
    return kExitNotAdministrator;
  }
  if (std::uint32_t result = CheckWindowsVersion(os.system, conduct)) {
    conduct.Log({L"this Windows lacks the service pack the products need"});
    return result;
  }
  const ProductTexts texts = TextsFor(options);
  // A removal declined is a removal cancelled, in msiexec's terms; an installation declined has always
  // ended with 0.
  if (ShowMessage(conduct, box::kFlowQuestion, texts.confirmation) == kIdNo) {
    return options.uninstall ? kErrorInstallUserExit : 0;
  }
  if (options.uninstall) {
    return RunRemoval(os, conduct, options, texts, markerRecorded);
  }
  if (options.selectDlg && options.installCsp && !conduct.silent && !RunConfigDialog(os, instance, conduct, options)) {
    return 0;
  }
  WarnOfWritableFolder(os, conduct);
  // Only now: setting the level loads msi.dll and what it imports, which the question and the dialog
  // would otherwise wait for, and no Windows Installer call comes before it.
  os.installer.MsiSetInternalUI(kInstallUiLevelNone, nullptr);
  const StepOutcome providers = InstallProviders(os, conduct, options);
  if (providers.EndsRun()) {
    return providers.code;
  }

  std::wstring logPath;
  const StepOutcome plugin = InstallPluginPackage(os, conduct, options.reinstall, options.cadesArgs, logPath);
  if (plugin.kind == StepOutcome::Kind::kFailed) {
    ReportPluginFailure(os, conduct, IDS_PLUGIN_FAILED, plugin.code, logPath);
  }
  if (plugin.EndsRun()) {
    return plugin.code;
  }
  using Kind = StepOutcome::Kind;
  markerRecorded = true;
  return FinishSuccessfulRun(os, conduct, texts,
                             providers.kind == Kind::kRestartNeeded || plugin.kind == Kind::kRestartNeeded);
}

// A log made where a package lookup of this run looks could be taken for the package (msiexec handed
// the log, 1627, in every later run too), and one named after a file of the distribution would replace
// it.
void OpenRunLog(const Platform& os, RunLog& log, const std::wstring& path) {
  if (!path.empty() && ReachesDistribution(os, path, EveryLookupMask(os))) {
    log.Refuse(path, L"would lie where the package search looks, or replace a file of the distribution");
    return;
  }
  log.Open(path);
}

}  // namespace

std::uint32_t RunBootstrap(const Platform& os, platform::InstanceHandle instance, const std::wstring& commandTail) {
  BootstrapOptions options;
  ParsedCommandLine parsed;
  if (!commandTail.empty()) {
    parsed = ParseCommandLine(os, options);
  }
  RunLog log(os);
  if (options.logGiven) {
    OpenRunLog(os, log, options.logPath);
  }
  RunConduct conduct = ConductOf(os, options);
  conduct.log = &log;
  RecordStart(os, conduct, options);
  bool markerRecorded = false;
  const std::uint32_t exitCode = parsed.usage != ParsedCommandLine::Usage::kNone
                                     ? EndWithUsage(os, conduct, parsed)
                                     : RunInstallation(os, instance, conduct, options, markerRecorded);
  RecordEnd(os, conduct, exitCode, markerRecorded);
  return exitCode;
}

}  // namespace setup
