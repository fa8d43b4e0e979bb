#include "restart/restart.h"

#include "platform/handles.h"

namespace setup {
namespace {

using platform::Os;

constexpr const wchar_t* kMarkerPath = L"Software\\NeedBstrReboot";
constexpr const wchar_t* kMarkerParent = L"Software";
constexpr const wchar_t* kMarkerName = L"NeedBstrReboot";
constexpr std::uint32_t kAccessReadWrite64 = 0x2021F;  // KEY_READ | KEY_WRITE | KEY_WOW64_64KEY
constexpr std::uint32_t kAccessRead64 = 0x20219;       // KEY_READ | KEY_WOW64_64KEY
constexpr std::uint32_t kRegOptionNonVolatile = 0;

constexpr std::uint32_t kTokenAdjustPrivilegesAndQuery = 0x28;
constexpr std::uint32_t kSePrivilegeEnabled = 2;
constexpr std::uint32_t kEwxRebootForce = 0x6;
constexpr std::uint32_t kShutdownReasonMajorApplication = 0x40000;

// RegDeleteKeyExW exists only on newer systems; where its API set is loaded it is taken from there,
// elsewhere advapi32's RegDeleteKeyW does the same for a key without subkeys.
platform::Status DeleteSubKey(platform::RegistryKey parent, const wchar_t* name) {
  platform::UniqueModule advapi;
  platform::ProcAddress deleteKeyEx = nullptr;
  platform::ProcAddress deleteKey = nullptr;
  if (platform::ModuleHandle apiSet = Os().GetModuleHandleW(L"API-MS-Win-Core-LocalRegistry-L1-1-0.dll")) {
    deleteKeyEx = Os().GetProcAddress(apiSet, "RegDeleteKeyExW");
  } else {
    advapi.reset(Os().LoadLibraryW(L"advapi32.dll"));
    deleteKey = Os().GetProcAddress(advapi.get(), "RegDeleteKeyW");
  }
  if (deleteKeyEx != nullptr) {
    return Os().CallRegDeleteKeyExW(deleteKeyEx, parent, name, 0, 0);
  }
  if (deleteKey != nullptr) {
    return Os().CallRegDeleteKeyW(deleteKey, parent, name);
  }
  return Os().GetLastError();
}

}  // namespace

platform::Status CreateRestartMarker() {
  platform::UniqueRegistryKey marker;
  return Os().RegCreateKeyExW(platform::kHkeyCurrentUser, kMarkerPath, kRegOptionNonVolatile, kAccessReadWrite64,
                              marker.put());
}

bool TestRestartMarker() {
  platform::UniqueRegistryKey marker;
  return Os().RegOpenKeyExW(platform::kHkeyCurrentUser, kMarkerPath, 0, kAccessRead64, marker.put()) == 0;
}

platform::Status DeleteRestartMarker() {
  platform::UniqueRegistryKey parent;
  if (platform::Status status =
          Os().RegOpenKeyExW(platform::kHkeyCurrentUser, kMarkerParent, 0, kAccessReadWrite64, parent.put())) {
    return status;
  }
  return DeleteSubKey(parent.get(), kMarkerName);
}

bool RestartSystem() {
  platform::UniqueKernelHandle token;
  if (!Os().OpenProcessToken(Os().GetCurrentProcess(), kTokenAdjustPrivilegesAndQuery, token.put())) {
    return false;
  }
  std::uint64_t shutdownPrivilege = 0;
  Os().LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &shutdownPrivilege);
  Os().AdjustTokenPrivileges(token.get(), false, shutdownPrivilege, kSePrivilegeEnabled);
  // AdjustTokenPrivileges reports a privilege it could not grant only through the last error.
  if (Os().GetLastError() != 0) {
    return false;
  }
  return Os().ExitWindowsEx(kEwxRebootForce, kShutdownReasonMajorApplication);
}

}  // namespace setup
