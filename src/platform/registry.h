// The registry, and the privilege and calls that restart Windows.
#pragma once

#include "platform/types.h"

namespace setup::platform {

class Registry {
 public:
  virtual ~Registry() = default;

  // disposition receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
  virtual Status RegCreateKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options,
                                 std::uint32_t samDesired, RegistryKey* result, std::uint32_t* disposition) = 0;
  virtual Status RegOpenKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options, std::uint32_t samDesired,
                               RegistryKey* result) = 0;
  virtual Status RegCloseKey(RegistryKey key) = 0;
  // RegQueryInfoKeyW asked for the key's last write time only, a FILETIME as one number.
  virtual Status RegQueryInfoKeyW(RegistryKey key, std::uint64_t* lastWriteTime) = 0;
  // RegQueryValueExW(key, valueName, NULL, &type, data, &size).
  virtual Status RegQueryValueExW(RegistryKey key, const wchar_t* valueName, std::uint32_t* type, void* data,
                                  std::uint32_t* size) = 0;
  virtual Status CallRegDeleteKeyExW(ProcAddress regDeleteKeyEx, RegistryKey key, const wchar_t* subKey,
                                     std::uint32_t samDesired, std::uint32_t reserved) = 0;
  virtual Status CallRegDeleteKeyW(ProcAddress regDeleteKey, RegistryKey key, const wchar_t* subKey) = 0;
  // The error the last failed call of this interface left (on Windows, the thread's).
  virtual std::uint32_t GetLastError() = 0;
  // LookupPrivilegeValueW(NULL, name, &luid); the LUID travels as one 64-bit number (high part first).
  virtual bool LookupPrivilegeValueW(const wchar_t* systemName, const wchar_t* name, std::uint64_t* luid) = 0;
  // AdjustTokenPrivileges with one privilege and no previous-state buffer.
  virtual bool AdjustTokenPrivileges(KernelHandle token, bool disableAll, std::uint64_t luid,
                                     std::uint32_t attributes) = 0;
  virtual bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) = 0;
  virtual bool CallInitiateSystemShutdownExW(ProcAddress initiateSystemShutdownEx, const wchar_t* machineName,
                                             const wchar_t* message, std::uint32_t timeout, bool forceAppsClosed,
                                             bool rebootAfterShutdown, std::uint32_t reason) = 0;
  virtual bool InitiateSystemShutdownW(const wchar_t* machineName, const wchar_t* message, std::uint32_t timeout,
                                       bool forceAppsClosed, bool rebootAfterShutdown) = 0;
};

}  // namespace setup::platform
