// The seam between the bootstrapper's logic and Windows.
//
// Every Win32, shell32, advapi32, user32, msi.dll and C runtime call that the bootstrapper makes goes
// through this interface, under the name of the call it wraps. The logic above it is portable C++ and
// is unit-tested on Linux against a fake; the Windows implementation lives in platform/win.
//
// Handles cross the seam as opaque values in which "none" is always null or 0 (the Windows layer maps
// INVALID_HANDLE_VALUE to null), so one RAII template (handles.h) owns them all.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace setup::platform {

using Status = std::uint32_t;

using WindowHandle = void*;    // HWND
using InstanceHandle = void*;  // HINSTANCE / HMODULE of the program image
using ModuleHandle = void*;    // HMODULE
using ResourceHandle = void*;  // HRSRC
using GlobalHandle = void*;    // HGLOBAL from LoadResource
using FindHandle = void*;      // HANDLE from FindFirstFileW, null when none
using KernelHandle = void*;    // process, thread or token HANDLE
using RegistryKey = void*;     // HKEY
using ProcAddress = void*;     // FARPROC
using IconHandle = void*;      // HICON
using StationHandle = void*;   // HWINSTA of the process, which the system owns: never closed
using MsiHandle = std::uint32_t;

// Predefined registry root.
inline RegistryKey const kHkeyCurrentUser = reinterpret_cast<RegistryKey>(static_cast<std::uintptr_t>(0x80000001u));
inline RegistryKey const kHkeyLocalMachine = reinterpret_cast<RegistryKey>(static_cast<std::uintptr_t>(0x80000002u));

struct FindData {
  std::uint32_t attributes = 0;
  std::wstring fileName;
  std::uint64_t size = 0;  // nFileSizeHigh and nFileSizeLow as one number
};

struct ProcessInformation {
  KernelHandle process = nullptr;
  KernelHandle thread = nullptr;
  std::uint32_t processId = 0;
  std::uint32_t threadId = 0;
};

// The fields of OSVERSIONINFOEXW that the bootstrapper sets; the rest are zero.
struct OsVersionInfoEx {
  std::uint32_t osVersionInfoSize = 284;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint16_t servicePackMajor = 0;
};

// The fields of OSVERSIONINFOEXW that GetVersionExW fills and the log records.
struct OsVersion {
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t buildNumber = 0;
  std::uint16_t servicePackMajor = 0;
};

// The USEROBJECTFLAGS of a window station or desktop.
struct UserObjectFlags {
  bool inherit = false;
  std::uint32_t flags = 0;
};

// A module of the process as Module32FirstW and Module32NextW describe it.
struct ModuleEntry {
  std::wstring exePath;
};

// One ACE of a DACL as GetAce gives it, its SID as ConvertSidToStringSidW writes it (empty for an ACE
// type that carries none the Windows layer can read).
struct AccessEntry {
  std::uint8_t type = 0;
  std::uint8_t flags = 0;
  std::uint32_t mask = 0;
  std::wstring sid;
};

// The owner and the DACL of a file or folder. A descriptor without a DACL grants everyone everything.
struct FileSecurity {
  std::wstring owner;
  bool nullDacl = false;
  std::vector<AccessEntry> entries;
};

// Dialog procedure in portable form: (dialog, message, wParam, lParam) -> INT_PTR.
using DialogProc = std::intptr_t (*)(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t);

class Platform {
 public:
  virtual ~Platform() = default;

  // Process and command line.
  virtual std::wstring GetCommandLineW() = 0;
  // CommandLineToArgvW followed by LocalFree; nullopt when the line cannot be split.
  virtual std::optional<std::vector<std::wstring>> CommandLineToArgvW(const std::wstring& commandLine) = 0;
  virtual std::uint32_t GetLastError() = 0;
  virtual void SetLastError(std::uint32_t error) = 0;
  virtual KernelHandle GetCurrentProcess() = 0;
  virtual std::uint16_t GetSystemDefaultUILanguage() = 0;

