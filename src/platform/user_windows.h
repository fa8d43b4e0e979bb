// Windows, dialogs and message boxes, and the window station they are shown on.
#pragma once

#include "platform/types.h"

namespace setup::platform {

class UserWindows {
 public:
  virtual ~UserWindows() = default;

  virtual WindowHandle CreateWindowExW(std::uint32_t exStyle, const wchar_t* className, const wchar_t* windowName,
                                       std::uint32_t style, int x, int y, int width, int height, WindowHandle parent,
                                       InstanceHandle instance) = 0;
  virtual int MessageBoxW(WindowHandle owner, const wchar_t* text, const wchar_t* caption, std::uint32_t style) = 0;
  virtual std::intptr_t DialogBoxParamW(InstanceHandle instance, std::uint16_t templateId, WindowHandle parent,
                                        DialogProc dialogProc, std::intptr_t initParam) = 0;
  virtual bool EndDialog(WindowHandle dialog, std::intptr_t result) = 0;
  virtual IconHandle LoadImageW(InstanceHandle instance, std::uint16_t resourceId, std::uint32_t type, int cx, int cy,
                                std::uint32_t load) = 0;
  virtual std::intptr_t SendMessageW(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) = 0;
  virtual WindowHandle GetDlgItem(WindowHandle dialog, int controlId) = 0;
  virtual bool ShowWindow(WindowHandle window, int command) = 0;
  virtual bool CheckDlgButton(WindowHandle dialog, int buttonId, std::uint32_t check) = 0;
  virtual std::uint32_t IsDlgButtonChecked(WindowHandle dialog, int buttonId) = 0;
  virtual std::uint32_t GetDlgItemTextW(WindowHandle dialog, int controlId, wchar_t* buffer, int maxCount) = 0;
  virtual bool SetDlgItemTextW(WindowHandle dialog, int controlId, const wchar_t* text) = 0;
  // SetWindowLongPtrW and GetWindowLongPtrW, named apart: windows.h makes those names macros for the
  // older functions on 32-bit Windows.
  virtual std::intptr_t SetWindowLongPointer(WindowHandle window, int index, std::intptr_t value) = 0;
  virtual std::intptr_t GetWindowLongPointer(WindowHandle window, int index) = 0;
  // GetProcessWindowStation.
  virtual StationHandle GetProcessWindowStation() = 0;
  // GetUserObjectInformationW(object, UOI_FLAGS, &flags, sizeof flags, &needed).
  virtual bool GetUserObjectInformationW(StationHandle object, UserObjectFlags& flags) = 0;
};

}  // namespace setup::platform
