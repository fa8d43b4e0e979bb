#include "bootstrap/flow.h"

#include "base/messages.h"
#include "base/windows_version.h"
#include "bootstrap/options.h"
#include "install/plugin_install.h"
#include "install/provider_install.h"
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

bool IsUserAnAdmin() {
  platform::UniqueModule shell32(platform::LoadSystemLibrary(Os(), L"shell32.dll"));
  platform::ProcAddress isUserAnAdmin =
      shell32 ? Os().GetProcAddress(shell32.get(), platform::OrdinalName(kIsUserAnAdminOrdinal)) : nullptr;
  return isUserAnAdmin != nullptr && Os().CallIsUserAnAdmin(isUserAnAdmin);
}

std::uint32_t InstallProviders(const BootstrapOptions& options) {
  if (options.installCsp) {
    if (std::uint32_t result = InstallProvider(options.silent, options.reinstall, L"csp", options.cspArgs)) {
      return result;
    }
  }
  if (options.installUcsp) {
    return InstallProvider(options.silent, options.reinstall, L"ucsp", options.ucspArgs);
  }
  return 0;
}

void ReportPluginFailure(const BootstrapOptions& options, std::uint32_t result, const std::wstring& logPath) {
  if (result == kErrorInstallUserExit) {
    return;
  }
  ShowBox(box::kFlowError, FormatInstallFailure(IDS_PLUGIN_FAILED, result, logPath), options.silent);
}

// A restart the installer asked for is offered (or, silently, made) once; with -norestart the
// marker stays for a later run.
std::uint32_t FinishSuccessfulRun(const BootstrapOptions& options) {
  const ProductTexts texts = TextsFor(options);
  if (!TestRestartMarker() || options.noRestart) {
    ShowMessage(box::kFlowInformation, texts.completion, options.silent);
    return 0;
  }
  DeleteRestartMarker();
  if (ShowMessage(box::kFlowRestartQuestion, texts.restartQuestion, options.silent) != kIdYes) {
    return 0;
  }
  if (RestartSystem()) {
    return 0;
  }
  ShowMessage(box::kFlowInformation, IDS_RESTART_FAILED, options.silent);
  return kExitRestartFailed;
}

std::uint32_t RunInstallation(platform::InstanceHandle instance, BootstrapOptions& options) {
  if (!IsUserAnAdmin()) {
    ShowMessage(box::kFlowError, IDS_NOT_ADMINISTRATOR, options.silent);
    return kExitNotAdministrator;
  }
  if (std::uint32_t result = CheckWindowsVersion(options.silent)) {
    return result;
  }
  Os().MsiSetInternalUI(kInstallUiLevelNone, nullptr);

  if (ShowMessage(box::kFlowQuestion, TextsFor(options).confirmation, options.silent) == kIdNo) {
    return 0;
  }
  if (options.selectDlg && options.installCsp && !options.silent) {
    Os().DialogBoxParamW(instance, IDD_CONFIG, nullptr, ConfigDialogProc, 0);
  }
  if (std::uint32_t result = InstallProviders(options)) {
    return result;
  }

  std::wstring logPath;
  if (std::uint32_t result = InstallPluginPackage(options.silent, options.reinstall, options.cadesArgs, logPath)) {
    ReportPluginFailure(options, result, logPath);
    return result;
  }
  return FinishSuccessfulRun(options);
}

}  // namespace

std::uint32_t RunBootstrap(platform::InstanceHandle instance, const std::wstring& commandTail) {
  CreateOwnerWindow(instance);
  BootstrapOptions& options = RunOptions();
  if (!commandTail.empty()) {
    ParseCommandLine(options);
  }
  return RunInstallation(instance, options);
}

}  // namespace setup
