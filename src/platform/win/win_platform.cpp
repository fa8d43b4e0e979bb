#include "platform/win/win_platform.h"

#include "platform/system_library.h"
#include "platform/win/kernel32_function.h"
#include "platform/win/system_functions.h"

#include <windows.h>
// windows.h first: the headers below depend on it.
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace setup::platform {
namespace {

HWND Hwnd(WindowHandle window) { return static_cast<HWND>(window); }
HMODULE Hmodule(ModuleHandle module) { return static_cast<HMODULE>(module); }
HKEY Hkey(RegistryKey key) { return static_cast<HKEY>(key); }
std::uint64_t FileTimeNumber(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// The dialog manager calls back with the platform's calling convention; the logic's procedure is
// portable, so it is reached through this trampoline. There is one modal dialog at a time.
DialogProc activeDialogProc = nullptr;
UserWindows* activeWindows = nullptr;

INT_PTR CALLBACK DialogTrampoline(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return activeDialogProc != nullptr ? activeDialogProc(*activeWindows, dialog, message, wParam, lParam) : FALSE;
}

// DLLs that are not KnownDLLs, and DLLs whose own imports are not (Wine's user32 imports version.dll),
// would be looked for beside the program first if the program imported them: a downloaded Setup.exe
// may find planted copies there before any of its code runs. So the program imports only kernel32,
// advapi32 and msvcrt; the others are loaded on first use from the system directory (see
// LoadSystemLibrary), and stay loaded for the rest of the run.
constexpr Status kMsiUnavailable = ERROR_INSTALL_SERVICE_FAILURE;

class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* fileName) : fileName_(fileName) {}

  template <typename Signature>
  Signature Function(const char* name) {
    if (!loaded_) {
      loaded_ = true;
      // The calls carry no state of their own, so any object of the Windows layer may make them.
      WinModules modules;
      WinSystemFacts system;
      module_ = static_cast<HMODULE>(LoadSystemLibrary(modules, system, fileName_));
    }
    if (module_ == nullptr) {
      return nullptr;
    }
    return reinterpret_cast<Signature>(reinterpret_cast<void (*)()>(::GetProcAddress(module_, name)));
  }

 private:
  const wchar_t* fileName_;
  bool loaded_ = false;
  HMODULE module_ = nullptr;
};

SystemLibrary& Msi() {
  static SystemLibrary library(L"msi.dll");
  return library;
}

SystemLibrary& User32() {
  static SystemLibrary library(L"user32.dll");
  return library;
}

SystemLibrary& Shell32() {
  static SystemLibrary library(L"shell32.dll");
  return library;
}

// Calls a function of a system library, or gives the fallback when it cannot be had.
template <typename Signature, typename Result, typename... Arguments>
Result CallSystem(SystemLibrary& library, const char* name, Result fallback, Arguments... arguments) {
  Signature function = library.Function<Signature>(name);
  return function != nullptr ? static_cast<Result>(function(arguments...)) : fallback;
}

template <typename Function>
Function EntryPoint(ProcAddress address) {
  // Entry points are looked up by name; their type is the one the name stands for.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

// "ACE_HEADER structure", "ACCESS_ALLOWED_OBJECT_ACE structure": the SID follows the mask in the plain
// kinds, and the object kinds put their flags and the GUIDs those flags announce in between.
PSID SidOfAce(const ACE_HEADER* header) {
  const BYTE* body = reinterpret_cast<const BYTE*>(header) + sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);
  switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      return const_cast<BYTE*>(body);
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: {
      const DWORD flags = *reinterpret_cast<const DWORD*>(body);
      body += sizeof(DWORD);
      body += (flags & ACE_OBJECT_TYPE_PRESENT) != 0 ? sizeof(GUID) : 0;
      body += (flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) != 0 ? sizeof(GUID) : 0;
      return const_cast<BYTE*>(body);
    }
    default:
      return nullptr;
  }
}

std::wstring SidText(fn::ConvertSidToStringSidW convert, PSID sid) {
  LPWSTR text = nullptr;
  if (sid == nullptr || !convert(sid, &text)) {
    return std::wstring();
  }
  std::wstring result(text);
  ::LocalFree(text);
  return result;
}

}  // namespace

std::wstring WinProcesses::GetCommandLineW() { return ::GetCommandLineW(); }

