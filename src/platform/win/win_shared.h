// What the Windows layer's classes share: the conversions of the seam's handles, and the system DLLs
// that are loaded by full path on first use.
#pragma once

#include "platform/system_library.h"
#include "platform/win/kernel32_function.h"
#include "platform/win/system_functions.h"
#include "platform/win/win_platform.h"

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

namespace setup::platform::win {

inline HWND Hwnd(WindowHandle window) { return static_cast<HWND>(window); }
inline HMODULE Hmodule(ModuleHandle module) { return static_cast<HMODULE>(module); }
inline HKEY Hkey(RegistryKey key) { return static_cast<HKEY>(key); }
inline std::uint64_t FileTimeNumber(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// DLLs that are not KnownDLLs, and DLLs whose own imports are not (Wine's user32 imports version.dll),
// would be looked for beside the program first if the program imported them: a downloaded Setup.exe
// may find planted copies there before any of its code runs. So the program imports only kernel32,
// advapi32 and msvcrt; the others are loaded on first use from the system directory (see
// LoadSystemLibrary), and stay loaded for the rest of the run.
inline constexpr Status kMsiUnavailable = ERROR_INSTALL_SERVICE_FAILURE;

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

inline SystemLibrary& Msi() {
  static SystemLibrary library(L"msi.dll");
  return library;
}

inline SystemLibrary& User32() {
  static SystemLibrary library(L"user32.dll");
  return library;
}

inline SystemLibrary& Shell32() {
  static SystemLibrary library(L"shell32.dll");
  return library;
}

// Calls a function of a system library, or gives the fallback when it cannot be had.
template <typename Signature, typename Result, typename... Arguments>
inline Result CallSystem(SystemLibrary& library, const char* name, Result fallback, Arguments... arguments) {
  Signature function = library.Function<Signature>(name);
  return function != nullptr ? static_cast<Result>(function(arguments...)) : fallback;
}

template <typename Function>
inline Function EntryPoint(ProcAddress address) {
  // Entry points are looked up by name; their type is the one the name stands for.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace setup::platform::win
