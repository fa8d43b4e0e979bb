#include "platform/win/dll_search.h"

#include <windows.h>

#include <string>
#include <vector>

namespace setup::platform {
namespace {

// SetDefaultDllDirectories and SetDllDirectoryW are missing on older systems (the first before the
// KB2533623 update, the second on Windows 2000): both are looked up so that the program still starts.
template <typename Signature>
Signature Kernel32Function(const char* name) {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  return kernel != nullptr ? reinterpret_cast<Signature>(reinterpret_cast<void (*)()>(::GetProcAddress(kernel, name)))
                           : nullptr;
}

constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;

}  // namespace

void RestrictDllSearchToSystemDirectory() {
  if (auto setDefault = Kernel32Function<BOOL(WINAPI*)(DWORD)>("SetDefaultDllDirectories")) {
    if (setDefault(kLoadLibrarySearchSystem32)) {
      return;
    }
  }
  // Without it the program's own folder is still searched first, but at least the current
  // directory is not; the DLLs the program loads itself are named by their full system path.
  if (auto setDllDirectory = Kernel32Function<BOOL(WINAPI*)(LPCWSTR)>("SetDllDirectoryW")) {
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