std::optional<std::vector<std::wstring>> WinProcesses::CommandLineToArgvW(const std::wstring& commandLine) {
  int count = 0;
  LPWSTR* arguments = CallSystem<fn::CommandLineToArgvW>(Shell32(), "CommandLineToArgvW", static_cast<LPWSTR*>(nullptr),
                                                         commandLine.c_str(), &count);
  if (arguments == nullptr) {
    return std::nullopt;
  }
  std::vector<std::wstring> result(arguments, arguments + count);
  ::LocalFree(arguments);
  return result;
}

std::uint32_t WinFiles::GetLastError() { return ::GetLastError(); }

std::uint32_t WinProcesses::GetLastError() { return ::GetLastError(); }

std::uint32_t WinModules::GetLastError() { return ::GetLastError(); }

std::uint32_t WinRegistry::GetLastError() { return ::GetLastError(); }

std::uint32_t WinSystemFacts::GetLastError() { return ::GetLastError(); }

void WinSystemFacts::SetLastError(std::uint32_t error) { ::SetLastError(error); }

KernelHandle WinProcesses::GetCurrentProcess() { return ::GetCurrentProcess(); }

std::uint16_t WinSystemFacts::GetSystemDefaultUILanguage() { return ::GetSystemDefaultUILanguage(); }

ModuleHandle WinModules::GetModuleHandleW(const wchar_t* moduleName) { return ::GetModuleHandleW(moduleName); }

ModuleHandle WinModules::LoadLibraryW(const wchar_t* fileName) { return ::LoadLibraryW(fileName); }

ModuleHandle WinModules::LoadLibraryExW(const wchar_t* fileName, std::uint32_t flags) {
  return ::LoadLibraryExW(fileName, nullptr, flags);
}

bool WinModules::FreeLibrary(ModuleHandle module) { return ::FreeLibrary(Hmodule(module)) != FALSE; }

ProcAddress WinModules::GetProcAddress(ModuleHandle module, const char* procName) {
  return reinterpret_cast<ProcAddress>(::GetProcAddress(Hmodule(module), procName));
}

bool WinModules::CallIsUserAnAdmin(ProcAddress isUserAnAdmin) {
  return EntryPoint<fn::IsUserAnAdmin>(isUserAnAdmin)() != FALSE;
}

bool WinModules::CallIsWow64Process(ProcAddress isWow64Process, KernelHandle process, bool* isWow64) {
  BOOL result = FALSE;
  const BOOL succeeded = EntryPoint<fn::IsWow64Process>(isWow64Process)(process, &result);
  *isWow64 = result != FALSE;
  return succeeded != FALSE;
}

Status WinRegistry::CallRegDeleteKeyExW(ProcAddress regDeleteKeyEx, RegistryKey key, const wchar_t* subKey,
                                        std::uint32_t samDesired, std::uint32_t reserved) {
  return static_cast<Status>(EntryPoint<fn::RegDeleteKeyExW>(regDeleteKeyEx)(Hkey(key), subKey, samDesired, reserved));
}

Status WinRegistry::CallRegDeleteKeyW(ProcAddress regDeleteKey, RegistryKey key, const wchar_t* subKey) {
  return static_cast<Status>(EntryPoint<fn::RegDeleteKeyW>(regDeleteKey)(Hkey(key), subKey));
}

std::uint32_t WinModules::GetModuleFileNameW(ModuleHandle module, wchar_t* buffer, std::uint32_t size) {
  return ::GetModuleFileNameW(Hmodule(module), buffer, size);
}

ResourceHandle WinModules::FindResourceW(ModuleHandle module, std::uint16_t name, std::uint16_t type) {
  return ::FindResourceW(Hmodule(module), MAKEINTRESOURCEW(name), MAKEINTRESOURCEW(type));
}

GlobalHandle WinModules::LoadResource(ModuleHandle module, ResourceHandle resource) {
  return ::LoadResource(Hmodule(module), static_cast<HRSRC>(resource));
}

const void* WinModules::LockResource(GlobalHandle data) { return ::LockResource(data); }

std::uint32_t WinModules::SizeofResource(ModuleHandle module, ResourceHandle resource) {
  return ::SizeofResource(Hmodule(module), static_cast<HRSRC>(resource));
}

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

