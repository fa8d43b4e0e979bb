#include "restart/restart.h"

#include "base/messages.h"
#include "base/window_station.h"
#include "base/windows_version.h"
#include "platform/handles.h"
#include "platform/win32_constants.h"

#include <optional>

namespace setup {

using namespace platform;

namespace {

constexpr const wchar_t* kMarkerPath = L"Software\\NeedBstrReboot";
constexpr const wchar_t* kMarkerParent = L"Software";
constexpr const wchar_t* kMarkerName = L"NeedBstrReboot";

// The marker's access with the registry-view flag, which Windows 2000 does not know: its registry
// documentation marks KEY_WOW64_32KEY "not supported" there, and installers that run there leave it
// out. HKCU\Software is one key in both views, so the key is the same either way.
std::uint32_t MarkerAccess(const Platform& os, std::uint32_t access) {
  return IsExactWindowsVersion(os.system, 0) ? access : (access | kKeyWow6432Key);
}

platform::Status OpenMarker(const Platform& os, platform::UniqueRegistryKey& marker) {
  return os.registry.RegOpenKeyExW(platform::kHkeyCurrentUser, kMarkerPath, 0, MarkerAccess(os, kKeyRead),
                                   marker.put());
}

// When Windows last started, as a FILETIME: now less the time since then. "GetTickCount64 function":
// the milliseconds "since the system was started", from Vista on. Windows 2000, XP and 2003 have only
// GetTickCount, which "will wrap around to zero if the system is run continuously for 49.7 days"
// ("GetTickCount function"), so there the start cannot be known.
std::optional<std::uint64_t> ReadStartTime(const Platform& os) {
  constexpr std::uint64_t kFileTimeUnitsPerMillisecond = 10'000;
  const std::optional<std::uint64_t> ticks = os.system.GetTickCount64();
  if (!ticks) {
    return std::nullopt;
  }
  const std::uint64_t now = os.system.GetSystemTimeAsFileTime();
  const std::uint64_t sinceStart = *ticks * kFileTimeUnitsPerMillisecond;
  return now > sinceStart ? now - sinceStart : 0;
}

// RegDeleteKeyExW exists only on newer systems; where its API set is loaded it is taken from there,
// elsewhere advapi32's RegDeleteKeyW does the same for a key without subkeys.
platform::Status DeleteSubKey(const Platform& os, platform::RegistryKey parent, const wchar_t* name) {
  platform::UniqueModule advapi(os.modules);
  platform::ProcAddress deleteKeyEx = nullptr;
  platform::ProcAddress deleteKey = nullptr;
  if (platform::ModuleHandle apiSet = os.modules.GetModuleHandleW(L"API-MS-Win-Core-LocalRegistry-L1-1-0.dll")) {
    deleteKeyEx = os.modules.GetProcAddress(apiSet, "RegDeleteKeyExW");
  } else {
    advapi.reset(os.modules.LoadLibraryW(L"advapi32.dll"));
    deleteKey = os.modules.GetProcAddress(advapi.get(), "RegDeleteKeyW");
  }
  if (deleteKeyEx != nullptr) {
    return os.registry.CallRegDeleteKeyExW(deleteKeyEx, parent, name, 0, 0);
  }
  if (deleteKey != nullptr) {
    return os.registry.CallRegDeleteKeyW(deleteKey, parent, name);
  }
  return os.registry.GetLastError();
}

// InitiateSystemShutdownExW came with Windows XP. Windows 2000 has InitiateSystemShutdownW, the same
// request without the reason code, which that release does not record anyway.
bool InitiateRestart(const Platform& os) {
  constexpr std::uint32_t kImmediately = 0;  // no countdown box, and no way to abort it
  platform::ModuleHandle advapi = os.modules.GetModuleHandleW(L"advapi32.dll");
  if (platform::ProcAddress initiateEx =
          advapi != nullptr ? os.modules.GetProcAddress(advapi, "InitiateSystemShutdownExW") : nullptr) {
    return os.registry.CallInitiateSystemShutdownExW(initiateEx, nullptr, nullptr, kImmediately, true, true,
                                                     kShutdownReasonMajorApplication);
  }
  return os.registry.InitiateSystemShutdownW(nullptr, nullptr, kImmediately, true, true);
}

bool RequestRestart(const Platform& os) {
  platform::UniqueKernelHandle token(os.processes);
  if (!os.processes.OpenProcessToken(os.processes.GetCurrentProcess(), (kTokenAdjustPrivileges | kTokenQuery),
                                     token.put())) {
    return false;
  }
  std::uint64_t shutdownPrivilege = 0;
  os.registry.LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &shutdownPrivilege);
  os.registry.AdjustTokenPrivileges(token.get(), false, shutdownPrivilege, kSePrivilegeEnabled);
  // AdjustTokenPrivileges reports a privilege it could not grant only through the last error.
  if (os.registry.GetLastError() != 0) {
    return false;
  }
  // ExitWindowsEx ends the caller's logon session, and restarts the computer only when that is the
  // interactive user's: for a service or an agent running as SYSTEM, or a scheduled task, it succeeds
  // without restarting anything.
  if (IsInteractiveWindowStation(os.windows)) {
    return os.registry.ExitWindowsEx((kEwxReboot | kEwxForce), kShutdownReasonMajorApplication);
  }
  return InitiateRestart(os);
}

}  // namespace

