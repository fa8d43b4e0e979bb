// Functions of a system DLL loaded at run time from the system folder: a DLL the check imports statically
// would be looked for first beside distcheck.exe, where the folder's owner could have put one.
#pragma once

#include <windows.h>

namespace distcheck {

class SystemFunctions {
 public:
  explicit SystemFunctions(void* module) : module_(static_cast<HMODULE>(module)) {}

  // Null where the DLL could not be loaded or lacks the function.
  template <typename Function>
  Function* Get(const char* name) const {
    return module_ == nullptr
               ? nullptr
               : reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(::GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

}  // namespace distcheck