  // Modules and entry points.
  virtual ModuleHandle GetModuleHandleW(const wchar_t* moduleName) = 0;
  virtual ModuleHandle LoadLibraryW(const wchar_t* fileName) = 0;
  // LoadLibraryExW(fileName, NULL, flags).
  virtual ModuleHandle LoadLibraryExW(const wchar_t* fileName, std::uint32_t flags) = 0;
  virtual bool FreeLibrary(ModuleHandle module) = 0;
  // procName is a name, or an ordinal made by OrdinalName.
  virtual ProcAddress GetProcAddress(ModuleHandle module, const char* procName) = 0;
  // Calls through entry points found with GetProcAddress, with the signatures of those functions.
  virtual bool CallIsUserAnAdmin(ProcAddress isUserAnAdmin) = 0;
  virtual bool CallIsWow64Process(ProcAddress isWow64Process, KernelHandle process, bool* isWow64) = 0;
  virtual Status CallRegDeleteKeyExW(ProcAddress regDeleteKeyEx, RegistryKey key, const wchar_t* subKey,
                                     std::uint32_t samDesired, std::uint32_t reserved) = 0;
  virtual Status CallRegDeleteKeyW(ProcAddress regDeleteKey, RegistryKey key, const wchar_t* subKey) = 0;
  // GetModuleFileNameW(NULL, buffer, size): the number of characters copied, without terminator.
  virtual std::uint32_t GetModuleFileNameW(ModuleHandle module, wchar_t* buffer, std::uint32_t size) = 0;

  // Resources.
  virtual ResourceHandle FindResourceW(ModuleHandle module, std::uint16_t name, std::uint16_t type) = 0;
  virtual GlobalHandle LoadResource(ModuleHandle module, ResourceHandle resource) = 0;
  virtual const void* LockResource(GlobalHandle data) = 0;
  virtual std::uint32_t SizeofResource(ModuleHandle module, ResourceHandle resource) = 0;

  // Windows and message boxes.
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

