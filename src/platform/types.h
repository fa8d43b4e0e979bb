// What crosses the platform seam: handles as opaque values, in which "none" is always null or 0 (the
// Windows layer maps INVALID_HANDLE_VALUE to null), so one RAII template (handles.h) owns them all, and
// the few structures the calls fill.
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

class UserWindows;

// Dialog procedure in portable form: (the windows that run the dialog, dialog, message, wParam, lParam)
// -> INT_PTR.
using DialogProc = std::intptr_t (*)(UserWindows&, WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t);

}  // namespace setup::platform
