#include "platform/win/dll_search.h"

#include "platform/win/kernel32_function.h"
#include "platform/win/system_functions.h"
#include "platform/win32_constants.h"

#include <windows.h>

#include <string>
#include <vector>

namespace setup::platform {

// SetDefaultDllDirectories is missing before the KB2533623 update, SetDllDirectoryW on Windows 2000.
void RestrictDllSearchToSystemDirectory() {
  if (auto setDefault = Kernel32Function<fn::SetDefaultDllDirectories>("SetDefaultDllDirectories")) {
    if (setDefault(kLoadLibrarySearchSystem32)) {
      return;
    }
  }
  // Without it the program's own folder is still searched first, but at least the current
  // directory is not; the DLLs the program loads itself are named by their full system path.
  if (auto setDllDirectory = Kernel32Function<fn::SetDllDirectoryW>("SetDllDirectoryW")) {
    setDllDirectory(L"");
  }
}

bool HasDllRedirection() {
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = 0;
  while ((length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) >= path.size() &&
         path.size() < 65536) {
    path.resize(path.size() * 2);
  }
  const std::wstring redirection = std::wstring(path.data(), length) + L".local";
  return ::GetFileAttributesW(redirection.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace setup::platform
