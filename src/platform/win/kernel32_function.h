// kernel32 functions that older Windows releases lack are looked up, so that the program still starts.
#pragma once

#include <windows.h>

namespace setup::platform {

// The entry point of kernel32's function of that name as the given function type, or null.
template <typename Signature>
Signature Kernel32Function(const char* name) {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  return kernel != nullptr ? reinterpret_cast<Signature>(reinterpret_cast<void (*)()>(::GetProcAddress(kernel, name)))
                           : nullptr;
}

}  // namespace setup::platform