// 32-bit user32 exports these under their older names only.
#ifdef _WIN64
constexpr const char* kSetWindowLongPtr = "SetWindowLongPtrW";
constexpr const char* kGetWindowLongPtr = "GetWindowLongPtrW";
#else
constexpr const char* kSetWindowLongPtr = "SetWindowLongW";
constexpr const char* kGetWindowLongPtr = "GetWindowLongW";
#endif

std::intptr_t WinUserWindows::SetWindowLongPointer(WindowHandle window, int index, std::intptr_t value) {
  return CallSystem<fn::SetWindowLongPtr>(User32(), kSetWindowLongPtr, static_cast<LONG_PTR>(0), Hwnd(window), index,
                                          static_cast<LONG_PTR>(value));
}

std::intptr_t WinUserWindows::GetWindowLongPointer(WindowHandle window, int index) {
  return CallSystem<fn::GetWindowLongPtr>(User32(), kGetWindowLongPtr, static_cast<LONG_PTR>(0), Hwnd(window), index);
}

FindHandle WinFiles::FindFirstFileW(const std::wstring& fileName, FindData& data) {
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileW(fileName.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  data.attributes = found.dwFileAttributes;
  data.fileName = found.cFileName;
  data.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return find;
}

bool WinFiles::FindNextFileW(FindHandle find, FindData& data) {
  WIN32_FIND_DATAW found{};
  if (!::FindNextFileW(find, &found)) {
    return false;
  }
  data.attributes = found.dwFileAttributes;
  data.fileName = found.cFileName;
  data.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return true;
}

bool WinFiles::FindClose(FindHandle find) { return ::FindClose(find) != FALSE; }

bool WinFiles::DeleteFileW(const std::wstring& fileName) { return ::DeleteFileW(fileName.c_str()) != FALSE; }

int WinFiles::WStat(const std::wstring& path) {
  struct _stat status {};
  return ::_wstat(path.c_str(), &status);
}

std::uint32_t WinSystemFacts::GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, std::uint32_t size) {
  return ::GetEnvironmentVariableW(name, buffer, size);
}

std::optional<std::wstring> WinSystemFacts::WGetEnv(const wchar_t* name) {
  const wchar_t* value = ::_wgetenv(name);
  if (value == nullptr) {
    return std::nullopt;
  }
  return std::wstring(value);
}

std::uint32_t WinSystemFacts::GetSystemDirectoryW(wchar_t* buffer, std::uint32_t size) {
  return ::GetSystemDirectoryW(buffer, size);
}

bool WinFiles::WriteFile(KernelHandle file, const void* data, std::uint32_t size, std::uint32_t* written) {
  DWORD count = 0;
  const BOOL succeeded = ::WriteFile(file, data, size, &count, nullptr);
  *written = count;
  return succeeded != FALSE;
}

namespace {

// Calls that fill a buffer and, when it is too small, give the size they need, terminator included.
template <typename Fill>
std::wstring GrowingRead(Fill fill) {
  std::wstring text(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
    if (length == 0) {
      return {};
    }
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.assign(length, L'\0');
  }
  return {};
}

}  // namespace

bool WinFiles::MoveFileExW(const std::wstring& existingFileName, const std::wstring& newFileName, std::uint32_t flags) {
  return ::MoveFileExW(existingFileName.c_str(), newFileName.c_str(), flags) != FALSE;
}

std::wstring WinFiles::GetFullPathNameW(const std::wstring& fileName) {
  return GrowingRead(
      [&](wchar_t* buffer, DWORD size) { return ::GetFullPathNameW(fileName.c_str(), size, buffer, nullptr); });
}

std::wstring WinFiles::GetLongPathNameW(const std::wstring& path) {
  return GrowingRead([&](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(path.c_str(), buffer, size); });
}

