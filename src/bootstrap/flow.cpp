#include "bootstrap/flow.h"

#include "bootstrap/messages.h"
#include "bootstrap/options.h"
#include "bootstrap/windows_version.h"
#include "install/plugin_install.h"
#include "install/provider_install.h"
#include "platform/handles.h"
#include "platform/system_library.h"
#include "restart/restart.h"
#include "ui/config_dialog.h"

namespace setup {
namespace {

using platform::Os;

constexpr std::uint32_t kInstallUiLevelNone = 2;
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
    return {kMsgConfirmBoth, kMsgRestartBoth, kMsgDoneBoth};
  }
  if (options.installCsp) {
    return {kMsgConfirmCsp, kMsgRestartCsp, kMsgDoneCsp};
  }
  if (options.installUcsp) {
    return {kMsgConfirmUcsp, kMsgRestartUcsp, kMsgDoneUcsp};
  }
  return {kMsgConfirmPlugin, kMsgRestartPlugin, kMsgDonePlugin};
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
  ShowBox(box::kFlowError, FormatInstallFailure(kMsgPluginFailed, result, logPath), options.silent);
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
  ShowMessage(box::kFlowInformation, kMsgRestartFailed, options.silent);
  return kExitRestartFailed;
}

std::uint32_t RunInstallation(platform::InstanceHandle instance, BootstrapOptions& options) {
  if (!IsUserAnAdmin()) {
    ShowMessage(box::kFlowError, kMsgNotAdministrator, options.silent);
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
    Os().DialogBoxParamW(instance, kConfigDialogId, nullptr, ConfigDialogProc, 0);
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
