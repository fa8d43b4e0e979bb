// The fake Windows: modules, entry points and resources.
#include <algorithm>
#include <cstring>
#include <utility>

#include "fake_parts.h"
#include "platform/win32_constants.h"

namespace setup::testing {

using namespace fake;

bool FakePlatform::CallIsUserAnAdmin(ProcAddress) { return administrator; }

ModuleHandle FakePlatform::GetModuleHandleW(const wchar_t* moduleName) {
  if (moduleName == nullptr) {
    return reinterpret_cast<ModuleHandle>(0x400000);
  }
  auto found = loadedModules.find(moduleName);
  return found == loadedModules.end() ? nullptr : const_cast<std::wstring*>(&*found);
}

ModuleHandle FakePlatform::LoadLibraryW(const wchar_t* fileName) {
  auto found = loadableModules.find(fileName);
  if (found == loadableModules.end()) {
    lastError_ = kErrorModNotFound;
    return nullptr;
  }
  void* handle = NewHandle();
  libraries_.insert(handle);
  return handle;
}

ModuleHandle FakePlatform::LoadLibraryExW(const wchar_t* fileName, std::uint32_t flags) {
  libraryLoads.emplace_back(fileName, flags);
  constexpr std::uint32_t kSearchFlags = 0xFF00;
  if ((flags & kSearchFlags) != 0 && searchFlags == SearchFlags::kRefused) {
    lastError_ = kErrorInvalidParameter;
    return nullptr;
  }
  const std::wstring path = fileName;
  const std::size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos || !EqualFolded(path.substr(0, slash), systemDirectory) ||
      systemLibraries.count(path.substr(slash + 1)) == 0) {
    lastError_ = kErrorModNotFound;
    return nullptr;
  }
  void* handle = NewHandle();
  libraries_.insert(handle);
  systemLibraryNames_[handle] = path.substr(slash + 1);
  return handle;
}

bool FakePlatform::FreeLibrary(ModuleHandle module) { return libraries_.erase(module) == 1; }

ProcAddress FakePlatform::GetProcAddress(ModuleHandle module, const char* procName) {
  if (module == nullptr) {
    return nullptr;
  }
  const bool shell32 =
      systemLibraryNames_.count(module) != 0 && EqualFolded(systemLibraryNames_[module], L"shell32.dll");
  if (IsOrdinalName(procName)) {
    if (shell32 && procName == OrdinalName(680)) {
      return reinterpret_cast<ProcAddress>(0x3001);
    }
    lastError_ = kErrorProcNotFound;
    return nullptr;
  }
  const std::string name = procName;
  if (name == "IsUserAnAdmin" && shell32 && isUserAnAdminByName) {
    return reinterpret_cast<ProcAddress>(0x3001);
  }
  if (name == "AddDllDirectory" && module == GetModuleHandleW(L"kernel32.dll") && addDllDirectoryExported) {
    return reinterpret_cast<ProcAddress>(0x4001);
  }
  if (name == "InitiateSystemShutdownExW" && module == GetModuleHandleW(L"advapi32.dll") &&
      initiateSystemShutdownExExported) {
    return reinterpret_cast<ProcAddress>(0x2003);
  }
  if (name == "IsWow64Process") {
    return wow64Available ? reinterpret_cast<ProcAddress>(0x1001) : nullptr;
  }
  if (name == "RegDeleteKeyExW") {
    return reinterpret_cast<ProcAddress>(0x2001);
  }
  if (name == "RegDeleteKeyW") {
    return reinterpret_cast<ProcAddress>(0x2002);
  }
  lastError_ = kErrorProcNotFound;
  return nullptr;
}

bool FakePlatform::CallIsWow64Process(ProcAddress, KernelHandle, bool* result) {
  if (wow64CallFails) {
    return false;
  }
  *result = isWow64;
  return true;
}

std::uint32_t FakePlatform::GetModuleFileNameW(ModuleHandle, wchar_t* buffer, std::uint32_t size) {
  if (size == 0) {
    return 0;
  }
  if (modulePath.size() >= size) {
    // The platform truncates and terminates, and reports the buffer as full.
    std::copy_n(modulePath.begin(), size - 1, buffer);
    buffer[size - 1] = L'\0';
    lastError_ = kErrorInsufficientBuffer;
    return size;
  }
  std::copy(modulePath.begin(), modulePath.end(), buffer);
  buffer[modulePath.size()] = L'\0';
  return static_cast<std::uint32_t>(modulePath.size());
}

ResourceHandle FakePlatform::FindResourceW(ModuleHandle, std::uint16_t name, std::uint16_t type) {
  if (type != 6) {
    return nullptr;
  }
  for (const auto& [id, text] : strings) {
    if (id / 16 + 1 == name) {
      return reinterpret_cast<ResourceHandle>(static_cast<std::uintptr_t>(name));
    }
  }
  return nullptr;
}

GlobalHandle FakePlatform::LoadResource(ModuleHandle, ResourceHandle resource) {
  const auto blockId = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(resource));
  block_.clear();
  for (std::uint16_t entry = 0; entry < 16; ++entry) {
    const auto id = static_cast<std::uint16_t>((blockId - 1) * 16 + entry);
    auto found = strings.find(id);
    const std::wstring text = found == strings.end() ? std::wstring() : found->second;
    block_.push_back(static_cast<std::uint16_t>(text.size()));
    for (wchar_t c : text) {
      block_.push_back(static_cast<std::uint16_t>(c));
    }
  }
  return block_.data();
}

const void* FakePlatform::LockResource(GlobalHandle data) { return data; }

std::uint32_t FakePlatform::SizeofResource(ModuleHandle, ResourceHandle) {
  return static_cast<std::uint32_t>(block_.size() * sizeof(std::uint16_t));
}

}  // namespace setup::testing
