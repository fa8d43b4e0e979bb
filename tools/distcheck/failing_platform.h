// A platform on which every call fails harmlessly: nothing found, nothing opened, nothing shown or
// started. The distribution check overrides only the calls that the package search makes.
#pragma once

#include "platform/platform.h"

namespace distcheck {

using namespace setup::platform;

constexpr Status kErrorCallNotImplemented = 120;

class FailingPlatform : public Platform {
 public:
  std::wstring GetCommandLineW() override { return {}; }
  std::optional<std::vector<std::wstring>> CommandLineToArgvW(const std::wstring&) override { return {}; }
  std::uint32_t GetLastError() override { return kErrorCallNotImplemented; }
  void SetLastError(std::uint32_t) override {}
  KernelHandle GetCurrentProcess() override { return nullptr; }
  std::uint16_t GetSystemDefaultUILanguage() override { return 0; }

  ModuleHandle GetModuleHandleW(const wchar_t*) override { return nullptr; }
  ModuleHandle LoadLibraryW(const wchar_t*) override { return nullptr; }
  ModuleHandle LoadLibraryExW(const wchar_t*, std::uint32_t) override { return nullptr; }
  bool FreeLibrary(ModuleHandle) override { return false; }
  ProcAddress GetProcAddress(ModuleHandle, const char*) override { return nullptr; }
  bool CallIsUserAnAdmin(ProcAddress) override { return false; }
  bool CallIsWow64Process(ProcAddress, KernelHandle, bool*) override { return false; }
  Status CallRegDeleteKeyExW(ProcAddress, RegistryKey, const wchar_t*, std::uint32_t, std::uint32_t) override {
    return kErrorCallNotImplemented;
  }
  Status CallRegDeleteKeyW(ProcAddress, RegistryKey, const wchar_t*) override { return kErrorCallNotImplemented; }
  std::uint32_t GetModuleFileNameW(ModuleHandle, wchar_t*, std::uint32_t) override { return 0; }

  ResourceHandle FindResourceW(ModuleHandle, std::uint16_t, std::uint16_t) override { return nullptr; }
  setup::platform::GlobalHandle LoadResource(ModuleHandle, ResourceHandle) override { return nullptr; }
  const void* LockResource(setup::platform::GlobalHandle) override { return nullptr; }
  std::uint32_t SizeofResource(ModuleHandle, ResourceHandle) override { return 0; }

  WindowHandle CreateWindowExW(std::uint32_t, const wchar_t*, const wchar_t*, std::uint32_t, int, int, int, int,
                               WindowHandle, InstanceHandle) override {
    return nullptr;
  }
  int MessageBoxW(WindowHandle, const wchar_t*, const wchar_t*, std::uint32_t) override { return 0; }
  std::intptr_t DialogBoxParamW(InstanceHandle, std::uint16_t, WindowHandle, DialogProc, std::intptr_t) override {
    return -1;
  }
  bool EndDialog(WindowHandle, std::intptr_t) override { return false; }
  IconHandle LoadImageW(InstanceHandle, std::uint16_t, std::uint32_t, int, int, std::uint32_t) override {
    return nullptr;
  }
  std::intptr_t SendMessageW(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }
  WindowHandle GetDlgItem(WindowHandle, int) override { return nullptr; }
  bool ShowWindow(WindowHandle, int) override { return false; }
  bool CheckDlgButton(WindowHandle, int, std::uint32_t) override { return false; }
  std::uint32_t IsDlgButtonChecked(WindowHandle, int) override { return 0; }
  std::uint32_t GetDlgItemTextW(WindowHandle, int, wchar_t*, int) override { return 0; }
  bool SetDlgItemTextW(WindowHandle, int, const wchar_t*) override { return false; }
  std::intptr_t SetWindowLongPointer(WindowHandle, int, std::intptr_t) override { return 0; }
  std::intptr_t GetWindowLongPointer(WindowHandle, int) override { return 0; }

  FindHandle FindFirstFileW(const std::wstring&, FindData&) override { return nullptr; }
  bool FindNextFileW(FindHandle, FindData&) override { return false; }
  bool FindClose(FindHandle) override { return false; }
  bool DeleteFileW(const std::wstring&) override { return false; }
  int WStat(const std::wstring&) override { return -1; }
  std::uint32_t GetEnvironmentVariableW(const wchar_t*, wchar_t*, std::uint32_t) override { return 0; }
  std::optional<std::wstring> WGetEnv(const wchar_t*) override { return {}; }
  std::uint32_t GetSystemDirectoryW(wchar_t*, std::uint32_t) override { return 0; }
  bool WriteFile(KernelHandle, const void*, std::uint32_t, std::uint32_t*) override { return false; }
  std::wstring GetFullPathNameW(const std::wstring&) override { return {}; }
  bool MoveFileExW(const std::wstring&, const std::wstring&, std::uint32_t) override { return false; }
  std::wstring GetLongPathNameW(const std::wstring&) override { return {}; }
  Status GetFinalPathNameByHandleW(KernelHandle, std::wstring&) override { return kErrorCallNotImplemented; }
  bool GetFileInformationByHandle(KernelHandle, std::uint32_t*) override { return false; }
  bool SetFileInformationByHandle(KernelHandle, bool) override { return false; }