  // Files, environment and system paths.
  virtual FindHandle FindFirstFileW(const std::wstring& fileName, FindData& data) = 0;
  virtual bool FindNextFileW(FindHandle find, FindData& data) = 0;
  virtual bool FindClose(FindHandle find) = 0;
  virtual bool DeleteFileW(const std::wstring& fileName) = 0;
  // _wstat: 0 when something exists under the path.
  virtual int WStat(const std::wstring& path) = 0;
  virtual std::uint32_t GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, std::uint32_t size) = 0;
  // _wgetenv: nullopt when the variable is not set.
  virtual std::optional<std::wstring> WGetEnv(const wchar_t* name) = 0;
  virtual std::uint32_t GetSystemDirectoryW(wchar_t* buffer, std::uint32_t size) = 0;
  virtual bool WriteFile(KernelHandle file, const void* data, std::uint32_t size, std::uint32_t* written) = 0;
  // GetFullPathNameW, its buffer grown until the path fits; empty where it fails.
  virtual std::wstring GetFullPathNameW(const std::wstring& fileName) = 0;
  // GetLongPathNameW likewise; empty where it fails (a path that does not exist).
  virtual std::wstring GetLongPathNameW(const std::wstring& path) = 0;
  // GetFinalPathNameByHandleW(file, ..., FILE_NAME_NORMALIZED | VOLUME_NAME_DOS), looked up at run time:
  // 0 and the path, ERROR_PROC_NOT_FOUND where it is missing (before Vista), or the call's error.
  virtual Status GetFinalPathNameByHandleW(KernelHandle file, std::wstring& path) = 0;
  // GetFileInformationByHandle asked for the number of links to the file only.
  virtual bool GetFileInformationByHandle(KernelHandle file, std::uint32_t* numberOfLinks) = 0;
  // SetFileInformationByHandle(file, FileDispositionInfo, {deleteFile}), looked up at run time: false
  // with ERROR_PROC_NOT_FOUND where it is missing (before Vista). The handle needs DELETE access.
  virtual bool SetFileInformationByHandle(KernelHandle file, bool deleteFile) = 0;
  // MoveFileExW(existingFileName, newFileName, flags).
  virtual bool MoveFileExW(const std::wstring& existingFileName, const std::wstring& newFileName,
                           std::uint32_t flags) = 0;

  // Time and standard output.
  // time() followed by localtime().
  virtual std::tm LocalTime() = 0;
  // GetSystemTimeAsFileTime: UTC, in 100-nanosecond intervals since 1601, as one number.
  virtual std::uint64_t GetSystemTimeAsFileTime() = 0;
  // GetTickCount64, looked up at run time: nullopt where it is missing (before Vista).
  virtual std::optional<std::uint64_t> GetTickCount64() = 0;
  // WriteFile of the text to standard output, in the OEM code page that cmd's redirections and its
  // type command use.
  virtual void WriteStandardOutput(const std::wstring& text) = 0;
  // Whether GetStdHandle(STD_OUTPUT_HANDLE) named a handle when the process started.
  virtual bool HasStandardOutput() = 0;
  // AttachConsole, looked up at run time: false where it is missing (Windows 2000).
  virtual bool AttachConsole(std::uint32_t processId) = 0;
  // CreateFileW(fileName, access, shareMode, NULL, creationDisposition, flagsAndAttributes, NULL); null
  // where it fails.
  virtual KernelHandle CreateFileW(const wchar_t* fileName, std::uint32_t access, std::uint32_t shareMode,
                                   std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) = 0;
  // WriteConsoleW(console, text, its length, &written, NULL).
  virtual bool WriteConsoleW(KernelHandle console, const std::wstring& text) = 0;
  virtual bool FreeConsole() = 0;

  // Processes.
  // currentDirectory null: the child inherits the program's.
  virtual bool CreateProcessW(const wchar_t* applicationName, wchar_t* commandLine, bool inheritHandles,
                              std::uint32_t creationFlags, const wchar_t* currentDirectory,
                              ProcessInformation& processInformation) = 0;
  // MsgWaitForMultipleObjects(1, &handle, FALSE, milliseconds, wakeMask); where user32 cannot be loaded,
  // and so the thread can own no window, WaitForSingleObject(handle, milliseconds).
  virtual std::uint32_t MsgWaitForMultipleObjects(KernelHandle handle, std::uint32_t milliseconds,
                                                  std::uint32_t wakeMask) = 0;
  // PeekMessageW(&message, window, filterMin, filterMax, removeFlags): the message itself is not handed
  // back, so it serves only to deliver the messages sent to the thread's windows (PM_NOREMOVE).
  virtual bool PeekMessageW(WindowHandle window, std::uint32_t filterMin, std::uint32_t filterMax,
                            std::uint32_t removeFlags) = 0;
  virtual bool GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) = 0;
  virtual bool CloseHandle(KernelHandle handle) = 0;

  // Version checks.
  virtual std::uint64_t VerSetConditionMask(std::uint64_t conditionMask, std::uint32_t typeMask,
                                            std::uint8_t condition) = 0;
  virtual bool VerifyVersionInfoW(const OsVersionInfoEx& versionInfo, std::uint32_t typeMask,
                                  std::uint64_t conditionMask) = 0;
  virtual bool GetVersionExW(OsVersion& version) = 0;

  // Registry.
  // disposition receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
  virtual Status RegCreateKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options,
                                 std::uint32_t samDesired, RegistryKey* result, std::uint32_t* disposition) = 0;
  virtual Status RegOpenKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options, std::uint32_t samDesired,
                               RegistryKey* result) = 0;
  virtual Status RegCloseKey(RegistryKey key) = 0;
  // RegQueryInfoKeyW asked for the key's last write time only, a FILETIME as one number.
  virtual Status RegQueryInfoKeyW(RegistryKey key, std::uint64_t* lastWriteTime) = 0;

  // Token privileges and restart.
  virtual bool OpenProcessToken(KernelHandle process, std::uint32_t desiredAccess, KernelHandle* token) = 0;
  // LookupPrivilegeValueW(NULL, name, &luid); the LUID travels as one 64-bit number (high part first).
  virtual bool LookupPrivilegeValueW(const wchar_t* systemName, const wchar_t* name, std::uint64_t* luid) = 0;
  // AdjustTokenPrivileges with one privilege and no previous-state buffer.
  virtual bool AdjustTokenPrivileges(KernelHandle token, bool disableAll, std::uint64_t luid,
                                     std::uint32_t attributes) = 0;
  virtual bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) = 0;
  virtual bool CallInitiateSystemShutdownExW(ProcAddress initiateSystemShutdownEx, const wchar_t* machineName,
                                             const wchar_t* message, std::uint32_t timeout, bool forceAppsClosed,
                                             bool rebootAfterShutdown, std::uint32_t reason) = 0;
  virtual bool InitiateSystemShutdownW(const wchar_t* machineName, const wchar_t* message, std::uint32_t timeout,
                                       bool forceAppsClosed, bool rebootAfterShutdown) = 0;
  // GetProcessWindowStation.
  virtual StationHandle GetProcessWindowStation() = 0;
  // GetUserObjectInformationW(object, UOI_FLAGS, &flags, sizeof flags, &needed).
  virtual bool GetUserObjectInformationW(StationHandle object, UserObjectFlags& flags) = 0;

  // Security and the program's folder.
  // CreateToolhelp32Snapshot, looked up at run time; null where it fails or is missing.
  virtual KernelHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) = 0;
  virtual bool Module32FirstW(KernelHandle snapshot, ModuleEntry& entry) = 0;
  virtual bool Module32NextW(KernelHandle snapshot, ModuleEntry& entry) = 0;
  // GetNamedSecurityInfoW(path, SE_FILE_OBJECT, owner and DACL), its SIDs through ConvertSidToStringSidW
  // and its ACEs through GetAce, the descriptor then freed: 0, or the error (127 where a call is missing).
  virtual Status GetNamedSecurityInfoW(const std::wstring& path, FileSecurity& security) = 0;
  // GetVolumePathNameW, looked up at run time: the root of the volume the path lies on; false where it
  // fails or is missing.
  virtual bool GetVolumePathNameW(const std::wstring& path, std::wstring& volumeRoot) = 0;
  // GetVolumeInformationW(root, ...) asked for the file system flags only.
  virtual bool GetVolumeInformationW(const std::wstring& root, std::uint32_t* fileSystemFlags) = 0;
  // RegQueryValueExW(key, valueName, NULL, &type, data, &size).
  virtual Status RegQueryValueExW(RegistryKey key, const wchar_t* valueName, std::uint32_t* type, void* data,
                                  std::uint32_t* size) = 0;

  // Windows Installer (msi.dll).
  virtual std::uint32_t MsiSetInternalUI(std::uint32_t uiLevel, WindowHandle* window) = 0;
  virtual Status MsiOpenPackageExW(const wchar_t* packagePath, std::uint32_t options, MsiHandle* handle) = 0;
  virtual Status MsiGetPropertyW(MsiHandle handle, const wchar_t* name, wchar_t* buffer, std::uint32_t* size) = 0;
  virtual Status MsiCloseHandle(MsiHandle handle) = 0;
  virtual Status MsiEnumRelatedProductsW(const wchar_t* upgradeCode, std::uint32_t reserved, std::uint32_t index,
                                         wchar_t* productBuffer) = 0;
  virtual Status MsiGetProductInfoW(const wchar_t* product, const wchar_t* property, wchar_t* buffer,
                                    std::uint32_t* size) = 0;
  virtual int MsiQueryProductStateW(const wchar_t* product) = 0;
  virtual int MsiQueryFeatureStateW(const wchar_t* product, const wchar_t* feature) = 0;
  virtual Status MsiSourceListClearAllW(const wchar_t* product, const wchar_t* userName, std::uint32_t reserved) = 0;
  virtual Status MsiSourceListSetInfoW(const wchar_t* product, const wchar_t* userSid, std::uint32_t context,
                                       std::uint32_t options, const wchar_t* property, const wchar_t* value) = 0;
};

// MAKEINTRESOURCEA: an export asked for by its ordinal instead of its name.
inline const char* OrdinalName(std::uint16_t ordinal) {
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(ordinal));
}
inline bool IsOrdinalName(const char* procName) { return reinterpret_cast<std::uintptr_t>(procName) <= 0xFFFF; }

// Whether this program is built for 64-bit Windows (the test build of the end-to-end tests on hosts
// that run no 32-bit programs), which is then the Windows it runs on. The shipped program and the
// native builds of the portable code are not.
#if defined(_WIN64)
inline constexpr bool kWin64Build = true;
#else
inline constexpr bool kWin64Build = false;
#endif

// The platform in use by this process: the Windows layer in Setup.exe, a fake in the unit tests.
Platform& Os();
void SetOs(Platform* platform);

}  // namespace setup::platform