Status WinFiles::GetFinalPathNameByHandleW(KernelHandle file, std::wstring& path) {
  auto finalPath = Kernel32Function<fn::GetFinalPathNameByHandleW>("GetFinalPathNameByHandleW");
  if (finalPath == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  path = GrowingRead([&](wchar_t* buffer, DWORD size) {
    return finalPath(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  return path.empty() ? ::GetLastError() : 0;
}

bool WinFiles::GetFileInformationByHandle(KernelHandle file, std::uint32_t* numberOfLinks) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(file, &information)) {
    return false;
  }
  *numberOfLinks = information.nNumberOfLinks;
  return true;
}

bool WinFiles::SetFileInformationByHandle(KernelHandle file, bool deleteFile) {
  auto setInformation = Kernel32Function<fn::SetFileInformationByHandle>("SetFileInformationByHandle");
  if (setInformation == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  fn::FileDispositionInfo disposition{static_cast<BOOLEAN>(deleteFile ? TRUE : FALSE)};
  return setInformation(file, fn::kFileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

std::tm WinSystemFacts::LocalTime() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  return local != nullptr ? *local : std::tm{};
}

std::uint64_t WinSystemFacts::GetSystemTimeAsFileTime() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return FileTimeNumber(now);
}

std::optional<std::uint64_t> WinSystemFacts::GetTickCount64() {
  auto ticks = Kernel32Function<fn::GetTickCount64>("GetTickCount64");
  return ticks != nullptr ? std::optional<std::uint64_t>(ticks()) : std::nullopt;
}

// Not _putws: it converts through the runtime's "C" locale, which stops at the first character beyond
// ASCII (every line of the Russian usage text).
void WinProcesses::WriteStandardOutput(const std::wstring& text) {
  const int size =
      ::WideCharToMultiByte(CP_OEMCP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(CP_OEMCP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool WinProcesses::HasStandardOutput() {
  // Asked once: attaching to a console may fill in the standard handles, which the runtime's stdout,
  // set up at start, would still not use.
  static const bool ownOutput = [] {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    return out != nullptr && out != INVALID_HANDLE_VALUE;
  }();
  return ownOutput;
}

bool WinProcesses::AttachConsole(std::uint32_t processId) {
  auto attach = Kernel32Function<fn::AttachConsole>("AttachConsole");
  return attach != nullptr && attach(processId) != FALSE;
}

KernelHandle WinFiles::CreateFileW(const wchar_t* fileName, std::uint32_t access, std::uint32_t shareMode,
                                   std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
  HANDLE file = ::CreateFileW(fileName, access, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr);
  return file != INVALID_HANDLE_VALUE ? file : nullptr;
}

bool WinProcesses::WriteConsoleW(KernelHandle console, const std::wstring& text) {
  DWORD written = 0;
  return ::WriteConsoleW(console, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
}

bool WinProcesses::FreeConsole() { return ::FreeConsole() != FALSE; }

bool WinProcesses::CreateProcessW(const wchar_t* applicationName, wchar_t* commandLine, bool inheritHandles,
                                  std::uint32_t creationFlags, const wchar_t* currentDirectory,
                                  ProcessInformation& processInformation) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(applicationName, commandLine, nullptr, nullptr, inheritHandles ? TRUE : FALSE, creationFlags,
                        nullptr, currentDirectory, &startup, &started)) {
    return false;
  }
  processInformation.process = started.hProcess;
  processInformation.thread = started.hThread;
  processInformation.processId = started.dwProcessId;
  processInformation.threadId = started.dwThreadId;
  return true;
}

std::uint32_t WinProcesses::MsgWaitForMultipleObjects(KernelHandle handle, std::uint32_t milliseconds,
                                                      std::uint32_t wakeMask) {
  auto msgWait = User32().Function<fn::MsgWaitForMultipleObjects>("MsgWaitForMultipleObjects");
  return msgWait != nullptr ? msgWait(1, &handle, FALSE, milliseconds, wakeMask)
                            : ::WaitForSingleObject(handle, milliseconds);
}

bool WinProcesses::PeekMessageW(WindowHandle window, std::uint32_t filterMin, std::uint32_t filterMax,
                                std::uint32_t removeFlags) {
  MSG message{};
  return CallSystem<fn::PeekMessageW>(User32(), "PeekMessageW", FALSE, &message, Hwnd(window),
                                      static_cast<UINT>(filterMin), static_cast<UINT>(filterMax),
                                      static_cast<UINT>(removeFlags)) != FALSE;
}

bool WinProcesses::GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) {
    return false;
  }
  *exitCode = code;
  return true;
}

bool WinFiles::CloseHandle(KernelHandle handle) { return ::CloseHandle(handle) != FALSE; }

bool WinProcesses::CloseHandle(KernelHandle handle) { return ::CloseHandle(handle) != FALSE; }

std::uint64_t WinSystemFacts::VerSetConditionMask(std::uint64_t conditionMask, std::uint32_t typeMask,
                                                  std::uint8_t condition) {
  return ::VerSetConditionMask(conditionMask, typeMask, condition);
}

bool WinSystemFacts::VerifyVersionInfoW(const OsVersionInfoEx& versionInfo, std::uint32_t typeMask,
                                        std::uint64_t conditionMask) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = versionInfo.osVersionInfoSize;
  info.dwMajorVersion = versionInfo.majorVersion;
  info.dwMinorVersion = versionInfo.minorVersion;
  info.wServicePackMajor = versionInfo.servicePackMajor;
  return ::VerifyVersionInfoW(&info, typeMask, conditionMask) != FALSE;
}

bool WinSystemFacts::GetVersionExW(OsVersion& version) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  // Deprecated for deciding anything, which the program does with VerifyVersionInfoW; for the log
  // it says what the manifest lets the program see, up to Windows 10 (11 reports itself as 10).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
    return false;
  }
#pragma GCC diagnostic pop
  version.majorVersion = info.dwMajorVersion;
  version.minorVersion = info.dwMinorVersion;
  version.buildNumber = info.dwBuildNumber;
  version.servicePackMajor = info.wServicePackMajor;
  return true;
}