// "RegCreateKeyExW function": an existing key "was simply opened without being changed", its write
// time with it, so a marker left from before the last start would still read as stale after the
// restart was asked for again. Made anew, only that time changes. A marker that cannot be deleted (a
// key with subkeys: "RegDeleteKeyW function", "must not have subkeys") or that is there again when
// created has not been made anew, and the caller is told so rather than handed the old key.
platform::Status CreateRestartMarker(const Platform& os) {
  if (TestRestartMarker(os)) {
    if (const platform::Status status = DeleteRestartMarker(os)) {
      return status;
    }
  }
  platform::UniqueRegistryKey marker(os.registry);
  std::uint32_t disposition = 0;
  const platform::Status status =
      os.registry.RegCreateKeyExW(platform::kHkeyCurrentUser, kMarkerPath, kRegOptionNonVolatile,
                                  MarkerAccess(os, kKeyRead | kKeyWrite), marker.put(), &disposition);
  if (status != 0) {
    return status;
  }
  return disposition == kRegCreatedNewKey ? 0 : kErrorAlreadyExists;
}

void RecordRestartMarker(const Platform& os, const RunConduct& conduct) {
  const platform::Status marker = CreateRestartMarker(os);
  if (marker == 0) {
    conduct.Log({L"restart marker created"});
  } else {
    conduct.Log({L"restart marker not created, error ", FormatUnsigned(marker)});
  }
}

bool TestRestartMarker(const Platform& os) {
  platform::UniqueRegistryKey marker(os.registry);
  return OpenMarker(os, marker) == 0;
}

// "RegQueryInfoKey function": the last time the key or any of its values was modified, in the
// absolute system time ("KEY_WRITE_TIME_INFORMATION structure") that GetSystemTimeAsFileTime gives.
MarkerAge ReadMarkerAge(const Platform& os) {
  platform::UniqueRegistryKey marker(os.registry);
  if (OpenMarker(os, marker) != 0) {
    return MarkerAge::kAbsent;
  }
  std::uint64_t written = 0;
  const std::optional<std::uint64_t> start = ReadStartTime(os);
  if (!start || os.registry.RegQueryInfoKeyW(marker.get(), &written) != 0) {
    return MarkerAge::kUnknown;
  }
  return written < *start ? MarkerAge::kBeforeStart : MarkerAge::kSinceStart;
}

bool IsRestartPending(MarkerAge age) { return age == MarkerAge::kSinceStart || age == MarkerAge::kUnknown; }

platform::Status DeleteRestartMarker(const Platform& os) {
  platform::UniqueRegistryKey parent(os.registry);
  if (platform::Status status = os.registry.RegOpenKeyExW(platform::kHkeyCurrentUser, kMarkerParent, 0,
                                                          MarkerAccess(os, kKeyRead | kKeyWrite), parent.put())) {
    return status;
  }
  return DeleteSubKey(os, parent.get(), kMarkerName);
}

bool RestartSystem(const Platform& os) {
  if (RequestRestart(os)) {
    return true;
  }
  // The caller deleted the marker before asking; the restart is still pending, for a later run.
  CreateRestartMarker(os);
  return false;
}

}  // namespace setup