  std::tm LocalTime() override { return {}; }
  std::uint64_t GetSystemTimeAsFileTime() override { return 0; }
  std::optional<std::uint64_t> GetTickCount64() override { return {}; }
  void WriteStandardOutput(const std::wstring&) override {}
  bool HasStandardOutput() override { return false; }
  bool AttachConsole(std::uint32_t) override { return false; }
  KernelHandle CreateFileW(const wchar_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override {
    return nullptr;
  }
  bool WriteConsoleW(KernelHandle, const std::wstring&) override { return false; }
  bool FreeConsole() override { return false; }

  bool CreateProcessW(const wchar_t*, wchar_t*, bool, std::uint32_t, const wchar_t*, ProcessInformation&) override {
    return false;
  }
  std::uint32_t MsgWaitForMultipleObjects(KernelHandle, std::uint32_t, std::uint32_t) override { return 0xFFFFFFFFu; }
  bool PeekMessageW(WindowHandle, std::uint32_t, std::uint32_t, std::uint32_t) override { return false; }
  bool GetExitCodeProcess(KernelHandle, std::uint32_t*) override { return false; }
  bool CloseHandle(KernelHandle) override { return false; }

  std::uint64_t VerSetConditionMask(std::uint64_t conditionMask, std::uint32_t, std::uint8_t) override {
    return conditionMask;
  }
  bool VerifyVersionInfoW(const OsVersionInfoEx&, std::uint32_t, std::uint64_t) override { return false; }
  bool GetVersionExW(OsVersion&) override { return false; }

  Status RegCreateKeyExW(RegistryKey, const wchar_t*, std::uint32_t, std::uint32_t, RegistryKey*,
                         std::uint32_t*) override {
    return kErrorCallNotImplemented;
  }
  Status RegOpenKeyExW(RegistryKey, const wchar_t*, std::uint32_t, std::uint32_t, RegistryKey*) override {
    return kErrorCallNotImplemented;
  }
  Status RegCloseKey(RegistryKey) override { return kErrorCallNotImplemented; }
  Status RegQueryInfoKeyW(RegistryKey, std::uint64_t*) override { return kErrorCallNotImplemented; }

  bool OpenProcessToken(KernelHandle, std::uint32_t, KernelHandle*) override { return false; }
  bool LookupPrivilegeValueW(const wchar_t*, const wchar_t*, std::uint64_t*) override { return false; }
  bool AdjustTokenPrivileges(KernelHandle, bool, std::uint64_t, std::uint32_t) override { return false; }
  bool ExitWindowsEx(std::uint32_t, std::uint32_t) override { return false; }
  bool CallInitiateSystemShutdownExW(ProcAddress, const wchar_t*, const wchar_t*, std::uint32_t, bool, bool,
                                     std::uint32_t) override {
    return false;
  }
  bool InitiateSystemShutdownW(const wchar_t*, const wchar_t*, std::uint32_t, bool, bool) override { return false; }
  StationHandle GetProcessWindowStation() override { return nullptr; }
  bool GetUserObjectInformationW(StationHandle, UserObjectFlags&) override { return false; }

  KernelHandle CreateToolhelp32Snapshot(std::uint32_t, std::uint32_t) override { return nullptr; }
  bool Module32FirstW(KernelHandle, ModuleEntry&) override { return false; }
  bool Module32NextW(KernelHandle, ModuleEntry&) override { return false; }
  Status GetNamedSecurityInfoW(const std::wstring&, FileSecurity&) override { return kErrorCallNotImplemented; }
  bool GetVolumePathNameW(const std::wstring&, std::wstring&) override { return false; }
  bool GetVolumeInformationW(const std::wstring&, std::uint32_t*) override { return false; }
  Status RegQueryValueExW(RegistryKey, const wchar_t*, std::uint32_t*, void*, std::uint32_t*) override {
    return kErrorCallNotImplemented;
  }

  std::uint32_t MsiSetInternalUI(std::uint32_t, WindowHandle*) override { return 0; }
  Status MsiOpenPackageExW(const wchar_t*, std::uint32_t, MsiHandle*) override { return kErrorCallNotImplemented; }
  Status MsiGetPropertyW(MsiHandle, const wchar_t*, wchar_t*, std::uint32_t*) override {
    return kErrorCallNotImplemented;
  }
  Status MsiCloseHandle(MsiHandle) override { return kErrorCallNotImplemented; }
  Status MsiEnumRelatedProductsW(const wchar_t*, std::uint32_t, std::uint32_t, wchar_t*) override {
    return kErrorCallNotImplemented;
  }
  Status MsiGetProductInfoW(const wchar_t*, const wchar_t*, wchar_t*, std::uint32_t*) override {
    return kErrorCallNotImplemented;
  }
  int MsiQueryProductStateW(const wchar_t*) override { return -1; }
  int MsiQueryFeatureStateW(const wchar_t*, const wchar_t*) override { return -1; }
  Status MsiSourceListClearAllW(const wchar_t*, const wchar_t*, std::uint32_t) override {
    return kErrorCallNotImplemented;
  }
  Status MsiSourceListSetInfoW(const wchar_t*, const wchar_t*, std::uint32_t, std::uint32_t, const wchar_t*,
                               const wchar_t*) override {
    return kErrorCallNotImplemented;
  }
};

}  // namespace distcheck
