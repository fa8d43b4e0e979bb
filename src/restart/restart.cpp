#include "restart/restart.h"

#include "platform/handles.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

constexpr const wchar_t* kMarkerPath = L"Software\\NeedBstrReboot";
constexpr const wchar_t* kMarkerParent = L"Software";
constexpr const wchar_t* kMarkerName = L"NeedBstrReboot";

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
  return Os().RegCreateKeyExW(platform::kHkeyCurrentUser, kMarkerPath, kRegOptionNonVolatile,
                              (kKeyRead | kKeyWrite | kKeyWow6432Key), marker.put());
}

bool TestRestartMarker() {
  platform::UniqueRegistryKey marker;
  return Os().RegOpenKeyExW(platform::kHkeyCurrentUser, kMarkerPath, 0, (kKeyRead | kKeyWow6432Key), marker.put()) == 0;
}

platform::Status DeleteRestartMarker() {
  platform::UniqueRegistryKey parent;
  if (platform::Status status = Os().RegOpenKeyExW(platform::kHkeyCurrentUser, kMarkerParent, 0,
                                                   (kKeyRead | kKeyWrite | kKeyWow6432Key), parent.put())) {
    return status;
  }
  return DeleteSubKey(parent.get(), kMarkerName);
}

bool RestartSystem() {
  platform::UniqueKernelHandle token;
  if (!Os().OpenProcessToken(Os().GetCurrentProcess(), (kTokenAdjustPrivileges | kTokenQuery), token.put())) {
    return false;
  }
  std::uint64_t shutdownPrivilege = 0;
  Os().LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &shutdownPrivilege);
  Os().AdjustTokenPrivileges(token.get(), false, shutdownPrivilege, kSePrivilegeEnabled);
  // AdjustTokenPrivileges reports a privilege it could not grant only through the last error.
  if (Os().GetLastError() != 0) {
    return false;
  }
  return Os().ExitWindowsEx((kEwxReboot | kEwxForce), kShutdownReasonMajorApplication);
}

}  // namespace setup
