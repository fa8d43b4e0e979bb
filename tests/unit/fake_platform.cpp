#include "fake_platform.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <utility>

#include "base/messages.h"
#include "fake_parts.h"
#include "packages/msi_access.h"
#include "platform/win32_constants.h"
#include "process_state.h"

namespace setup::testing {
namespace {

using namespace fake;

const std::uint16_t kCatalogue[] = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 117, 118, 119,
                                    122, 123, 124, 125, 126, 127, 128, 129, 131, 133, 134, 135, 139, 142,
                                    143, 144, 147, 150, 151, 152, 153, 154, 155, 156, 157, 158};

// What each release does, each rule beside the page of Microsoft's documentation it comes from. The
// rules every release shares live in the calls themselves: a broadcast waits for the windows of a
// thread that does not answer (MsgWaitForMultipleObjects), CONOUT$ opens only for both kinds of
// sharing (CreateFileW), and ExitWindowsEx restarts nothing outside the interactive session.
struct ReleaseRules {
  Release release;
  const char* name;
  std::uint32_t major, minor;
  std::uint16_t servicePack;
  // "LoadLibraryExW function", "AddDllDirectory function": the LOAD_LIBRARY_SEARCH_* flags come with
  // Windows 8, and with KB2533623 (which also brings AddDllDirectory) to 7 and Vista, which refuse
  // them without it; XP and 2003 know nothing of them and search the standard way.
  FakePlatform::SearchFlags searchFlags;
  bool addDllDirectory;
  // "IsUserAnAdmin function": Windows 2000's shell32 exports it by its ordinal, 680, only.
  bool isUserAnAdminByName;
  // "Registry Key Security and Access Rights": KEY_WOW64_32KEY and KEY_WOW64_64KEY, "Windows 2000:
  // This flag is not supported". Assumed here to be refused as access the key's security does not
  // grant (not verified on a Windows 2000).
  bool registryViewFlags;
  // "AttachConsole function", "InitiateSystemShutdownExW function": Windows XP and later.
  bool attachConsole;
  bool initiateSystemShutdownEx;
};

using Flags = FakePlatform::SearchFlags;
constexpr ReleaseRules kReleaseRules[] = {
    {Release::k2000, "Windows 2000 SP4", 5, 0, 4, Flags::kIgnored, false, false, false, false, false},
    {Release::kXp, "XP", 5, 1, 0, Flags::kIgnored, false, true, true, true, true},
    {Release::kXpSp1, "XP SP1", 5, 1, 1, Flags::kIgnored, false, true, true, true, true},
    {Release::kXpSp2, "XP SP2", 5, 1, 2, Flags::kIgnored, false, true, true, true, true},
    {Release::kXpSp3, "XP SP3", 5, 1, 3, Flags::kIgnored, false, true, true, true, true},
    {Release::k2003, "Server 2003 SP2", 5, 2, 2, Flags::kIgnored, false, true, true, true, true},
    {Release::kVista, "Vista SP2", 6, 0, 2, Flags::kRefused, false, true, true, true, true},
    {Release::k7, "7 SP1", 6, 1, 1, Flags::kRefused, false, true, true, true, true},
    {Release::k7Kb2533623, "7 SP1 with KB2533623", 6, 1, 1, Flags::kHonoured, true, true, true, true, true},
    {Release::k8, "8", 6, 2, 0, Flags::kHonoured, true, true, true, true, true},
    {Release::k81, "8.1", 6, 3, 0, Flags::kHonoured, true, true, true, true, true},
    {Release::k10, "10", 10, 0, 0, Flags::kHonoured, true, true, true, true, true},
    {Release::k11, "11", 10, 0, 0, Flags::kHonoured, true, true, true, true, true},
};

const ReleaseRules& RulesOf(Release release) {
  return *std::find_if(std::begin(kReleaseRules), std::end(kReleaseRules),
                       [&](const ReleaseRules& rules) { return rules.release == release; });
}

}  // namespace

const Release kEveryRelease[13] = {Release::k2000,       Release::kXp,   Release::kXpSp1, Release::kXpSp2,
                                   Release::kXpSp3,      Release::k2003, Release::kVista, Release::k7,
                                   Release::k7Kb2533623, Release::k8,    Release::k81,    Release::k10,
                                   Release::k11};

void PrintTo(Release release, std::ostream* out) { *out << RulesOf(release).name; }

void FakePlatform::UseRelease(Release release) {
  const ReleaseRules& rules = RulesOf(release);
  osMajor = rules.major;
  osMinor = rules.minor;
  osServicePackMajor = rules.servicePack;
  searchFlags = rules.searchFlags;
  addDllDirectoryExported = rules.addDllDirectory;
  isUserAnAdminByName = rules.isUserAnAdminByName;
  registryViewFlags = rules.registryViewFlags;
  attachConsoleExported = rules.attachConsole;
  initiateSystemShutdownExExported = rules.initiateSystemShutdownEx;
  getTickCount64Exported = rules.major >= 6;  // "GetTickCount64 function": Windows Vista and later
  // "GetFinalPathNameByHandleW function", "SetFileInformationByHandle function": Vista and later.
  fileHandleCallsExported = rules.major >= 6;
}

bool CaseInsensitiveLess::operator()(const std::wstring& a, const std::wstring& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](wchar_t x, wchar_t y) { return Fold(x) < Fold(y); });
}

