// The types of the system functions the program finds at run time (GetProcAddress), in one place.
//
// On 32-bit Windows the calling convention is part of the type: through a type without WINAPI a
// __stdcall function is called as __cdecl, the stack is off after every call, and only the 32-bit
// program crashes (x64 has one convention, so a 64-bit build runs either way). system_functions_check.cpp
// holds every type here against the SDK's own declaration; the 32-bit build compiles it on every host,
// also on one that cannot run the program it builds.
#pragma once

#include <windows.h>
// windows.h first: the headers below depend on it.
#include <aclapi.h>
#include <msi.h>
#include <tlhelp32.h>

namespace setup::platform::fn {

// "FILE_INFO_BY_HANDLE_CLASS enumeration" and "FILE_DISPOSITION_INFO structure" come with Vista, so the
// program's own target level (Windows 2000 and XP) leaves them undeclared; these stand in for them.
#if _WIN32_WINNT >= 0x0600
using FileInfoClass = FILE_INFO_BY_HANDLE_CLASS;
#else
enum FileInfoClass : int {};
#endif
inline constexpr FileInfoClass kFileDispositionInfo = static_cast<FileInfoClass>(4);
struct FileDispositionInfo {
  BOOLEAN deleteFile;
};

// kernel32
using AttachConsole = BOOL(WINAPI*)(DWORD);
using CreateToolhelp32Snapshot = HANDLE(WINAPI*)(DWORD, DWORD);
using GetVolumePathNameW = BOOL(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
using Module32FirstW = BOOL(WINAPI*)(HANDLE, LPMODULEENTRY32W);
using Module32NextW = BOOL(WINAPI*)(HANDLE, LPMODULEENTRY32W);
using GetFinalPathNameByHandleW = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
using GetTickCount64 = ULONGLONG(WINAPI*)();
using IsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
using SetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryW = BOOL(WINAPI*)(LPCWSTR);
using SetFileInformationByHandle = BOOL(WINAPI*)(HANDLE, FileInfoClass, LPVOID, DWORD);

// advapi32
using ConvertSidToStringSidW = BOOL(WINAPI*)(PSID, LPWSTR*);
using GetNamedSecurityInfoW = DWORD(WINAPI*)(LPCWSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                             PSECURITY_DESCRIPTOR*);
using InitiateSystemShutdownExW = BOOL(WINAPI*)(LPWSTR, LPWSTR, DWORD, BOOL, BOOL, DWORD);
using RegDeleteKeyExW = LSTATUS(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
using RegDeleteKeyW = LSTATUS(WINAPI*)(HKEY, LPCWSTR);

// shell32
using CommandLineToArgvW = LPWSTR*(WINAPI*)(LPCWSTR, int*);
using IsUserAnAdmin = BOOL(WINAPI*)();

// user32
using CheckDlgButton = BOOL(WINAPI*)(HWND, int, UINT);
using CreateWindowExW = HWND(WINAPI*)(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE,
                                      LPVOID);
using DialogBoxParamW = INT_PTR(WINAPI*)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
using EndDialog = BOOL(WINAPI*)(HWND, INT_PTR);
using ExitWindowsEx = BOOL(WINAPI*)(UINT, DWORD);
using GetDlgItem = HWND(WINAPI*)(HWND, int);
using GetDlgItemTextW = UINT(WINAPI*)(HWND, int, LPWSTR, int);
using GetProcessWindowStation = HWINSTA(WINAPI*)();
using GetUserObjectInformationW = BOOL(WINAPI*)(HANDLE, int, PVOID, DWORD, LPDWORD);
using IsDlgButtonChecked = UINT(WINAPI*)(HWND, int);
using LoadImageW = HANDLE(WINAPI*)(HINSTANCE, LPCWSTR, UINT, int, int, UINT);
using MessageBoxW = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
using MsgWaitForMultipleObjects = DWORD(WINAPI*)(DWORD, const HANDLE*, BOOL, DWORD, DWORD);
using PeekMessageW = BOOL(WINAPI*)(LPMSG, HWND, UINT, UINT, UINT);
using SendMessageW = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using SetDlgItemTextW = BOOL(WINAPI*)(HWND, int, LPCWSTR);
// SetWindowLongPtrW and GetWindowLongPtrW, which 32-bit user32 exports as SetWindowLongW and
// GetWindowLongW, of the same types there.
using SetWindowLongPtr = LONG_PTR(WINAPI*)(HWND, int, LONG_PTR);
using GetWindowLongPtr = LONG_PTR(WINAPI*)(HWND, int);
using ShowWindow = BOOL(WINAPI*)(HWND, int);

// msi
using MsiCloseHandle = UINT(WINAPI*)(MSIHANDLE);
using MsiEnumRelatedProductsW = UINT(WINAPI*)(LPCWSTR, DWORD, DWORD, LPWSTR);
using MsiGetProductInfoW = UINT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, DWORD*);
using MsiGetPropertyW = UINT(WINAPI*)(MSIHANDLE, LPCWSTR, LPWSTR, DWORD*);
using MsiOpenPackageExW = UINT(WINAPI*)(LPCWSTR, DWORD, MSIHANDLE*);
using MsiQueryFeatureStateW = INSTALLSTATE(WINAPI*)(LPCWSTR, LPCWSTR);
using MsiQueryProductStateW = INSTALLSTATE(WINAPI*)(LPCWSTR);
using MsiSetInternalUI = INSTALLUILEVEL(WINAPI*)(INSTALLUILEVEL, HWND*);
using MsiSourceListClearAllW = UINT(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
using MsiSourceListSetInfoW = UINT(WINAPI*)(LPCWSTR, LPCWSTR, MSIINSTALLCONTEXT, DWORD, LPCWSTR, LPCWSTR);

}  // namespace setup::platform::fn