Status WinRegistry::RegCreateKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options,
                                    std::uint32_t samDesired, RegistryKey* result, std::uint32_t* disposition) {
  HKEY created = nullptr;
  DWORD how = 0;
  const LSTATUS status = ::RegCreateKeyExW(Hkey(key), subKey, 0, nullptr, options, samDesired, nullptr, &created, &how);
  *result = created;
  *disposition = how;
  return static_cast<Status>(status);
}

Status WinRegistry::RegOpenKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options,
                                  std::uint32_t samDesired, RegistryKey* result) {
  HKEY opened = nullptr;
  const LSTATUS status = ::RegOpenKeyExW(Hkey(key), subKey, options, samDesired, &opened);
  *result = opened;
  return static_cast<Status>(status);
}

Status WinRegistry::RegCloseKey(RegistryKey key) { return static_cast<Status>(::RegCloseKey(Hkey(key))); }

Status WinRegistry::RegQueryInfoKeyW(RegistryKey key, std::uint64_t* lastWriteTime) {
  FILETIME written{};
  const LSTATUS status = ::RegQueryInfoKeyW(Hkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, nullptr, &written);
  *lastWriteTime = FileTimeNumber(written);
  return static_cast<Status>(status);
}

bool WinProcesses::OpenProcessToken(KernelHandle process, std::uint32_t desiredAccess, KernelHandle* token) {
  HANDLE opened = nullptr;
  const BOOL succeeded = ::OpenProcessToken(process, desiredAccess, &opened);
  *token = opened;
  return succeeded != FALSE;
}

bool WinRegistry::LookupPrivilegeValueW(const wchar_t* systemName, const wchar_t* name, std::uint64_t* luid) {
  LUID found{};
  const BOOL succeeded = ::LookupPrivilegeValueW(systemName, name, &found);
  *luid = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(found.HighPart)) << 32) | found.LowPart;
  return succeeded != FALSE;
}

bool WinRegistry::AdjustTokenPrivileges(KernelHandle token, bool disableAll, std::uint64_t luid,
                                        std::uint32_t attributes) {
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid.LowPart = static_cast<DWORD>(luid & 0xFFFFFFFFu);
  privileges.Privileges[0].Luid.HighPart = static_cast<LONG>(luid >> 32);
  privileges.Privileges[0].Attributes = attributes;
  return ::AdjustTokenPrivileges(token, disableAll ? TRUE : FALSE, &privileges, 0, nullptr, nullptr) != FALSE;
}

bool WinRegistry::ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  return CallSystem<fn::ExitWindowsEx>(User32(), "ExitWindowsEx", FALSE, static_cast<UINT>(flags),
                                       static_cast<DWORD>(reason)) != FALSE;
}

bool WinRegistry::CallInitiateSystemShutdownExW(ProcAddress initiateSystemShutdownEx, const wchar_t* machineName,
                                                const wchar_t* message, std::uint32_t timeout, bool forceAppsClosed,
                                                bool rebootAfterShutdown, std::uint32_t reason) {
  return EntryPoint<fn::InitiateSystemShutdownExW>(initiateSystemShutdownEx)(
             const_cast<LPWSTR>(machineName), const_cast<LPWSTR>(message), timeout, forceAppsClosed ? TRUE : FALSE,
             rebootAfterShutdown ? TRUE : FALSE, reason) != FALSE;
}

