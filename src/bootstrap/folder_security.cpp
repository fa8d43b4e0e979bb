#include "bootstrap/folder_security.h"

#include <string>
#include <vector>

#include "base/console.h"
#include "base/messages.h"
#include "packages/package_identity.h"
#include "packages/package_lookups.h"
#include "packages/package_search.h"
#include "platform/platform.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

// SYSTEM, Administrators and TrustedInstaller: whoever else can change the folder can change what a
// run as SYSTEM installs.
constexpr const wchar_t* kTrustedSids[] = {
    L"S-1-5-18",
    L"S-1-5-32-544",
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
};
constexpr wchar_t kEveryone[] = L"S-1-1-0";

// "File Security and Access Rights", "File Access Rights Constants": the rights that replace a file's
// contents or the file itself, or hand its security to someone else; for a folder also those that add
// a file or a subfolder and delete what it holds. Deny ACEs are not weighed against them: the warning
// may then name someone a deny ACE keeps out, which errs on the side of warning.
constexpr std::uint32_t kFileChangingRights =
    kFileWriteData | kFileAppendData | kDelete | kWriteDac | kWriteOwner | kGenericWrite | kGenericAll;
constexpr std::uint32_t kFolderChangingRights = kFileChangingRights | kFileDeleteChild;

constexpr const wchar_t* kProviderFolders[] = {L"csp", L"ucsp"};

struct Checked {
  std::wstring path;
  bool folder;
};

bool IsTrusted(const std::wstring& sid) {
  for (const wchar_t* trusted : kTrustedSids) {
    if (sid == trusted) {
      return true;
    }
  }
  return false;
}

bool IsDenial(std::uint8_t type) {
  return type == kAccessDeniedAceType || type == kAccessDeniedObjectAceType || type == kAccessDeniedCallbackAceType ||
         type == kAccessDeniedCallbackObjectAceType;
}

void AddOnce(std::vector<std::wstring>& names, const std::wstring& name) {
  for (const std::wstring& known : names) {
    if (known == name) {
      return;
    }
  }
  names.push_back(name);
}

std::wstring Joined(const std::vector<std::wstring>& names) {
  std::wstring text;
  for (const std::wstring& name : names) {
    text += (text.empty() ? L"" : L", ") + name;
  }
  return text;
}

// Who other than the trusted may change the object: the SIDs of the ACEs that apply to it (an
// inherit-only ACE, CREATOR OWNER's among them, only to what is made below it), its owner, who may
// rewrite the DACL whatever it says, and everyone where there is no DACL. Empty when nobody.
std::wstring ChangersOf(const Platform& os, const Checked& object) {
  FileSecurity security;
  if (const Status status = os.files.GetNamedSecurityInfoW(object.path, security)) {
    return L"security not readable, error " + FormatUnsigned(status);
  }
  std::vector<std::wstring> names;
  if (security.nullDacl) {
    names.push_back(std::wstring(kEveryone) + L" (no DACL)");
  }
  const std::uint32_t rights = object.folder ? kFolderChangingRights : kFileChangingRights;
  for (const AccessEntry& entry : security.entries) {
    if (IsDenial(entry.type) || (entry.flags & kInheritOnlyAce) != 0 || (entry.mask & rights) == 0 ||
        IsTrusted(entry.sid)) {
      continue;
    }
    AddOnce(names, entry.sid.empty() ? std::wstring(L"an ACE of type ") + FormatUnsigned(entry.type) : entry.sid);
  }
  if (!security.owner.empty() && !IsTrusted(security.owner)) {
    AddOnce(names, L"owner " + security.owner);
  }
  return Joined(names);
}

// "C:\dist\" -> "C:\dist": a folder is named without its last backslash, a drive's root with it.
std::wstring FolderPath(std::wstring directory) {
  if (directory.size() > 3 && directory.back() == L'\\') {
    directory.pop_back();
  }
  return directory;
}

// The root of the volume: GetVolumePathNameW's answer (a mounted folder included), else the drive or
// the share the path starts with.
std::wstring VolumeRootOf(const Platform& os, const std::wstring& directory) {
  std::wstring root;
  if (os.files.GetVolumePathNameW(directory, root)) {
    return root;
  }
  std::size_t end = directory.find(L'\\', directory.starts_with(L"\\\\") ? 2 : 0);
  if (end != std::wstring::npos && directory.starts_with(L"\\\\")) {
    end = directory.find(L'\\', end + 1);
  }
  return end == std::wstring::npos ? directory : directory.substr(0, end + 1);
}

// "GetVolumeInformationW function": without FILE_PERSISTENT_ACLS (FAT, exFAT) anyone may change
// anything on the volume.
bool KeepsNoAcls(const Platform& os, const std::wstring& root) {
  std::uint32_t flags = 0;
  return os.files.GetVolumeInformationW(root, &flags) && (flags & kFilePersistentAcls) == 0;
}

void AddPickedPackage(const Platform& os, const std::vector<std::wstring>& masks, std::vector<Checked>& objects) {
  std::wstring path;
  if (FindFirstPackageFile(os.files, ProgramDirectory(os.modules), masks, path) != 0) {
    return;
  }
  for (const Checked& known : objects) {
    if (known.path == path) {
      return;
    }
  }
  objects.push_back({path, false});
}

// What a run reads and runs: the folder, the provider folders and setups that exist, and the packages
// that this Windows' lookups pick.
std::vector<Checked> ObjectsOfTheRun(const Platform& os, const std::wstring& directory) {
  std::vector<Checked> objects{{FolderPath(directory), true}};
  for (const wchar_t* provider : kProviderFolders) {
    const std::wstring folder = directory + provider;
    if (os.files.WStat(folder) == 0) {
      objects.push_back({folder, true});
      if (os.files.WStat(folder + L"\\Setup.exe") == 0) {
        objects.push_back({folder + L"\\Setup.exe", false});
      }
    }
  }
  for (const PackageLookup& lookup : PackageLookups()) {
    AddPickedPackage(os, LookupMasks(os, lookup.kind), objects);
  }
  return objects;
}

std::wstring ChangeableParts(const Platform& os, const std::wstring& directory) {
  const std::wstring root = VolumeRootOf(os, directory);
  if (KeepsNoAcls(os, root)) {
    return root + L" (the volume keeps no access control lists: everyone)";
  }
  std::vector<std::wstring> parts;
  for (const Checked& object : ObjectsOfTheRun(os, directory)) {
    if (const std::wstring changers = ChangersOf(os, object); !changers.empty()) {
      parts.push_back(object.path + L" (" + changers + L")");
    }
  }
  return Joined(parts);
}

}  // namespace

void WarnOfWritableFolder(const Platform& os, const RunConduct& conduct) {
  const std::wstring directory = ProgramDirectory(os.modules);
  const std::wstring parts = ChangeableParts(os, directory);
  if (parts.empty()) {
    conduct.Log({L"distribution folder: only SYSTEM, Administrators and TrustedInstaller can change it"});
    return;
  }
  const std::wstring warning =
      L"warning: others than SYSTEM, Administrators and TrustedInstaller can change what this run installs: " + parts;
  conduct.Log({warning});
  if (conduct.warningsToConsole) {
    PrintLine(os, L"Setup.exe: " + warning);
  }
}

}  // namespace setup
