// The fake Windows: windows, boxes and the dialog.
#include <algorithm>
#include <cstring>
#include <utility>

#include "fake_parts.h"
#include "platform/win32_constants.h"

namespace setup::testing {

using namespace fake;

WindowHandle FakePlatform::CreateWindowExW(std::uint32_t, const wchar_t* className, const wchar_t*, std::uint32_t style,
                                           int, int, int, int, WindowHandle, InstanceHandle) {
  ownerWindowCreated = reinterpret_cast<WindowHandle>(0xA11CE);
  ownerWindowStyle = style;
  ownerWindowClass = className;
  return ownerWindowCreated;
}

int FakePlatform::MessageBoxW(WindowHandle owner, const wchar_t* text, const wchar_t* caption, std::uint32_t style) {
  boxes.push_back({owner, text, caption, style});
  if (!answers.empty()) {
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return (style & 0xF) == 4 ? 6 : 1;
}

std::intptr_t FakePlatform::DialogBoxParamW(InstanceHandle, std::uint16_t templateId, WindowHandle,
                                            DialogProc dialogProc, std::intptr_t initParam) {
  dialogsShown.push_back(templateId);
  // The dialog manager hands the parameter to the procedure with WM_INITDIALOG before anything else.
  dialogProc(*this, kDialogWindow, 0x0110, 0, initParam);
  return runDialog ? runDialog(dialogProc) : 0;
}

bool FakePlatform::EndDialog(WindowHandle, std::intptr_t result) {
  dialogEnded = true;
  dialogResult = result;
  return true;
}

IconHandle FakePlatform::LoadImageW(InstanceHandle, std::uint16_t, std::uint32_t, int, int, std::uint32_t) {
  return reinterpret_cast<IconHandle>(0x1C0);
}

std::intptr_t FakePlatform::SendMessageW(WindowHandle, std::uint32_t message, std::uintptr_t, std::intptr_t lParam) {
  sentMessages.emplace_back(message, lParam);
  return 0;
}

WindowHandle FakePlatform::GetDlgItem(WindowHandle, int controlId) {
  return reinterpret_cast<WindowHandle>(static_cast<std::intptr_t>(controlId));
}

bool FakePlatform::ShowWindow(WindowHandle window, int command) {
  controls[static_cast<int>(reinterpret_cast<std::intptr_t>(window))].visible = command != 0;
  return true;
}

bool FakePlatform::CheckDlgButton(WindowHandle, int buttonId, std::uint32_t check) {
  controls[buttonId].checked = check;
  return true;
}

std::uint32_t FakePlatform::IsDlgButtonChecked(WindowHandle, int buttonId) { return controls[buttonId].checked; }

std::uint32_t FakePlatform::GetDlgItemTextW(WindowHandle, int controlId, wchar_t* buffer, int maxCount) {
  const std::wstring& text = controls[controlId].text;
  const std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(maxCount - 1));
  std::copy_n(text.begin(), count, buffer);
  buffer[count] = L'\0';
  return static_cast<std::uint32_t>(count);
}

bool FakePlatform::SetDlgItemTextW(WindowHandle, int controlId, const wchar_t* text) {
  controls[controlId].text = text;
  return true;
}

std::intptr_t FakePlatform::SetWindowLongPointer(WindowHandle window, int index, std::intptr_t value) {
  return std::exchange(windowLongs[{window, index}], value);
}

std::intptr_t FakePlatform::GetWindowLongPointer(WindowHandle window, int index) {
  return windowLongs[{window, index}];
}

// "Window Stations": only the interactive window station, which belongs to the interactive user's
// logon session, can display anything; "GetUserObjectInformationW function": WSF_VISIBLE says so.
StationHandle FakePlatform::GetProcessWindowStation() { return kWindowStation; }

bool FakePlatform::GetUserObjectInformationW(StationHandle object, UserObjectFlags& flags) {
  if (object != kWindowStation) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  flags.flags = interactiveUser ? kWsfVisible : 0;
  return true;
}

}  // namespace setup::testing