FakePlatform::FakePlatform() {
  // Every fake is a process of its own, so nothing looked up or made by an earlier one may carry over.
  ForgetIsWow64Process();
  ForgetOwnerWindow();
  for (std::uint16_t id : kCatalogue) {
    strings[id] = L"[" + std::to_wstring(id) + L"]";
  }
  strings[153] = L"[153] %s|%s|%s";
  strings[142] = L"Скрыть";
  strings[143] = L"Опции";
  now.tm_year = 2026 - 1900;
  now.tm_mon = 11;
  now.tm_mday = 8;
  now.tm_hour = 9;
  now.tm_min = 5;
  now.tm_sec = 7;
  AddFile(modulePath);
  AddDirectory(L"C:\\Temp");
}

FakePlatform::~FakePlatform() = default;

void* FakePlatform::NewHandle() { return reinterpret_cast<void*>(nextHandle_ += 4); }

int FakePlatform::openHandles() const {
  return static_cast<int>(searches_.size() + packageHandles_.size() + kernelHandles_.size() + registryHandles_.size() +
                          libraries_.size());
}

void FakePlatform::AddFile(const std::wstring& path) {
  if (std::find_if(files_.begin(), files_.end(), [&](const std::wstring& f) { return EqualFolded(f, path); }) ==
      files_.end()) {
    files_.push_back(path);
  }
  const std::wstring parent = ParentOf(path);
  if (parent.size() > 3) {  // below the drive root
    AddDirectory(parent);
  }
}

void FakePlatform::AddDirectory(const std::wstring& path) { AddFile(path.back() == L'\\' ? path : path + L'\\'); }

std::wstring FakePlatform::TextOf(const std::wstring& path) const {
  auto found = writtenFiles.find(path);
  std::wstring text;
  for (std::size_t i = 0; found != writtenFiles.end() && i + 1 < found->second.size(); i += 2) {
    text += static_cast<wchar_t>(static_cast<unsigned char>(found->second[i]) |
                                 static_cast<unsigned char>(found->second[i + 1]) << 8);
  }
  return text;
}

// "CreateFile function", Consoles: CONOUT$ is the active screen buffer of the console the process is
// attached to, and "if the calling process inherits the console", the share mode "must be
// FILE_SHARE_READ | FILE_SHARE_WRITE"; the console host refuses other opens with a sharing violation.
// A file created afresh, or emptied, in a folder that exists.
KernelHandle FakePlatform::CreateFile(const std::wstring& fileName) {
  std::wstring parent = ParentOf(fileName);
  while (parent.size() > 3 && parent.ends_with(L"\\\\")) {  // Windows takes "C:\Temp\\x" as "C:\Temp\x"
    parent.pop_back();
  }
  if (parent.size() > 3 && WStat(parent) != 0) {
    lastError_ = kErrorPathNotFound;
    return nullptr;
  }
  AddFile(fileName);
  writtenFiles[fileName].clear();
  void* handle = NewHandle();
  kernelHandles_.insert(handle);
  fileHandles_[handle] = fileName;
  return handle;
}

// "ExitWindowsEx function", "InitiateSystemShutdownExW function": the caller needs the shutdown
// privilege enabled.
bool FakePlatform::Shutdown(std::uint32_t flags, std::uint32_t reason) {
  if (!shutdownPrivilegeEnabled_) {
    lastError_ = kErrorPrivilegeNotHeld;
    return false;
  }
  if (!shutdownAccepted) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  restarts.emplace_back(flags, reason);
  return true;
}

// --- security and the program's folder -----------------------------------------------------------

FileSecurity FakePlatform::WellMadeSecurity() {
  constexpr std::uint32_t kFullControl = 0x1F01FF;
  constexpr std::uint32_t kReadAndExecute = 0x1200A9;
  constexpr std::uint8_t kObjectAndContainerInherit = 0x3;
  FileSecurity security;
  security.owner = L"S-1-5-32-544";
  security.entries = {{0, kObjectAndContainerInherit, kFullControl, L"S-1-5-18"},
                      {0, kObjectAndContainerInherit, kFullControl, L"S-1-5-32-544"},
                      {0, kObjectAndContainerInherit, kReadAndExecute, L"S-1-5-32-545"},
                      {0, kObjectAndContainerInherit | kInheritOnlyAce, kGenericAll, L"S-1-3-0"}};
  return security;
}

Status FakePlatform::OpenLocalMachineKey(const wchar_t* subKey, std::uint32_t samDesired, RegistryKey* result) {
  if (!registryViewFlags && (samDesired & kRegistryViewFlags) != 0) {
    return kErrorAccessDenied;
  }
  const std::wstring prefix = std::wstring(subKey) + L"\\";
  if (std::none_of(localMachineDwords.begin(), localMachineDwords.end(),
                   [&](const auto& value) { return EqualFolded(value.first.substr(0, prefix.size()), prefix); })) {
    return kErrorFileNotFound;
  }
  *result = NewHandle();
  registryHandles_[*result] = L"HKLM\\" + std::wstring(subKey);
  return 0;
}

void FakePlatform::ForgetInstallerLogs() {
  const std::wstring folder = environment[L"TMP"] + L"\\";
  std::erase_if(files_, [&](const std::wstring& f) {
    return f.size() > folder.size() && EqualFolded(f.substr(0, folder.size()), folder) && f.ends_with(L".log");
  });
}

// --- files made anew (fresh_file.h) ---------------------------------------------------------------

bool FakePlatform::HeldWithoutDeleteSharing(const std::wstring& path) const {
  return std::any_of(fileOpens_.begin(), fileOpens_.end(), [&](const auto& open) {
    return EqualFolded(open.second.path, path) && (open.second.shareMode & kFileShareDelete) == 0;
  });
}

}  // namespace setup::testing
