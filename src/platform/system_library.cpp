#include "platform/system_library.h"
#include "platform/win32_constants.h"

#include <string>

namespace setup::platform {
namespace {

// The LOAD_LIBRARY_SEARCH_* flags came with Windows 8 and, for Vista and 7, with update KB2533623,
// which also brought AddDllDirectory: its presence is the documented test. Without the update Vista
// and 7 refuse the flags as an invalid parameter, and XP may ignore them, loading the DLL's imports by
// the standard search, which starts in the program's folder.
bool SearchFlagsAvailable(Modules& modules) {
  ModuleHandle kernel = modules.GetModuleHandleW(L"kernel32.dll");
  return kernel != nullptr && modules.GetProcAddress(kernel, "AddDllDirectory") != nullptr;
}

}  // namespace

ModuleHandle LoadSystemLibrary(Modules& modules, SystemFacts& system, const wchar_t* fileName) {
  wchar_t directory[kMaxPath + 1] = {};
  const std::uint32_t length = system.GetSystemDirectoryW(directory, kMaxPath);
  if (length == 0 || length >= kMaxPath) {
    return nullptr;
  }
  const std::wstring path = std::wstring(directory, length) + L"\\" + fileName;
  if (SearchFlagsAvailable(modules)) {
    ModuleHandle module = modules.LoadLibraryExW(path.c_str(), kLoadLibrarySearchSystem32);
    if (module != nullptr || modules.GetLastError() != kErrorInvalidParameter) {
      return module;
    }
  }
  // With a full path, the altered search looks for the DLL's imports in the DLL's own folder, the
  // system directory, before anywhere else; the program's folder is not searched first.
  return modules.LoadLibraryExW(path.c_str(), kLoadWithAlteredSearchPath);
}

}  // namespace setup::platform
