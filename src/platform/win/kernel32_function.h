// Functions that older Windows releases lack are looked up, so that the program still starts.
#pragma once

#include <windows.h>

namespace setup::platform {

// The entry point of the function of that name in a DLL the program imports, as the given function
// type, or null.
template <typename Signature>
Signature ImportedDllFunction(const wchar_t* dll, const char* name) {
  HMODULE module = ::GetModuleHandleW(dll);
  return module != nullptr ? reinterpret_cast<Signature>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)))
                           : nullptr;
}

template <typename Signature>
Signature Kernel32Function(const char* name) {
  return ImportedDllFunction<Signature>(L"kernel32.dll", name);
}

template <typename Signature>
Signature Advapi32Function(const char* name) {
  return ImportedDllFunction<Signature>(L"advapi32.dll", name);
}

}  // namespace setup::platform
