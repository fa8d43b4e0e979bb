#include "bootstrap/run_record.h"

#include "base/messages.h"
#include "packages/package_identity.h"
#include "packages/package_lookups.h"
#include "platform/platform.h"
#include "restart/restart.h"

namespace setup {

using namespace platform;

namespace {

std::wstring OptionsText(const BootstrapOptions& options) {
  std::wstring text = L"options:";
  for (const auto& [flag, name] : {std::pair{options.silent, L" -silent"},
                                   {options.quiet, L" -quiet"},
                                   {options.noRestart, L" -norestart"},
                                   {options.reinstall, L" -reinstall"},
                                   {options.uninstall, L" -uninstall"},
                                   {options.installCsp, L" -csp"},
                                   {options.installUcsp, L" -ucsp"},
                                   {options.selectDlg, L" -selectDlg"}}) {
    if (flag != 0) {
      text += name;
    }
  }
  for (const auto& [value, name] : {std::pair{&options.cadesArgs, L" CadesArgs \""},
                                    {&options.cspArgs, L" CSPArgs \""},
                                    {&options.ucspArgs, L" UCSPArgs \""},
                                    {&options.kcMask, L" KC \""},
                                    {&options.langMask, L" Lang \""}}) {
    if (!value->empty()) {
      text += name + *value + L"\"";
    }
  }
  return text;
}

std::wstring SystemText(const Platform& os) {
  OsVersion version;
  std::wstring text = L"Windows ";
  if (os.system.GetVersionExW(version)) {
    text += FormatUnsigned(version.majorVersion) + L"." + FormatUnsigned(version.minorVersion) + L"." +
            FormatUnsigned(version.buildNumber) + L" Service Pack " + FormatUnsigned(version.servicePackMajor);
  } else {
    text += L"(version unknown)";
  }
  text += ArchMask(os) == ArchMaskOf(true) ? L", 64-bit" : L", 32-bit";
  return text + L", user interface language " + FormatUnsigned(os.system.GetSystemDefaultUILanguage());
}

const wchar_t* MarkerAgeText(MarkerAge age) {
  switch (age) {
    case MarkerAge::kAbsent:
      return L"absent";
    case MarkerAge::kSinceStart:
      return L"present, written since Windows started";
    case MarkerAge::kBeforeStart:
      return L"present, written before Windows last started (a restart has happened since)";
    case MarkerAge::kUnknown:
      break;
  }
  return L"present (when Windows started is not known)";
}

}  // namespace

std::wstring MarkerText(MarkerAge age) {
  return std::wstring(L"restart marker HKCU\\Software\\NeedBstrReboot: ") + MarkerAgeText(age);
}

void RecordStart(const Platform& os, const RunConduct& conduct, const BootstrapOptions& options) {
  if (conduct.log == nullptr || !conduct.log->IsOpen()) {
    return;
  }
  conduct.Log({L"command line: ", os.processes.GetCommandLineW()});
  conduct.Log({OptionsText(options)});
  conduct.Log({SystemText(os)});
  if (conduct.unseen && options.quiet == 0) {
    conduct.Log({L"not in the interactive window station: no box is shown, as with -silent"});
  }
  conduct.Log({MarkerText(ReadMarkerAge(os))});
}

void RecordEnd(const Platform& os, const RunConduct& conduct, std::uint32_t exitCode, bool markerRecorded) {
  if (conduct.log == nullptr || !conduct.log->IsOpen()) {
    return;
  }
  if (!markerRecorded) {
    conduct.Log({MarkerText(ReadMarkerAge(os))});
  }
  conduct.Log({L"exit code ", FormatUnsigned(exitCode)});
}

}  // namespace setup
