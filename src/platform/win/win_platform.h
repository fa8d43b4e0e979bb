// The platform seam implemented on Windows, one class for each interface: each method is the Windows
// call of the same name.
#pragma once

#include "platform/platform.h"

namespace setup::platform {

class WinFiles final : public Files {
 public:
  std::uint32_t GetLastError() override;
  FindHandle FindFirstFileW(const std::wstring& fileName, FindData& data) override;
  bool FindNextFileW(FindHandle find, FindData& data) override;
  bool FindClose(FindHandle find) override;
  bool DeleteFileW(const std::wstring& fileName) override;
  int WStat(const std::wstring& path) override;
  bool WriteFile(KernelHandle file, const void* data, std::uint32_t size, std::uint32_t* written) override;
  std::wstring GetFullPathNameW(const std::wstring& fileName) override;
  bool MoveFileExW(const std::wstring& existingFileName, const std::wstring& newFileName, std::uint32_t flags) override;
  std::wstring GetLongPathNameW(const std::wstring& path) override;
  Status GetFinalPathNameByHandleW(KernelHandle file, std::wstring& path) override;
  bool GetFileInformationByHandle(KernelHandle file, std::uint32_t* numberOfLinks) override;
  bool SetFileInformationByHandle(KernelHandle file, bool deleteFile) override;
  KernelHandle CreateFileW(const wchar_t* fileName, std::uint32_t access, std::uint32_t shareMode,
                           std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) override;
  bool CloseHandle(KernelHandle handle) override;
  Status GetNamedSecurityInfoW(const std::wstring& path, FileSecurity& security) override;
  bool GetVolumePathNameW(const std::wstring& path, std::wstring& volumeRoot) override;
  bool GetVolumeInformationW(const std::wstring& root, std::uint32_t* fileSystemFlags) override;
};

class WinProcesses final : public Processes {
 public:
  std::wstring GetCommandLineW() override;
  std::optional<std::vector<std::wstring>> CommandLineToArgvW(const std::wstring& commandLine) override;
  std::uint32_t GetLastError() override;
  KernelHandle GetCurrentProcess() override;
  void WriteStandardOutput(const std::wstring& text) override;
  bool HasStandardOutput() override;
  bool AttachConsole(std::uint32_t processId) override;
  bool WriteConsoleW(KernelHandle console, const std::wstring& text) override;
  bool FreeConsole() override;
  bool CreateProcessW(const wchar_t* applicationName, wchar_t* commandLine, bool inheritHandles,
                      std::uint32_t creationFlags, const wchar_t* currentDirectory,
                      ProcessInformation& processInformation) override;
  std::uint32_t MsgWaitForMultipleObjects(KernelHandle handle, std::uint32_t milliseconds,
                                          std::uint32_t wakeMask) override;
  bool PeekMessageW(WindowHandle window, std::uint32_t filterMin, std::uint32_t filterMax,
                    std::uint32_t removeFlags) override;
  bool GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) override;
  bool CloseHandle(KernelHandle handle) override;
  bool OpenProcessToken(KernelHandle process, std::uint32_t desiredAccess, KernelHandle* token) override;
  KernelHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) override;
  bool Module32FirstW(KernelHandle snapshot, ModuleEntry& entry) override;
  bool Module32NextW(KernelHandle snapshot, ModuleEntry& entry) override;
};

class WinModules final : public Modules {
 public:
  std::uint32_t GetLastError() override;
  ModuleHandle GetModuleHandleW(const wchar_t* moduleName) override;
  ModuleHandle LoadLibraryW(const wchar_t* fileName) override;
  ModuleHandle LoadLibraryExW(const wchar_t* fileName, std::uint32_t flags) override;
  bool FreeLibrary(ModuleHandle module) override;
  ProcAddress GetProcAddress(ModuleHandle module, const char* procName) override;
  bool CallIsUserAnAdmin(ProcAddress isUserAnAdmin) override;
  bool CallIsWow64Process(ProcAddress isWow64Process, KernelHandle process, bool* isWow64) override;
  std::uint32_t GetModuleFileNameW(ModuleHandle module, wchar_t* buffer, std::uint32_t size) override;
  ResourceHandle FindResourceW(ModuleHandle module, std::uint16_t name, std::uint16_t type) override;
  GlobalHandle LoadResource(ModuleHandle module, ResourceHandle resource) override;
  const void* LockResource(GlobalHandle data) override;
  std::uint32_t SizeofResource(ModuleHandle module, ResourceHandle resource) override;
};

