// The Windows layer: the registry and the restart.
#include "platform/win/win_shared.h"

namespace setup::platform {

using namespace win;

std::uint32_t WinRegistry::GetLastError() { return ::GetLastError(); }

Status WinRegistry::CallRegDeleteKeyExW(ProcAddress regDeleteKeyEx, RegistryKey key, const wchar_t* subKey,
                                        std::uint32_t samDesired, std::uint32_t reserved) {
  return static_cast<Status>(EntryPoint<fn::RegDeleteKeyExW>(regDeleteKeyEx)(Hkey(key), subKey, samDesired, reserved));
}

Status WinRegistry::CallRegDeleteKeyW(ProcAddress regDeleteKey, RegistryKey key, const wchar_t* subKey) {
  return static_cast<Status>(EntryPoint<fn::RegDeleteKeyW>(regDeleteKey)(Hkey(key), subKey));
}

Status WinRegistry::RegCreateKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options,
                                    std::uint32_t samDesired, RegistryKey* result, std::uint32_t* disposition) {
  HKEY created = nullptr;
  DWORD how = 0;
  const LSTATUS status = ::RegCreateKeyExW(Hkey(key), subKey, 0, nullptr, options, samDesired, nullptr, &created, &how);
  *result = created;
  *disposition = how;
  return static_cast<Status>(status);
}

Status WinRegistry::RegOpenKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options,
                                  std::uint32_t samDesired, RegistryKey* result) {
  HKEY opened = nullptr;
  const LSTATUS status = ::RegOpenKeyExW(Hkey(key), subKey, options, samDesired, &opened);
  *result = opened;
  return static_cast<Status>(status);
}

Status WinRegistry::RegCloseKey(RegistryKey key) { return static_cast<Status>(::RegCloseKey(Hkey(key))); }

Status WinRegistry::RegQueryInfoKeyW(RegistryKey key, std::uint64_t* lastWriteTime) {
  FILETIME written{};
  const LSTATUS status = ::RegQueryInfoKeyW(Hkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, nullptr, &written);
  *lastWriteTime = FileTimeNumber(written);
  return static_cast<Status>(status);
}

bool WinRegistry::LookupPrivilegeValueW(const wchar_t* systemName, const wchar_t* name, std::uint64_t* luid) {
  LUID found{};
  const BOOL succeeded = ::LookupPrivilegeValueW(systemName, name, &found);
  *luid = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(found.HighPart)) << 32) | found.LowPart;
  return succeeded != FALSE;
}

bool WinRegistry::AdjustTokenPrivileges(KernelHandle token, bool disableAll, std::uint64_t luid,
                                        std::uint32_t attributes) {
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid.LowPart = static_cast<DWORD>(luid & 0xFFFFFFFFu);
  privileges.Privileges[0].Luid.HighPart = static_cast<LONG>(luid >> 32);
  privileges.Privileges[0].Attributes = attributes;
  return ::AdjustTokenPrivileges(token, disableAll ? TRUE : FALSE, &privileges, 0, nullptr, nullptr) != FALSE;
}

bool WinRegistry::ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  return CallSystem<fn::ExitWindowsEx>(User32(), "ExitWindowsEx", FALSE, static_cast<UINT>(flags),
                                       static_cast<DWORD>(reason)) != FALSE;
}

bool WinRegistry::CallInitiateSystemShutdownExW(ProcAddress initiateSystemShutdownEx, const wchar_t* machineName,
                                                const wchar_t* message, std::uint32_t timeout, bool forceAppsClosed,
                                                bool rebootAfterShutdown, std::uint32_t reason) {
  return EntryPoint<fn::InitiateSystemShutdownExW>(initiateSystemShutdownEx)(
             const_cast<LPWSTR>(machineName), const_cast<LPWSTR>(message), timeout, forceAppsClosed ? TRUE : FALSE,
             rebootAfterShutdown ? TRUE : FALSE, reason) != FALSE;
}

bool WinRegistry::InitiateSystemShutdownW(const wchar_t* machineName, const wchar_t* message, std::uint32_t timeout,
                                          bool forceAppsClosed, bool rebootAfterShutdown) {
  return ::InitiateSystemShutdownW(const_cast<LPWSTR>(machineName), const_cast<LPWSTR>(message), timeout,
                                   forceAppsClosed ? TRUE : FALSE, rebootAfterShutdown ? TRUE : FALSE) != FALSE;
}

Status WinRegistry::RegQueryValueExW(RegistryKey key, const wchar_t* valueName, std::uint32_t* type, void* data,
                                     std::uint32_t* size) {
  DWORD valueType = 0;
  DWORD length = *size;
  const LSTATUS status =
      ::RegQueryValueExW(Hkey(key), valueName, nullptr, &valueType, static_cast<LPBYTE>(data), &length);
  *type = valueType;
  *size = length;
  return static_cast<Status>(status);
}

}  // namespace setup::platform
