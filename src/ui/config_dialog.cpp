#include "ui/config_dialog.h"

#include <string>

#include "base/bootstrap_options.h"
#include "base/messages.h"
#include "platform/platform.h"
#include "platform/win32_constants.h"

namespace setup {
namespace {

using namespace platform;

// The panel controls lie between these ids: the language and level choices and their frames, the
// tagline frame and the welcome text.
constexpr int kFirstPanelControl = IDC_RUSSIAN;
constexpr int kLastPanelControl = IDC_WELCOME;

struct Choice {
  int button;
  std::wstring BootstrapOptions::*mask;
  const wchar_t* fragment;
};

constexpr Choice kChoices[] = {
    {IDC_KC1, &BootstrapOptions::kcMask, L"kc1*"},       {IDC_KC2, &BootstrapOptions::kcMask, L"kc2*"},
    {IDC_KC3, &BootstrapOptions::kcMask, L"kc3*"},       {IDC_RUSSIAN, &BootstrapOptions::langMask, L"rus*"},
    {IDC_ENGLISH, &BootstrapOptions::langMask, L"eng*"},
};

// The parameter comes with WM_INITDIALOG and stays with the dialog window.
const ConfigDialogParameter& ParameterOf(UserWindows& windows, WindowHandle dialog) {
  return *reinterpret_cast<const ConfigDialogParameter*>(windows.GetWindowLongPointer(dialog, kDwlpUser));
}

std::intptr_t InitializeDialog(UserWindows& windows, WindowHandle dialog, std::intptr_t parameter) {
  windows.SetWindowLongPointer(dialog, kDwlpUser, parameter);
  const Platform& os = *ParameterOf(windows, dialog).os;
  platform::IconHandle icon =
      windows.LoadImageW(os.modules.GetModuleHandleW(nullptr), IDI_SETUP, kImageIcon, 32, 32, kLrDefaultColor);
  windows.SendMessageW(dialog, kWmSetIcon, kIconBig, reinterpret_cast<std::intptr_t>(icon));
  const bool russian = os.system.GetSystemDefaultUILanguage() == kLangRussian;
  windows.CheckDlgButton(dialog, russian ? IDC_RUSSIAN : IDC_ENGLISH, kBstChecked);
  windows.CheckDlgButton(dialog, IDC_KC1, kBstChecked);
  return 1;
}

// The choices are appended: a value given with -KC or -Lang stays in front.
std::intptr_t RecordChoices(UserWindows& windows, WindowHandle dialog) {
  BootstrapOptions& options = *ParameterOf(windows, dialog).options;
  for (const Choice& choice : kChoices) {
    if (windows.IsDlgButtonChecked(dialog, choice.button) == kBstChecked) {
      options.*choice.mask += choice.fragment;
    }
  }
  windows.EndDialog(dialog, kIdOk);
  return 1;
}

void ShowPanel(UserWindows& windows, WindowHandle dialog, bool options) {
  for (int id = kFirstPanelControl; id <= kLastPanelControl; ++id) {
    const bool welcomeControl = id == IDC_TAGLINE || id == IDC_WELCOME;
    windows.ShowWindow(windows.GetDlgItem(dialog, id), welcomeControl != options ? kSwShow : kSwHide);
  }
}

// The toggle button's own text says which panel is showing.
std::intptr_t TogglePanel(UserWindows& windows, WindowHandle dialog) {
  Modules& modules = ParameterOf(windows, dialog).os->modules;
  wchar_t current[10] = {};
  windows.GetDlgItemTextW(dialog, IDC_TOGGLE, current, 10);
  std::wstring optionsLabel;
  LoadMessage(modules, IDS_OPTIONS_PANEL, optionsLabel);
  const bool openOptions = optionsLabel == current;
  ShowPanel(windows, dialog, openOptions);
  std::wstring label;
  LoadMessage(modules, openOptions ? IDS_HIDE_PANEL : IDS_OPTIONS_PANEL, label);
  windows.SetDlgItemTextW(dialog, IDC_TOGGLE, label.c_str());
  return 0;
}

std::intptr_t HandleCommand(UserWindows& windows, WindowHandle dialog, int controlId) {
  switch (controlId) {
    case kIdCancel:
      // The run ends there, with nothing recorded: the start-up flow reads the dialog's result.
      windows.EndDialog(dialog, kIdCancel);
      return 0;
    case IDC_NEXT:
      return RecordChoices(windows, dialog);
    case IDC_TOGGLE:
      return TogglePanel(windows, dialog);
    default:
      return 0;
  }
}

}  // namespace

std::intptr_t ConfigDialogProc(UserWindows& windows, WindowHandle dialog, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) {
  switch (message) {
    case kWmInitDialog:
      return InitializeDialog(windows, dialog, lParam);
    case kWmCommand:
      return HandleCommand(windows, dialog, static_cast<int>(wParam & 0xFFFF));
    default:
      return 0;
  }
}

}  // namespace setup
