#include "ui/config_dialog.h"

#include <string>

#include "bootstrap/messages.h"
#include "bootstrap/options.h"
#include "platform/platform.h"

namespace setup {
namespace {

using platform::Os;
using platform::WindowHandle;

constexpr std::uint32_t kWmInitDialog = 0x0110;
constexpr std::uint32_t kWmCommand = 0x0111;
constexpr std::uint32_t kWmSetIcon = 0x0080;
constexpr std::uintptr_t kIconBig = 1;
constexpr std::uint32_t kImageIcon = 1;
constexpr std::uint32_t kLrDefaultColor = 0;
constexpr std::uint32_t kBstChecked = 1;
constexpr int kSwHide = 0;
constexpr int kSwShow = 5;
constexpr std::uint16_t kLanguageRussian = 0x0419;

constexpr std::uint16_t kIconId = 100;
constexpr int kNextButton = 140;
constexpr int kCancelButton = 2;
constexpr int kRussianButton = 1006;
constexpr int kEnglishButton = 1007;
constexpr int kKc1Button = 1008;
constexpr int kTaglineFrame = 1011;
constexpr int kWelcomeText = 1014;
constexpr int kToggleButton = 1015;
constexpr int kFirstPanelControl = 1006;
constexpr int kLastPanelControl = 1014;

struct Choice {
  int button;
  std::wstring BootstrapOptions::*mask;
  const wchar_t* fragment;
};

constexpr Choice kChoices[] = {
    {1008, &BootstrapOptions::kcMask, L"kc1*"},
    {1009, &BootstrapOptions::kcMask, L"kc2*"},
    {1010, &BootstrapOptions::kcMask, L"kc3*"},
    {kRussianButton, &BootstrapOptions::langMask, L"rus*"},
    {kEnglishButton, &BootstrapOptions::langMask, L"eng*"},
};

std::intptr_t InitializeDialog(WindowHandle dialog) {
  platform::IconHandle icon =
      Os().LoadImageW(Os().GetModuleHandleW(nullptr), kIconId, kImageIcon, 32, 32, kLrDefaultColor);
  Os().SendMessageW(dialog, kWmSetIcon, kIconBig, reinterpret_cast<std::intptr_t>(icon));
  const bool russian = Os().GetSystemDefaultUILanguage() == kLanguageRussian;
  Os().CheckDlgButton(dialog, russian ? kRussianButton : kEnglishButton, kBstChecked);
  Os().CheckDlgButton(dialog, kKc1Button, kBstChecked);
  return 1;
}

// The choices are appended: a value given with -KC or -Lang stays in front.
std::intptr_t RecordChoices(WindowHandle dialog) {
  BootstrapOptions& options = RunOptions();
  for (const Choice& choice : kChoices) {
    if (Os().IsDlgButtonChecked(dialog, choice.button) == kBstChecked) {
      options.*choice.mask += choice.fragment;
    }
  }
  Os().EndDialog(dialog, 0);
  return 1;
}

void CancelRun(WindowHandle dialog) {
  Os().EndDialog(dialog, 0);
  platform::ExitProcess(0);
}

void ShowPanel(WindowHandle dialog, bool options) {
  for (int id = kFirstPanelControl; id <= kLastPanelControl; ++id) {
    const bool welcomeControl = id == kTaglineFrame || id == kWelcomeText;
    Os().ShowWindow(Os().GetDlgItem(dialog, id), welcomeControl != options ? kSwShow : kSwHide);
  }
}

// The toggle button's own text says which panel is showing.
std::intptr_t TogglePanel(WindowHandle dialog) {
  wchar_t current[10] = {};
  Os().GetDlgItemTextW(dialog, kToggleButton, current, 10);
  std::wstring optionsLabel;
  LoadMessage(kMsgOptionsPanel, optionsLabel);
  const bool openOptions = optionsLabel == current;
  ShowPanel(dialog, openOptions);
  std::wstring label;
  LoadMessage(openOptions ? kMsgHidePanel : kMsgOptionsPanel, label);
  Os().SetDlgItemTextW(dialog, kToggleButton, label.c_str());
  return 0;
}

std::intptr_t HandleCommand(WindowHandle dialog, int controlId) {
  switch (controlId) {
    case kCancelButton:
      CancelRun(dialog);
      return 0;
    case kNextButton:
      return RecordChoices(dialog);
    case kToggleButton:
      return TogglePanel(dialog);
    default:
      return 0;
  }
}

}  // namespace

std::intptr_t ConfigDialogProc(WindowHandle dialog, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t /*lParam*/) {
  switch (message) {
    case kWmInitDialog:
      return InitializeDialog(dialog);
    case kWmCommand:
      return HandleCommand(dialog, static_cast<int>(wParam & 0xFFFF));
    default:
      return 0;
  }
}

}  // namespace setup
