// The fake Windows: the registry and the restart.
#include <algorithm>
#include <cstring>
#include <utility>

#include "fake_parts.h"
#include "platform/win32_constants.h"

namespace setup::testing {

using namespace fake;

Status FakePlatform::CallRegDeleteKeyExW(ProcAddress, RegistryKey key, const wchar_t* subKey, std::uint32_t,
                                         std::uint32_t) {
  return CallRegDeleteKeyW(nullptr, key, subKey);
}

Status FakePlatform::CallRegDeleteKeyW(ProcAddress, RegistryKey key, const wchar_t* subKey) {
  auto parent = registryHandles_.find(key);
  if (parent == registryHandles_.end()) {
    return kErrorInvalidHandle;
  }
  // "RegDeleteKeyW function": "The subkey to be deleted must not have subkeys."
  const std::wstring path = parent->second + L"\\" + subKey;
  const auto below = registryKeys.upper_bound(path + L"\\");
  if (below != registryKeys.end() && IsBelowNoCase(*below, path)) {
    return kErrorAccessDenied;
  }
  return registryKeys.erase(path) == 1 ? 0 : kErrorFileNotFound;
}

Status FakePlatform::RegCreateKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t, std::uint32_t samDesired,
                                     RegistryKey* result, std::uint32_t* disposition) {
  registryAccess.emplace_back(subKey, samDesired);
  if (key != kHkeyCurrentUser) {
    return kErrorInvalidHandle;
  }
  if (!registryViewFlags && (samDesired & kRegistryViewFlags) != 0) {
    return kErrorAccessDenied;
  }
  if (registryCreateError != 0) {
    return registryCreateError;
  }
  const bool created = registryKeys.insert(subKey).second;
  if (created) {
    registryWriteTimes.erase(subKey);  // a key opened exists unchanged, a key created is written now
  }
  *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
  *result = NewHandle();
  registryHandles_[*result] = subKey;
  return 0;
}

Status FakePlatform::RegOpenKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t, std::uint32_t samDesired,
                                   RegistryKey* result) {
  registryAccess.emplace_back(subKey, samDesired);
  if (key == kHkeyLocalMachine) {
    return OpenLocalMachineKey(subKey, samDesired, result);
  }
  if (key != kHkeyCurrentUser) {
    return kErrorInvalidHandle;
  }
  if (!registryViewFlags && (samDesired & kRegistryViewFlags) != 0) {
    return kErrorAccessDenied;
  }
  if (registryKeys.count(subKey) == 0 && std::wstring(subKey) != L"Software") {
    return kErrorFileNotFound;
  }
  *result = NewHandle();
  registryHandles_[*result] = subKey;
  return 0;
}

Status FakePlatform::RegCloseKey(RegistryKey key) { return registryHandles_.erase(key) == 1 ? 0 : kErrorInvalidHandle; }

Status FakePlatform::RegQueryInfoKeyW(RegistryKey key, std::uint64_t* lastWriteTime) {
  auto opened = registryHandles_.find(key);
  if (opened == registryHandles_.end()) {
    return kErrorInvalidHandle;
  }
  auto written = registryWriteTimes.find(opened->second);
  *lastWriteTime = written != registryWriteTimes.end() ? written->second : systemTime;
  return 0;
}

bool FakePlatform::LookupPrivilegeValueW(const wchar_t*, const wchar_t* name, std::uint64_t* luid) {
  adjustedPrivileges.push_back(name);
  *luid = kShutdownPrivilege;
  return true;
}

bool FakePlatform::AdjustTokenPrivileges(KernelHandle, bool, std::uint64_t luid, std::uint32_t attributes) {
  lastError_ = adjustPrivilegesError;
  shutdownPrivilegeEnabled_ =
      adjustPrivilegesError == 0 && luid == kShutdownPrivilege && (attributes & kSePrivilegeEnabled) != 0;
  return true;
}

// "ExitWindowsEx function": it ends the caller's logon session, so "if you are not the interactive
// user, the function can succeed without actually shutting down the computer".
bool FakePlatform::ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  if (!interactiveUser) {
    return shutdownPrivilegeEnabled_;
  }
  return Shutdown(flags, reason);
}

bool FakePlatform::CallInitiateSystemShutdownExW(ProcAddress, const wchar_t*, const wchar_t*, std::uint32_t,
                                                 bool forceAppsClosed, bool rebootAfterShutdown, std::uint32_t reason) {
  return Shutdown((forceAppsClosed ? kEwxForce : 0) | (rebootAfterShutdown ? kEwxReboot : 0), reason);
}

bool FakePlatform::InitiateSystemShutdownW(const wchar_t*, const wchar_t*, std::uint32_t, bool forceAppsClosed,
                                           bool rebootAfterShutdown) {
  return Shutdown((forceAppsClosed ? kEwxForce : 0) | (rebootAfterShutdown ? kEwxReboot : 0), 0);
}

Status FakePlatform::RegQueryValueExW(RegistryKey key, const wchar_t* valueName, std::uint32_t* type, void* data,
                                      std::uint32_t* size) {
  auto opened = registryHandles_.find(key);
  if (opened == registryHandles_.end() || !opened->second.starts_with(L"HKLM\\")) {
    return kErrorInvalidHandle;
  }
  auto found = localMachineDwords.find(opened->second.substr(5) + L"\\" + valueName);
  if (found == localMachineDwords.end()) {
    return kErrorFileNotFound;
  }
  *type = kRegDword;
  if (*size < sizeof(std::uint32_t)) {
    *size = sizeof(std::uint32_t);
    return kErrorMoreData;
  }
  *size = sizeof(std::uint32_t);
  std::memcpy(data, &found->second, sizeof(std::uint32_t));
  return 0;
}

}  // namespace setup::testing
