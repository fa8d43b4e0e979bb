#include "platform/win/dll_search.h"

#include "platform/win/kernel32_function.h"
#include "platform/win/system_functions.h"
#include "platform/win32_constants.h"

#include <windows.h>

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

}  // namespace setup::platform
