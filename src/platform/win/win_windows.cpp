// The Windows layer: windows, boxes and the dialog.
#include "platform/win/win_shared.h"

namespace setup::platform {

using namespace win;

namespace {

// The dialog manager calls back with the platform's calling convention; the logic's procedure is
// portable, so it is reached through this trampoline. There is one modal dialog at a time.
DialogProc activeDialogProc = nullptr;
UserWindows* activeWindows = nullptr;

INT_PTR CALLBACK DialogTrampoline(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return activeDialogProc != nullptr ? activeDialogProc(*activeWindows, dialog, message, wParam, lParam) : FALSE;
}

}  // namespace

// 32-bit user32 exports these under their older names only.
#ifdef _WIN64
constexpr const char* kSetWindowLongPtr = "SetWindowLongPtrW";
constexpr const char* kGetWindowLongPtr = "GetWindowLongPtrW";
#else
constexpr const char* kSetWindowLongPtr = "SetWindowLongW";
constexpr const char* kGetWindowLongPtr = "GetWindowLongW";
#endif

WindowHandle WinUserWindows::CreateWindowExW(std::uint32_t exStyle, const wchar_t* className, const wchar_t* windowName,
                                             std::uint32_t style, int x, int y, int width, int height,
                                             WindowHandle parent, InstanceHandle instance) {
  return CallSystem<fn::CreateWindowExW>(User32(), "CreateWindowExW", static_cast<HWND>(nullptr), exStyle, className,
                                         windowName, style, x, y, width, height, Hwnd(parent),
                                         static_cast<HMENU>(nullptr), static_cast<HINSTANCE>(instance), nullptr);
}

int WinUserWindows::MessageBoxW(WindowHandle owner, const wchar_t* text, const wchar_t* caption, std::uint32_t style) {
  return CallSystem<fn::MessageBoxW>(User32(), "MessageBoxW", 0, Hwnd(owner), text, caption, style);
}

std::intptr_t WinUserWindows::DialogBoxParamW(InstanceHandle instance, std::uint16_t templateId, WindowHandle parent,
                                              DialogProc dialogProc, std::intptr_t initParam) {
  activeDialogProc = dialogProc;
  activeWindows = this;
  const INT_PTR result = CallSystem<fn::DialogBoxParamW>(User32(), "DialogBoxParamW", static_cast<INT_PTR>(-1),
                                                         static_cast<HINSTANCE>(instance), MAKEINTRESOURCEW(templateId),
                                                         Hwnd(parent), DialogTrampoline, initParam);
  activeDialogProc = nullptr;
  return result;
}

bool WinUserWindows::EndDialog(WindowHandle dialog, std::intptr_t result) {
  return CallSystem<fn::EndDialog>(User32(), "EndDialog", FALSE, Hwnd(dialog), result) != FALSE;
}

IconHandle WinUserWindows::LoadImageW(InstanceHandle instance, std::uint16_t resourceId, std::uint32_t type, int cx,
                                      int cy, std::uint32_t load) {
  return CallSystem<fn::LoadImageW>(User32(), "LoadImageW", static_cast<HANDLE>(nullptr),
                                    static_cast<HINSTANCE>(instance), MAKEINTRESOURCEW(resourceId),
                                    static_cast<UINT>(type), cx, cy, static_cast<UINT>(load));
}

std::intptr_t WinUserWindows::SendMessageW(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                           std::intptr_t lParam) {
  return CallSystem<fn::SendMessageW>(User32(), "SendMessageW", static_cast<LRESULT>(0), Hwnd(window),
                                      static_cast<UINT>(message), static_cast<WPARAM>(wParam),
                                      static_cast<LPARAM>(lParam));
}

WindowHandle WinUserWindows::GetDlgItem(WindowHandle dialog, int controlId) {
  return CallSystem<fn::GetDlgItem>(User32(), "GetDlgItem", static_cast<HWND>(nullptr), Hwnd(dialog), controlId);
}

bool WinUserWindows::ShowWindow(WindowHandle window, int command) {
  return CallSystem<fn::ShowWindow>(User32(), "ShowWindow", FALSE, Hwnd(window), command) != FALSE;
}

bool WinUserWindows::CheckDlgButton(WindowHandle dialog, int buttonId, std::uint32_t check) {
  return CallSystem<fn::CheckDlgButton>(User32(), "CheckDlgButton", FALSE, Hwnd(dialog), buttonId,
                                        static_cast<UINT>(check)) != FALSE;
}

std::uint32_t WinUserWindows::IsDlgButtonChecked(WindowHandle dialog, int buttonId) {
  return CallSystem<fn::IsDlgButtonChecked>(User32(), "IsDlgButtonChecked", 0u, Hwnd(dialog), buttonId);
}

std::uint32_t WinUserWindows::GetDlgItemTextW(WindowHandle dialog, int controlId, wchar_t* buffer, int maxCount) {
  return CallSystem<fn::GetDlgItemTextW>(User32(), "GetDlgItemTextW", 0u, Hwnd(dialog), controlId, buffer, maxCount);
}

bool WinUserWindows::SetDlgItemTextW(WindowHandle dialog, int controlId, const wchar_t* text) {
  return CallSystem<fn::SetDlgItemTextW>(User32(), "SetDlgItemTextW", FALSE, Hwnd(dialog), controlId, text) != FALSE;
}

std::intptr_t WinUserWindows::SetWindowLongPointer(WindowHandle window, int index, std::intptr_t value) {
  return CallSystem<fn::SetWindowLongPtr>(User32(), kSetWindowLongPtr, static_cast<LONG_PTR>(0), Hwnd(window), index,
                                          static_cast<LONG_PTR>(value));
}

std::intptr_t WinUserWindows::GetWindowLongPointer(WindowHandle window, int index) {
  return CallSystem<fn::GetWindowLongPtr>(User32(), kGetWindowLongPtr, static_cast<LONG_PTR>(0), Hwnd(window), index);
}

StationHandle WinUserWindows::GetProcessWindowStation() {
  return CallSystem<fn::GetProcessWindowStation>(User32(), "GetProcessWindowStation", static_cast<HWINSTA>(nullptr));
}

bool WinUserWindows::GetUserObjectInformationW(StationHandle object, UserObjectFlags& flags) {
  USEROBJECTFLAGS read{};
  DWORD needed = 0;
  if (!CallSystem<fn::GetUserObjectInformationW>(User32(), "GetUserObjectInformationW", FALSE,
                                                 static_cast<HANDLE>(object), UOI_FLAGS, static_cast<PVOID>(&read),
                                                 static_cast<DWORD>(sizeof(read)), &needed)) {
    return false;
  }
  flags.inherit = read.fInherit != FALSE;
  flags.flags = read.dwFlags;
  return true;
}

}  // namespace setup::platform
