// No code: only the checks that each type of system_functions.h is the SDK's declaration of that
// function, calling convention included. Compiled at the newest SDK level, so that the functions the
// program's own target level (Windows 2000 and XP) leaves undeclared are declared here.
#include "platform/win/system_functions.h"

#include <msiquery.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <type_traits>

#define SETUP_SAME_AS_SDK(name) \
  static_assert(std::is_same_v<fn::name, decltype(&::name)>, #name ": not the SDK's type, or WINAPI missing")

namespace setup::platform {

SETUP_SAME_AS_SDK(AttachConsole);
SETUP_SAME_AS_SDK(CreateToolhelp32Snapshot);
SETUP_SAME_AS_SDK(GetVolumePathNameW);
SETUP_SAME_AS_SDK(Module32FirstW);
SETUP_SAME_AS_SDK(Module32NextW);
SETUP_SAME_AS_SDK(GetFinalPathNameByHandleW);
SETUP_SAME_AS_SDK(GetTickCount64);
SETUP_SAME_AS_SDK(IsWow64Process);
SETUP_SAME_AS_SDK(SetDefaultDllDirectories);
SETUP_SAME_AS_SDK(SetDllDirectoryW);
SETUP_SAME_AS_SDK(ConvertSidToStringSidW);
SETUP_SAME_AS_SDK(GetNamedSecurityInfoW);
SETUP_SAME_AS_SDK(SetFileInformationByHandle);
static_assert(fn::kFileDispositionInfo == FileDispositionInfo, "FileDispositionInfo");
static_assert(sizeof(fn::FileDispositionInfo) == sizeof(FILE_DISPOSITION_INFO), "FILE_DISPOSITION_INFO");
SETUP_SAME_AS_SDK(InitiateSystemShutdownExW);
SETUP_SAME_AS_SDK(RegDeleteKeyExW);
SETUP_SAME_AS_SDK(RegDeleteKeyW);
SETUP_SAME_AS_SDK(CommandLineToArgvW);
SETUP_SAME_AS_SDK(IsUserAnAdmin);
SETUP_SAME_AS_SDK(CheckDlgButton);
SETUP_SAME_AS_SDK(CreateWindowExW);
SETUP_SAME_AS_SDK(DialogBoxParamW);
SETUP_SAME_AS_SDK(EndDialog);
SETUP_SAME_AS_SDK(ExitWindowsEx);
SETUP_SAME_AS_SDK(GetDlgItem);
SETUP_SAME_AS_SDK(GetDlgItemTextW);
SETUP_SAME_AS_SDK(GetProcessWindowStation);
SETUP_SAME_AS_SDK(GetUserObjectInformationW);
SETUP_SAME_AS_SDK(IsDlgButtonChecked);
SETUP_SAME_AS_SDK(LoadImageW);
SETUP_SAME_AS_SDK(MessageBoxW);
SETUP_SAME_AS_SDK(MsgWaitForMultipleObjects);
SETUP_SAME_AS_SDK(PeekMessageW);
SETUP_SAME_AS_SDK(SendMessageW);
SETUP_SAME_AS_SDK(SetDlgItemTextW);
// The header's own macros name SetWindowLongW and GetWindowLongW in a 32-bit build.
static_assert(std::is_same_v<fn::SetWindowLongPtr, decltype(&::SetWindowLongPtrW)>, "SetWindowLongPtrW");
static_assert(std::is_same_v<fn::GetWindowLongPtr, decltype(&::GetWindowLongPtrW)>, "GetWindowLongPtrW");
SETUP_SAME_AS_SDK(ShowWindow);
SETUP_SAME_AS_SDK(MsiCloseHandle);
SETUP_SAME_AS_SDK(MsiEnumRelatedProductsW);
SETUP_SAME_AS_SDK(MsiGetProductInfoW);
SETUP_SAME_AS_SDK(MsiGetPropertyW);
SETUP_SAME_AS_SDK(MsiOpenPackageExW);
SETUP_SAME_AS_SDK(MsiQueryFeatureStateW);
SETUP_SAME_AS_SDK(MsiQueryProductStateW);
SETUP_SAME_AS_SDK(MsiSetInternalUI);
SETUP_SAME_AS_SDK(MsiSourceListClearAllW);
SETUP_SAME_AS_SDK(MsiSourceListSetInfoW);

}  // namespace setup::platform
