// The Windows layer: modules, entry points and resources.
#include "platform/win/win_shared.h"

namespace setup::platform {

using namespace win;

std::uint32_t WinModules::GetLastError() { return ::GetLastError(); }

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

}  // namespace setup::platform