class WinUserWindows final : public UserWindows {
 public:
  WindowHandle CreateWindowExW(std::uint32_t exStyle, const wchar_t* className, const wchar_t* windowName,
                               std::uint32_t style, int x, int y, int width, int height, WindowHandle parent,
                               InstanceHandle instance) override;
  int MessageBoxW(WindowHandle owner, const wchar_t* text, const wchar_t* caption, std::uint32_t style) override;
  std::intptr_t DialogBoxParamW(InstanceHandle instance, std::uint16_t templateId, WindowHandle parent,
                                DialogProc dialogProc, std::intptr_t initParam) override;
  bool EndDialog(WindowHandle dialog, std::intptr_t result) override;
  IconHandle LoadImageW(InstanceHandle instance, std::uint16_t resourceId, std::uint32_t type, int cx, int cy,
                        std::uint32_t load) override;
  std::intptr_t SendMessageW(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) override;
  WindowHandle GetDlgItem(WindowHandle dialog, int controlId) override;
  bool ShowWindow(WindowHandle window, int command) override;
  bool CheckDlgButton(WindowHandle dialog, int buttonId, std::uint32_t check) override;
  std::uint32_t IsDlgButtonChecked(WindowHandle dialog, int buttonId) override;
  std::uint32_t GetDlgItemTextW(WindowHandle dialog, int controlId, wchar_t* buffer, int maxCount) override;
  bool SetDlgItemTextW(WindowHandle dialog, int controlId, const wchar_t* text) override;
  std::intptr_t SetWindowLongPointer(WindowHandle window, int index, std::intptr_t value) override;
  std::intptr_t GetWindowLongPointer(WindowHandle window, int index) override;
  StationHandle GetProcessWindowStation() override;
  bool GetUserObjectInformationW(StationHandle object, UserObjectFlags& flags) override;
};

class WinRegistry final : public Registry {
 public:
  std::uint32_t GetLastError() override;
  Status CallRegDeleteKeyExW(ProcAddress regDeleteKeyEx, RegistryKey key, const wchar_t* subKey,
                             std::uint32_t samDesired, std::uint32_t reserved) override;
  Status CallRegDeleteKeyW(ProcAddress regDeleteKey, RegistryKey key, const wchar_t* subKey) override;
  Status RegCreateKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options, std::uint32_t samDesired,
                         RegistryKey* result, std::uint32_t* disposition) override;
  Status RegOpenKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options, std::uint32_t samDesired,
                       RegistryKey* result) override;
  Status RegCloseKey(RegistryKey key) override;
  Status RegQueryInfoKeyW(RegistryKey key, std::uint64_t* lastWriteTime) override;
  bool LookupPrivilegeValueW(const wchar_t* systemName, const wchar_t* name, std::uint64_t* luid) override;
  bool AdjustTokenPrivileges(KernelHandle token, bool disableAll, std::uint64_t luid,
                             std::uint32_t attributes) override;
  bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) override;
  bool CallInitiateSystemShutdownExW(ProcAddress initiateSystemShutdownEx, const wchar_t* machineName,
                                     const wchar_t* message, std::uint32_t timeout, bool forceAppsClosed,
                                     bool rebootAfterShutdown, std::uint32_t reason) override;
  bool InitiateSystemShutdownW(const wchar_t* machineName, const wchar_t* message, std::uint32_t timeout,
                               bool forceAppsClosed, bool rebootAfterShutdown) override;
  Status RegQueryValueExW(RegistryKey key, const wchar_t* valueName, std::uint32_t* type, void* data,
                          std::uint32_t* size) override;
};

class WinInstaller final : public Installer {
 public:
  std::uint32_t MsiSetInternalUI(std::uint32_t uiLevel, WindowHandle* window) override;
  Status MsiOpenPackageExW(const wchar_t* packagePath, std::uint32_t options, MsiHandle* handle) override;
  Status MsiGetPropertyW(MsiHandle handle, const wchar_t* name, wchar_t* buffer, std::uint32_t* size) override;
  Status MsiCloseHandle(MsiHandle handle) override;
  Status MsiEnumRelatedProductsW(const wchar_t* upgradeCode, std::uint32_t reserved, std::uint32_t index,
                                 wchar_t* productBuffer) override;
  Status MsiGetProductInfoW(const wchar_t* product, const wchar_t* property, wchar_t* buffer,
                            std::uint32_t* size) override;
  int MsiQueryProductStateW(const wchar_t* product) override;
  int MsiQueryFeatureStateW(const wchar_t* product, const wchar_t* feature) override;
  Status MsiSourceListClearAllW(const wchar_t* product, const wchar_t* userName, std::uint32_t reserved) override;
  Status MsiSourceListSetInfoW(const wchar_t* product, const wchar_t* userSid, std::uint32_t context,
                               std::uint32_t options, const wchar_t* property, const wchar_t* value) override;
};

class WinSystemFacts final : public SystemFacts {
 public:
  std::uint32_t GetLastError() override;
  void SetLastError(std::uint32_t error) override;
  std::uint16_t GetSystemDefaultUILanguage() override;
  std::uint32_t GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, std::uint32_t size) override;
  std::optional<std::wstring> WGetEnv(const wchar_t* name) override;
  std::uint32_t GetSystemDirectoryW(wchar_t* buffer, std::uint32_t size) override;
  std::tm LocalTime() override;
  std::uint64_t GetSystemTimeAsFileTime() override;
  std::optional<std::uint64_t> GetTickCount64() override;
  std::uint64_t VerSetConditionMask(std::uint64_t conditionMask, std::uint32_t typeMask,
                                    std::uint8_t condition) override;
  bool VerifyVersionInfoW(const OsVersionInfoEx& versionInfo, std::uint32_t typeMask,
                          std::uint64_t conditionMask) override;
  bool GetVersionExW(OsVersion& version) override;
};

// Every interface on Windows, for the entry point to hand to the start-up flow.
struct WinPlatform {
  WinFiles files;
  WinProcesses processes;
  WinModules modules;
  WinUserWindows windows;
  WinRegistry registry;
  WinInstaller installer;
  WinSystemFacts system;

  Platform Whole() { return {files, processes, modules, windows, registry, installer, system}; }
};

}  // namespace setup::platform