bool WinRegistry::InitiateSystemShutdownW(const wchar_t* machineName, const wchar_t* message, std::uint32_t timeout,
                                          bool forceAppsClosed, bool rebootAfterShutdown) {
  return ::InitiateSystemShutdownW(const_cast<LPWSTR>(machineName), const_cast<LPWSTR>(message), timeout,
                                   forceAppsClosed ? TRUE : FALSE, rebootAfterShutdown ? TRUE : FALSE) != FALSE;
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

KernelHandle WinProcesses::CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
  auto snapshot = Kernel32Function<fn::CreateToolhelp32Snapshot>("CreateToolhelp32Snapshot");
  if (snapshot == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  HANDLE made = snapshot(flags, processId);
  return made != INVALID_HANDLE_VALUE ? made : nullptr;
}

namespace {

bool ReadModuleEntry(const char* name, KernelHandle snapshot, ModuleEntry& entry) {
  auto read = Kernel32Function<fn::Module32FirstW>(name);
  MODULEENTRY32W module{};
  module.dwSize = sizeof(module);
  if (read == nullptr || !read(snapshot, &module)) {
    return false;
  }
  entry.exePath = module.szExePath;
  return true;
}

}  // namespace

bool WinProcesses::Module32FirstW(KernelHandle snapshot, ModuleEntry& entry) {
  return ReadModuleEntry("Module32FirstW", snapshot, entry);
}

bool WinProcesses::Module32NextW(KernelHandle snapshot, ModuleEntry& entry) {
  return ReadModuleEntry("Module32NextW", snapshot, entry);
}

Status WinFiles::GetNamedSecurityInfoW(const std::wstring& path, FileSecurity& security) {
  auto getSecurity = Advapi32Function<fn::GetNamedSecurityInfoW>("GetNamedSecurityInfoW");
  auto convert = Advapi32Function<fn::ConvertSidToStringSidW>("ConvertSidToStringSidW");
  if (getSecurity == nullptr || convert == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = getSecurity(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   &owner, nullptr, &dacl, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    return status;
  }
  security.owner = SidText(convert, owner);
  security.nullDacl = dacl == nullptr;
  security.entries.clear();
  for (DWORD index = 0; dacl != nullptr && index < dacl->AceCount; ++index) {
    void* ace = nullptr;
    if (!::GetAce(dacl, index, &ace)) {
      continue;
    }
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    const ACCESS_MASK mask = *reinterpret_cast<const ACCESS_MASK*>(header + 1);
    security.entries.push_back({header->AceType, header->AceFlags, mask, SidText(convert, SidOfAce(header))});
  }
  ::LocalFree(descriptor);
  return 0;
}

bool WinFiles::GetVolumePathNameW(const std::wstring& path, std::wstring& volumeRoot) {
  auto getVolumePath = Kernel32Function<fn::GetVolumePathNameW>("GetVolumePathNameW");
  std::wstring buffer(path.size() + 2, L'\0');
  if (getVolumePath == nullptr || !getVolumePath(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()))) {
    return false;
  }
  buffer.resize(std::char_traits<wchar_t>::length(buffer.c_str()));
  volumeRoot = buffer;
  return true;
}

bool WinFiles::GetVolumeInformationW(const std::wstring& root, std::uint32_t* fileSystemFlags) {
  DWORD flags = 0;
  if (!::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    return false;
  }
  *fileSystemFlags = flags;
  return true;
}

Status WinRegistry::RegQueryValueExW(RegistryKey key, const wchar_t* valueName, std::uint32_t* type, void* data,
                                     std::uint32_t* size) {
  DWORD valueType = 0;
  DWORD length = *size;
  const LSTATUS status =
      ::RegQueryValueExW(Hkey(key), valueName, nullptr, &valueType, static_cast<LPBYTE>(data), &length);
  *type = valueType;
  *size = length;
  return static_cast<Status>(status);
}

std::uint32_t WinInstaller::MsiSetInternalUI(std::uint32_t uiLevel, WindowHandle* window) {
  auto setInternalUi = Msi().Function<fn::MsiSetInternalUI>("MsiSetInternalUI");
  if (setInternalUi == nullptr) {
    return INSTALLUILEVEL_NOCHANGE;
  }
  HWND previousWindow = window != nullptr ? Hwnd(*window) : nullptr;
  const INSTALLUILEVEL previous =
      setInternalUi(static_cast<INSTALLUILEVEL>(uiLevel), window != nullptr ? &previousWindow : nullptr);
  if (window != nullptr) {
    *window = previousWindow;
  }
  return static_cast<std::uint32_t>(previous);
}

Status WinInstaller::MsiOpenPackageExW(const wchar_t* packagePath, std::uint32_t options, MsiHandle* handle) {
  auto openPackage = Msi().Function<fn::MsiOpenPackageExW>("MsiOpenPackageExW");
  if (openPackage == nullptr) {
    return kMsiUnavailable;
  }
  MSIHANDLE opened = 0;
  const UINT status = openPackage(packagePath, options, &opened);
  *handle = opened;
  return status;
}

Status WinInstaller::MsiGetPropertyW(MsiHandle handle, const wchar_t* name, wchar_t* buffer, std::uint32_t* size) {
  auto getProperty = Msi().Function<fn::MsiGetPropertyW>("MsiGetPropertyW");
  if (getProperty == nullptr) {
    return kMsiUnavailable;
  }
  DWORD length = *size;
  const UINT status = getProperty(handle, name, buffer, &length);
  *size = length;
  return status;
}

Status WinInstaller::MsiCloseHandle(MsiHandle handle) {
  auto closeHandle = Msi().Function<fn::MsiCloseHandle>("MsiCloseHandle");
  return closeHandle != nullptr ? closeHandle(handle) : kMsiUnavailable;
}

Status WinInstaller::MsiEnumRelatedProductsW(const wchar_t* upgradeCode, std::uint32_t reserved, std::uint32_t index,
                                             wchar_t* productBuffer) {
  auto enumRelated = Msi().Function<fn::MsiEnumRelatedProductsW>("MsiEnumRelatedProductsW");
  return enumRelated != nullptr ? enumRelated(upgradeCode, reserved, index, productBuffer) : kMsiUnavailable;
}

Status WinInstaller::MsiGetProductInfoW(const wchar_t* product, const wchar_t* property, wchar_t* buffer,
                                        std::uint32_t* size) {
  auto getProductInfo = Msi().Function<fn::MsiGetProductInfoW>("MsiGetProductInfoW");
  if (getProductInfo == nullptr) {
    return kMsiUnavailable;
  }
  DWORD length = *size;
  const UINT status = getProductInfo(product, property, buffer, &length);
  *size = length;
  return status;
}

int WinInstaller::MsiQueryProductStateW(const wchar_t* product) {
  auto queryProductState = Msi().Function<fn::MsiQueryProductStateW>("MsiQueryProductStateW");
  return queryProductState != nullptr ? queryProductState(product) : INSTALLSTATE_UNKNOWN;
}

int WinInstaller::MsiQueryFeatureStateW(const wchar_t* product, const wchar_t* feature) {
  auto queryFeatureState = Msi().Function<fn::MsiQueryFeatureStateW>("MsiQueryFeatureStateW");
  return queryFeatureState != nullptr ? queryFeatureState(product, feature) : INSTALLSTATE_UNKNOWN;
}

Status WinInstaller::MsiSourceListClearAllW(const wchar_t* product, const wchar_t* userName, std::uint32_t reserved) {
  auto clearAll = Msi().Function<fn::MsiSourceListClearAllW>("MsiSourceListClearAllW");
  return clearAll != nullptr ? clearAll(product, userName, reserved) : kMsiUnavailable;
}

Status WinInstaller::MsiSourceListSetInfoW(const wchar_t* product, const wchar_t* userSid, std::uint32_t context,
                                           std::uint32_t options, const wchar_t* property, const wchar_t* value) {
  auto setInfo = Msi().Function<fn::MsiSourceListSetInfoW>("MsiSourceListSetInfoW");
  return setInfo != nullptr
             ? setInfo(product, userSid, static_cast<MSIINSTALLCONTEXT>(context), options, property, value)
             : kMsiUnavailable;
}

}  // namespace setup::platform
