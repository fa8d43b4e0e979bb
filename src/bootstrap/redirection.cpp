#include "bootstrap/redirection.h"

#include <cwctype>
#include <string>

#include "base/windows_version.h"
#include "packages/package_search.h"
#include "platform/handles.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

// "CreateToolhelp32Snapshot function": a module snapshot that fails with ERROR_BAD_LENGTH is to be
// asked for again. Past this many times the list is left unread rather than waited for.
constexpr int kSnapshotAttempts = 8;

constexpr wchar_t kSideBySideKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide";

// Loader paths compare without case; the folder part of a DLL's path is the program's folder as the
// loader spelt it, so folding ASCII is enough.
bool EqualFolded(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool IsInFolder(const std::wstring& path, const std::wstring& folder) {
  return path.size() > folder.size() && EqualFolded(path.substr(0, folder.size()), folder) &&
         path.find(L'\\', folder.size()) == std::wstring::npos;
}

// "Dynamic-Link Library Redirection": with <program>.local beside it, the loader takes any DLL from
// there, even one asked for by its full system path.
bool HasLocalRedirection(const Platform& os, const std::wstring& program) {
  return os.files.WStat(program + L".local") == 0;
}

bool PrefersExternalManifestIn(const Platform& os, std::uint32_t view) {
  UniqueRegistryKey key(os.registry);
  if (os.registry.RegOpenKeyExW(kHkeyLocalMachine, kSideBySideKey, 0, kKeyQueryValue | view, key.put()) != 0) {
    return false;
  }
  std::uint32_t type = 0;
  std::uint32_t value = 0;
  std::uint32_t size = sizeof value;
  return os.registry.RegQueryValueExW(key.get(), L"PreferExternalManifest", &type, &value, &size) == 0 &&
         type == kRegDword && size == sizeof value && value != 0;
}

// "Internal Manifest vs External Manifest": Windows XP takes <program>.manifest instead of the
// embedded manifest, and so did Server 2003 until SP1 changed the order (KB912949); later releases
// prefer the embedded one unless PreferExternalManifest is set. Windows 2000 has no side-by-side
// assemblies. Both registry views are read: which one the loader consults for a 32-bit program is
// not documented.
bool TakesExternalManifest(const Platform& os) {
  if (IsExactWindowsVersion(os.system, 0)) {
    return false;
  }
  if (IsExactWindowsVersion(os.system, 1) || IsExactWindowsVersion(os.system, 2, 1)) {
    return true;
  }
  return PrefersExternalManifestIn(os, kKeyWow6464Key) || PrefersExternalManifestIn(os, kKeyWow6432Key);
}

bool HasExternalManifest(const Platform& os, const std::wstring& program) {
  return os.files.WStat(program + L".manifest") == 0 && TakesExternalManifest(os);
}

UniqueKernelHandle SnapshotModules(const Platform& os) {
  for (int attempt = 0; attempt < kSnapshotAttempts; ++attempt) {
    UniqueKernelHandle snapshot(os.processes, os.processes.CreateToolhelp32Snapshot(kTh32csSnapModule, 0));
    if (snapshot || os.processes.GetLastError() != kErrorBadLength) {
      return snapshot;
    }
  }
  return UniqueKernelHandle(os.processes);
}

// Windows loads DLLs into a program named Setup.exe before its first line (the compatibility shims
// of installers), and the program's folder is searched for them.
bool HasModuleFromProgramFolder(const Platform& os, const std::wstring& program) {
  const std::size_t slash = program.rfind(L'\\');
  if (slash == std::wstring::npos) {
    return false;
  }
  const std::wstring folder = program.substr(0, slash + 1);
  UniqueKernelHandle snapshot = SnapshotModules(os);
  if (!snapshot) {
    return false;
  }
  ModuleEntry module;
  for (bool more = os.processes.Module32FirstW(snapshot.get(), module); more;
       more = os.processes.Module32NextW(snapshot.get(), module)) {
    if (IsInFolder(module.exePath, folder) && !EqualFolded(module.exePath, program)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool HasDllRedirection(const Platform& os) {
  const std::wstring program = ProgramPath(os.modules);
  return HasLocalRedirection(os, program) || HasExternalManifest(os, program) ||
         HasModuleFromProgramFolder(os, program);
}

}  // namespace setup
