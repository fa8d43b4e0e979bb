#include "fake_platform.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <utility>

#include "base/messages.h"
#include "packages/msi_access.h"
#include "platform/win32_constants.h"
#include "process_state.h"

namespace setup::testing {
namespace {

wchar_t Fold(wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); }

bool EqualFolded(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return Fold(x) == Fold(y); });
}

// Whether a registry path names a key below the other.
bool IsBelowNoCase(const std::wstring& path, const std::wstring& parent) {
  return path.size() > parent.size() + 1 && EqualFolded(path.substr(0, parent.size() + 1), parent + L"\\");
}

// "C:\dist\sub\" -> "C:\dist\", for a path that ends with a backslash or not.
std::wstring ParentOf(std::wstring path) {
  if (!path.empty() && path.back() == L'\\') {
    path.pop_back();
  }
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring NameOf(std::wstring path) {
  if (!path.empty() && path.back() == L'\\') {
    path.pop_back();
  }
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::uint32_t CopyOut(const std::wstring& value, wchar_t* buffer, std::uint32_t* size) {
  if (*size <= value.size()) {
    *size = static_cast<std::uint32_t>(value.size());
    return kErrorMoreData;
  }
  std::copy(value.begin(), value.end(), buffer);
  buffer[value.size()] = L'\0';
  *size = static_cast<std::uint32_t>(value.size());
  return 0;
}

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

constexpr std::uint32_t kRegistryViewFlags = 0x0300;  // KEY_WOW64_64KEY | KEY_WOW64_32KEY
// The shutdown privilege's LUID on every release.
constexpr std::uint64_t kShutdownPrivilege = 19;
void* const kWindowStation = reinterpret_cast<void*>(0x5A7);
void* const kDialogWindow = reinterpret_cast<void*>(0xD1A);

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

struct FakePlatform::Search {
  std::vector<FindData> entries;
  std::size_t next = 0;
};

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

std::wstring FakePlatform::GetCommandLineW() { return commandLine; }

std::optional<std::vector<std::wstring>> FakePlatform::CommandLineToArgvW(const std::wstring& line) {
  // The splitting rules that matter to the tests: blanks separate, double quotes group and vanish.
  std::vector<std::wstring> arguments;
  std::wstring current;
  bool quoted = false;
  bool any = false;
  for (wchar_t c : line) {
    if (c == L'"') {
      quoted = !quoted;
      any = true;
    } else if ((c == L' ' || c == L'\t') && !quoted) {
      if (any) {
        arguments.push_back(current);
      }
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) {
    arguments.push_back(current);
  }
  return arguments;
}

bool FakePlatform::CallIsUserAnAdmin(ProcAddress) { return administrator; }

std::uint32_t FakePlatform::GetLastError() { return lastError_; }

void FakePlatform::SetLastError(std::uint32_t error) { lastError_ = error; }

KernelHandle FakePlatform::GetCurrentProcess() { return reinterpret_cast<KernelHandle>(-1); }

std::uint16_t FakePlatform::GetSystemDefaultUILanguage() { return uiLanguage; }

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

WindowHandle FakePlatform::CreateWindowExW(std::uint32_t, const wchar_t* className, const wchar_t*, std::uint32_t style,
                                           int, int, int, int, WindowHandle, InstanceHandle) {
  ownerWindowCreated = reinterpret_cast<WindowHandle>(0xA11CE);
  ownerWindowStyle = style;
  ownerWindowClass = className;
  return ownerWindowCreated;
}

int FakePlatform::MessageBoxW(WindowHandle owner, const wchar_t* text, const wchar_t* caption, std::uint32_t style) {
  boxes.push_back({owner, text, caption, style});
  if (!answers.empty()) {
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return (style & 0xF) == 4 ? 6 : 1;
}

std::intptr_t FakePlatform::DialogBoxParamW(InstanceHandle, std::uint16_t templateId, WindowHandle,
                                            DialogProc dialogProc, std::intptr_t initParam) {
  dialogsShown.push_back(templateId);
  // The dialog manager hands the parameter to the procedure with WM_INITDIALOG before anything else.
  dialogProc(*this, kDialogWindow, 0x0110, 0, initParam);
  return runDialog ? runDialog(dialogProc) : 0;
}

bool FakePlatform::EndDialog(WindowHandle, std::intptr_t result) {
  dialogEnded = true;
  dialogResult = result;
  return true;
}

IconHandle FakePlatform::LoadImageW(InstanceHandle, std::uint16_t, std::uint32_t, int, int, std::uint32_t) {
  return reinterpret_cast<IconHandle>(0x1C0);
}

std::intptr_t FakePlatform::SendMessageW(WindowHandle, std::uint32_t message, std::uintptr_t, std::intptr_t lParam) {
  sentMessages.emplace_back(message, lParam);
  return 0;
}

WindowHandle FakePlatform::GetDlgItem(WindowHandle, int controlId) {
  return reinterpret_cast<WindowHandle>(static_cast<std::intptr_t>(controlId));
}

bool FakePlatform::ShowWindow(WindowHandle window, int command) {
  controls[static_cast<int>(reinterpret_cast<std::intptr_t>(window))].visible = command != 0;
  return true;
}

bool FakePlatform::CheckDlgButton(WindowHandle, int buttonId, std::uint32_t check) {
  controls[buttonId].checked = check;
  return true;
}

std::uint32_t FakePlatform::IsDlgButtonChecked(WindowHandle, int buttonId) { return controls[buttonId].checked; }

std::uint32_t FakePlatform::GetDlgItemTextW(WindowHandle, int controlId, wchar_t* buffer, int maxCount) {
  const std::wstring& text = controls[controlId].text;
  const std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(maxCount - 1));
  std::copy_n(text.begin(), count, buffer);
  buffer[count] = L'\0';
  return static_cast<std::uint32_t>(count);
}

bool FakePlatform::SetDlgItemTextW(WindowHandle, int controlId, const wchar_t* text) {
  controls[controlId].text = text;
  return true;
}

std::intptr_t FakePlatform::SetWindowLongPointer(WindowHandle window, int index, std::intptr_t value) {
  return std::exchange(windowLongs[{window, index}], value);
}

std::intptr_t FakePlatform::GetWindowLongPointer(WindowHandle window, int index) {
  return windowLongs[{window, index}];
}

FindHandle FakePlatform::FindFirstFileW(const std::wstring& fileName, FindData& data) {
  const std::size_t slash = fileName.rfind(L'\\');
  const std::wstring directory = slash == std::wstring::npos ? std::wstring() : fileName.substr(0, slash + 1);
  const std::wstring mask = slash == std::wstring::npos ? fileName : fileName.substr(slash + 1);
  auto search = std::make_unique<Search>();
  std::vector<distcheck::DiskEntry> children;  // in the order they were made
  bool directoryExists = directory.size() <= 3;
  for (const std::wstring& file : files_) {
    if (EqualFolded(file, directory)) {
      directoryExists = true;
    }
    if (EqualFolded(ParentOf(file), directory)) {
      children.push_back({NameOf(file), L"", file.back() == L'\\'});
    }
  }
  if (!directoryExists) {
    lastError_ = kErrorPathNotFound;
    return nullptr;
  }
  if (directory.size() > 3) {
    for (const wchar_t* dots : {L".", L".."}) {
      if (distcheck::MatchesWildcard(dots, mask)) {
        search->entries.push_back({kFileAttributeDirectory, dots});
      }
    }
  }
  for (const distcheck::DiskEntry& entry : distcheck::ListMatches(children, mask, listing)) {
    const auto written = writtenFiles.find(directory + entry.name);
    search->entries.push_back({entry.folder ? kFileAttributeDirectory : 0x20u, entry.name,
                               written != writtenFiles.end() ? written->second.size() : 0u});
  }
  if (search->entries.empty()) {
    lastError_ = kErrorFileNotFound;
    return nullptr;
  }
  data = search->entries[0];
  search->next = 1;
  void* handle = NewHandle();
  searches_[handle] = std::move(search);
  return handle;
}

bool FakePlatform::FindNextFileW(FindHandle find, FindData& data) {
  Search& search = *searches_.at(find);
  if (search.next >= search.entries.size()) {
    lastError_ = kErrorNoMoreFiles;
    return false;
  }
  data = search.entries[search.next++];
  return true;
}

bool FakePlatform::FindClose(FindHandle find) { return searches_.erase(find) == 1; }

bool FakePlatform::DeleteFileW(const std::wstring& fileName) {
  deletedFiles.push_back(fileName);
  auto found =
      std::find_if(files_.begin(), files_.end(), [&](const std::wstring& f) { return EqualFolded(f, fileName); });
  if (found == files_.end()) {
    lastError_ = kErrorFileNotFound;
    return false;
  }
  // "DeleteFileW function": it fails while the file is open without FILE_SHARE_DELETE.
  if (HeldWithoutDeleteSharing(fileName)) {
    lastError_ = kErrorSharingViolation;
    return false;
  }
  files_.erase(found);
  return true;
}

// A folder is found by its name without the last backslash, as _wstat finds it.
int FakePlatform::WStat(const std::wstring& path) {
  return std::any_of(files_.begin(), files_.end(),
                     [&](const std::wstring& f) { return EqualFolded(f, path) || EqualFolded(f, path + L"\\"); })
             ? 0
             : -1;
}

std::uint32_t FakePlatform::GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, std::uint32_t size) {
  envQueries.push_back(name);
  auto found = environment.find(name);
  if (found == environment.end()) {
    lastError_ = kErrorEnvvarNotFound;
    return 0;
  }
  const std::wstring& value = found->second;
  if (size <= value.size() || buffer == nullptr) {
    return static_cast<std::uint32_t>(value.size() + 1);
  }
  std::copy(value.begin(), value.end(), buffer);
  buffer[value.size()] = L'\0';
  return static_cast<std::uint32_t>(value.size());
}

std::optional<std::wstring> FakePlatform::WGetEnv(const wchar_t* name) {
  auto found = environment.find(name);
  if (found == environment.end()) {
    return std::nullopt;
  }
  return found->second;
}

std::uint32_t FakePlatform::GetSystemDirectoryW(wchar_t* buffer, std::uint32_t size) {
  if (systemDirectoryError != 0) {
    lastError_ = systemDirectoryError;
    return 0;
  }
  if (size <= systemDirectory.size()) {
    return static_cast<std::uint32_t>(systemDirectory.size() + 1);
  }
  std::copy(systemDirectory.begin(), systemDirectory.end(), buffer);
  buffer[systemDirectory.size()] = L'\0';
  return static_cast<std::uint32_t>(systemDirectory.size());
}

bool FakePlatform::WriteFile(KernelHandle file, const void* data, std::uint32_t size, std::uint32_t* written) {
  auto open = fileHandles_.find(file);
  if (open == fileHandles_.end() || kernelHandles_.count(file) == 0) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  const std::uint32_t taken = std::min(size, writeLimit.value_or(size));
  writtenFiles[open->second].append(static_cast<const char*>(data), taken);
  *written = taken;
  return true;
}

std::wstring FakePlatform::TextOf(const std::wstring& path) const {
  auto found = writtenFiles.find(path);
  std::wstring text;
  for (std::size_t i = 0; found != writtenFiles.end() && i + 1 < found->second.size(); i += 2) {
    text += static_cast<wchar_t>(static_cast<unsigned char>(found->second[i]) |
                                 static_cast<unsigned char>(found->second[i + 1]) << 8);
  }
  return text;
}

std::tm FakePlatform::LocalTime() { return now; }

std::uint64_t FakePlatform::GetSystemTimeAsFileTime() { return systemTime; }

std::optional<std::uint64_t> FakePlatform::GetTickCount64() {
  return getTickCount64Exported ? std::optional<std::uint64_t>(ticksSinceStart) : std::nullopt;
}

void FakePlatform::WriteStandardOutput(const std::wstring& text) {
  for (std::size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    stdoutLines.push_back(text.substr(start, end - start));
  }
}

bool FakePlatform::HasStandardOutput() { return standardOutput; }

bool FakePlatform::AttachConsole(std::uint32_t processId) {
  if (!attachConsoleExported || processId != kAttachParentProcess || !parentConsole || consoleAttached) {
    return false;
  }
  return consoleAttached = true;
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

KernelHandle FakePlatform::CreateFileW(const wchar_t* fileName, std::uint32_t access, std::uint32_t shareMode,
                                       std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
  constexpr std::uint32_t kBothShares = kFileShareRead | kFileShareWrite;
  const FileCreation creation{fileName, access, shareMode, creationDisposition, flagsAndAttributes};
  if (std::wstring(fileName) != L"CONOUT$") {
    fileCreations.push_back(creation);
  }
  if (creationDisposition == kCreateNew && replantings > 0) {
    --replantings;  // another user made a file at the name first
    lastError_ = kErrorFileExists;
    return nullptr;
  }
  if (creationDisposition == kCreateNew && WStat(fileName) == 0) {
    lastError_ = kErrorFileExists;  // "CreateFileW function", CREATE_NEW
    return nullptr;
  }
  if (std::wstring(fileName) != L"CONOUT$" &&
      (creationDisposition == kCreateAlways || creationDisposition == kCreateNew)) {
    KernelHandle file = CreateFile(fileName);
    if (file != nullptr) {
      fileOpens_[file] = creation;
    }
    return file;
  }
  if (std::wstring(fileName) != L"CONOUT$" || creationDisposition != kOpenExisting || !consoleAttached) {
    lastError_ = kErrorFileNotFound;
    return nullptr;
  }
  if ((shareMode & kBothShares) != kBothShares) {
    lastError_ = kErrorSharingViolation;
    return nullptr;
  }
  void* handle = NewHandle();
  kernelHandles_.insert(handle);
  if (access & kGenericWrite) {
    consoleHandles_.insert(handle);
  }
  return handle;
}

bool FakePlatform::WriteConsoleW(KernelHandle console, const std::wstring& text) {
  if (consoleHandles_.count(console) == 0 || !consoleAttached) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  consoleText += text;
  return true;
}

bool FakePlatform::FreeConsole() { return std::exchange(consoleAttached, false); }

bool FakePlatform::CreateProcessW(const wchar_t* applicationName, wchar_t* commandLineBuffer, bool inheritHandles,
                                  std::uint32_t creationFlags, const wchar_t* currentDirectory,
                                  ProcessInformation& processInformation) {
  processes.push_back({commandLineBuffer, creationFlags, inheritHandles, applicationName != nullptr, consoleAttached,
                       currentDirectory != nullptr ? currentDirectory : L""});
  if (processStartError != 0) {
    lastError_ = processStartError;
    return false;
  }
  // An installer writes into the log its command line names (a quoted path ending in ".log").
  std::wstring piece;
  for (const wchar_t* c = commandLineBuffer;; ++c) {
    if (*c == L'"' || *c == L'\0') {
      if (childrenWriteLogs && piece.ends_with(L".log") && WStat(piece) == 0) {
        writtenFiles[piece] = "log";
      }
      piece.clear();
      if (*c == L'\0') {
        break;
      }
    } else {
      piece += *c;
    }
  }
  processInformation.process = NewHandle();
  processInformation.thread = NewHandle();
  // "SendMessage function": with HWND_BROADCAST the message goes to every top-level window, the
  // disabled and invisible ones included, and a message sent to another thread's window is delivered
  // only when that thread runs message retrieval code; the sender waits until then.
  if (childrenBroadcast && ownerWindowCreated != nullptr) {
    unansweredBroadcasts_.insert(processInformation.process);
  }
  kernelHandles_.insert(processInformation.process);
  kernelHandles_.insert(processInformation.thread);
  return true;
}

// "MsgWaitForMultipleObjects function": QS_SENDMESSAGE wakes the wait for a message another thread
// sent; without it the wait goes on while that thread waits for the answer.
std::uint32_t FakePlatform::MsgWaitForMultipleObjects(KernelHandle handle, std::uint32_t milliseconds,
                                                      std::uint32_t wakeMask) {
  waitTimeouts.push_back(milliseconds);
  if (waitResult != 0) {
    lastError_ = waitError;
    return waitResult;
  }
  if (unansweredBroadcasts_.count(handle) != 0) {
    if ((wakeMask & kQsSendMessage) != 0) {
      return kWaitObject0 + 1;
    }
    throw WaitNeverEnds{};
  }
  return kWaitObject0;
}

// "PeekMessageW function": the call delivers the pending messages sent to the thread's windows,
// whatever the filter and the flags.
bool FakePlatform::PeekMessageW(WindowHandle, std::uint32_t, std::uint32_t, std::uint32_t) {
  unansweredBroadcasts_.clear();
  return false;
}

bool FakePlatform::GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) {
  if (kernelHandles_.count(process) == 0) {
    return false;
  }
  if (exitCodes.empty()) {
    *exitCode = 0;
  } else {
    *exitCode = exitCodes.front();
    exitCodes.pop_front();
  }
  return true;
}

bool FakePlatform::CloseHandle(KernelHandle handle) {
  consoleHandles_.erase(handle);
  moduleSnapshots_.erase(handle);
  fileOpens_.erase(handle);
  unansweredBroadcasts_.erase(handle);
  return kernelHandles_.erase(handle) == 1;
}

std::uint64_t FakePlatform::VerSetConditionMask(std::uint64_t conditionMask, std::uint32_t typeMask,
                                                std::uint8_t condition) {
  for (int bit = 0; bit < 8; ++bit) {
    if (typeMask & (1u << bit)) {
      conditionMask |= static_cast<std::uint64_t>(condition & 7u) << (bit * 3);
    }
  }
  return conditionMask;
}

bool FakePlatform::VerifyVersionInfoW(const OsVersionInfoEx& info, std::uint32_t typeMask,
                                      std::uint64_t conditionMask) {
  if (info.osVersionInfoSize != 284) {
    lastError_ = kErrorInvalidParameter;
    return false;
  }
  auto holds = [&](int bit, std::uint32_t actual, std::uint32_t wanted) {
    if (!(typeMask & (1u << bit))) {
      return true;
    }
    switch ((conditionMask >> (bit * 3)) & 7u) {
      case 1:
        return actual == wanted;
      case 2:
        return actual > wanted;
      case 3:
        return actual >= wanted;
      case 4:
        return actual < wanted;
      case 5:
        return actual <= wanted;
      default:
        return false;
    }
  };
  const bool accepted = holds(0, osMinor, info.minorVersion) && holds(1, osMajor, info.majorVersion) &&
                        holds(5, osServicePackMajor, info.servicePackMajor);
  if (!accepted) {
    lastError_ = kErrorOldWinVersion;
  }
  return accepted;
}

bool FakePlatform::GetVersionExW(OsVersion& version) {
  version = {osMajor, osMinor, osBuild, osServicePackMajor};
  return true;
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

bool FakePlatform::OpenProcessToken(KernelHandle, std::uint32_t, KernelHandle* token) {
  if (!tokenOpens) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  *token = NewHandle();
  kernelHandles_.insert(*token);
  return true;
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

// "Window Stations": only the interactive window station, which belongs to the interactive user's
// logon session, can display anything; "GetUserObjectInformationW function": WSF_VISIBLE says so.
StationHandle FakePlatform::GetProcessWindowStation() { return kWindowStation; }

bool FakePlatform::GetUserObjectInformationW(StationHandle object, UserObjectFlags& flags) {
  if (object != kWindowStation) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  flags.flags = interactiveUser ? kWsfVisible : 0;
  return true;
}

std::uint32_t FakePlatform::MsiSetInternalUI(std::uint32_t uiLevel, WindowHandle*) {
  internalUiLevels.push_back(uiLevel);
  return 5;
}

Status FakePlatform::MsiOpenPackageExW(const wchar_t* packagePath, std::uint32_t options, MsiHandle* handle) {
  openedPackages.push_back(packagePath);
  openedPackageOptions.push_back(options);
  auto found = packages.find(packagePath);
  if (found == packages.end()) {
    return 1619;  // ERROR_INSTALL_PACKAGE_OPEN_FAILED
  }
  if (found->second.openStatus != 0) {
    return found->second.openStatus;
  }
  *handle = nextPackageHandle_++;
  packageHandles_[*handle] = packagePath;
  return 0;
}

Status FakePlatform::MsiGetPropertyW(MsiHandle handle, const wchar_t* name, wchar_t* buffer, std::uint32_t* size) {
  auto open = packageHandles_.find(handle);
  if (open == packageHandles_.end()) {
    return kErrorInvalidHandle;
  }
  const FakePackage& package = packages.at(open->second);
  const auto& failures = *size == 0 ? package.sizeQueryStatus : package.readStatus;
  if (auto failure = failures.find(name); failure != failures.end()) {
    return failure->second;
  }
  auto found = package.properties.find(name);
  return CopyOut(found == package.properties.end() ? std::wstring() : found->second, buffer, size);
}

Status FakePlatform::MsiCloseHandle(MsiHandle handle) {
  return packageHandles_.erase(handle) == 1 ? 0 : kErrorInvalidHandle;
}

Status FakePlatform::MsiEnumRelatedProductsW(const wchar_t* upgradeCode, std::uint32_t, std::uint32_t index,
                                             wchar_t* productBuffer) {
  if (upgradeCode == nullptr || std::wstring(upgradeCode).size() != 38) {
    return kErrorInvalidParameter;
  }
  std::uint32_t seen = 0;
  for (const auto& [code, product] : products) {
    if (product.upgradeCode == upgradeCode && seen++ == index) {
      std::copy(code.begin(), code.end(), productBuffer);
      productBuffer[code.size()] = L'\0';
      return 0;
    }
  }
  return kErrorNoMoreItems;
}

Status FakePlatform::MsiGetProductInfoW(const wchar_t* product, const wchar_t* property, wchar_t* buffer,
                                        std::uint32_t* size) {
  auto found = products.find(product);
  if (found == products.end() || std::wstring(property) != L"VersionString") {
    return kErrorUnknownProduct;
  }
  if (buffer == nullptr) {
    if (found->second.versionSizeStatus != 0) {
      return found->second.versionSizeStatus;
    }
    *size = static_cast<std::uint32_t>(found->second.version.size());
    return 0;
  }
  if (found->second.versionStatus != 0) {
    return found->second.versionStatus;
  }
  return CopyOut(found->second.version, buffer, size);
}

int FakePlatform::MsiQueryProductStateW(const wchar_t* product) {
  auto found = products.find(product);
  return found == products.end() ? -1 : found->second.state;
}

int FakePlatform::MsiQueryFeatureStateW(const wchar_t* product, const wchar_t* feature) {
  auto found = products.find(product);
  if (found == products.end() || std::wstring(feature) != L"PLUGVEX") {
    return -1;
  }
  return found->second.pluginFeatureState;
}

Status FakePlatform::MsiSourceListClearAllW(const wchar_t* product, const wchar_t*, std::uint32_t) {
  sourceListCalls.emplace_back(L"ClearAll", product);
  return 0;
}

Status FakePlatform::MsiSourceListSetInfoW(const wchar_t* product, const wchar_t*, std::uint32_t context,
                                           std::uint32_t options, const wchar_t* property, const wchar_t* value) {
  sourceListCalls.emplace_back(
      L"SetInfo " + std::to_wstring(context) + L" " + std::to_wstring(options) + L" " + property, product);
  sourceListPackageNames.push_back(value);
  return products.count(product) ? 0 : kErrorUnknownProduct;
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

KernelHandle FakePlatform::CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
  if (flags != kTh32csSnapModule || processId != 0) {
    lastError_ = kErrorInvalidParameter;
    return nullptr;
  }
  if (snapshotBadLengths > 0) {
    --snapshotBadLengths;
    lastError_ = kErrorBadLength;
    return nullptr;
  }
  void* snapshot = NewHandle();
  kernelHandles_.insert(snapshot);
  moduleSnapshots_[snapshot] = 0;
  return snapshot;
}

bool FakePlatform::Module32FirstW(KernelHandle snapshot, ModuleEntry& entry) {
  auto found = moduleSnapshots_.find(snapshot);
  if (found == moduleSnapshots_.end()) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  found->second = 0;
  return Module32NextW(snapshot, entry);
}

bool FakePlatform::Module32NextW(KernelHandle snapshot, ModuleEntry& entry) {
  auto found = moduleSnapshots_.find(snapshot);
  if (found == moduleSnapshots_.end() || found->second >= processModules.size()) {
    lastError_ = found == moduleSnapshots_.end() ? kErrorInvalidHandle : kErrorNoMoreFiles;
    return false;
  }
  entry.exePath = processModules[found->second++];
  return true;
}

Status FakePlatform::GetNamedSecurityInfoW(const std::wstring& path, FileSecurity& security) {
  securityReads.push_back(path);
  if (WStat(path) != 0 && path.size() > 3) {
    return kErrorFileNotFound;
  }
  auto found = fileSecurity.find(path);
  security = found != fileSecurity.end() ? found->second : WellMadeSecurity();
  return 0;
}

bool FakePlatform::GetVolumePathNameW(const std::wstring& path, std::wstring& volumeRoot) {
  if (path.size() < 3 || path[1] != L':') {
    lastError_ = kErrorInvalidParameter;
    return false;
  }
  volumeRoot = path.substr(0, 3);
  return true;
}

bool FakePlatform::GetVolumeInformationW(const std::wstring& root, std::uint32_t* flags) {
  if (root.empty() || root.back() != L'\\') {
    lastError_ = kErrorInvalidParameter;  // "GetVolumeInformationW function": a trailing backslash is required
    return false;
  }
  *flags = fileSystemFlags;
  return true;
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

std::wstring FakePlatform::GetFullPathNameW(const std::wstring& fileName) {
  const bool full = (fileName.size() > 2 && fileName[1] == L':') || fileName.starts_with(L"\\\\");
  return full ? fileName : workingDirectory + L"\\" + fileName;
}

std::wstring FakePlatform::GetLongPathNameW(const std::wstring& path) {
  if (WStat(path) != 0) {
    lastError_ = kErrorFileNotFound;
    return {};
  }
  return path;
}

// "GetFinalPathNameByHandleW function": the path with every junction on the way followed, in the
// "\\?\" form.
Status FakePlatform::GetFinalPathNameByHandleW(KernelHandle file, std::wstring& path) {
  if (!fileHandleCallsExported) {
    return kErrorProcNotFound;
  }
  auto open = fileOpens_.find(file);
  if (open == fileOpens_.end()) {
    return kErrorInvalidHandle;
  }
  path = open->second.path;
  for (const auto& [folder, target] : junctions) {
    if (path.size() > folder.size() && EqualFolded(path.substr(0, folder.size() + 1), folder + L"\\")) {
      path = target + path.substr(folder.size());
    }
  }
  path = path.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path;
  return 0;
}

bool FakePlatform::GetFileInformationByHandle(KernelHandle file, std::uint32_t* numberOfLinks) {
  auto open = fileOpens_.find(file);
  if (open == fileOpens_.end()) {
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  *numberOfLinks = 1;
  for (const auto& [path, links] : linkCounts) {
    if (open->second.path.size() >= path.size() && EqualFolded(open->second.path.substr(0, path.size()), path)) {
      *numberOfLinks = links;  // the file made at the path, or beside it under a name of its own
    }
  }
  return true;
}

// "MoveFileExW function": without MOVEFILE_REPLACE_EXISTING an existing new name fails the move; with
// it, the entry at the new name is replaced (a link itself, not what it leads to), unless that file is
// open. Handles of the file moved now name the new path.
bool FakePlatform::MoveFileExW(const std::wstring& existingFileName, const std::wstring& newFileName,
                               std::uint32_t flags) {
  const auto named = [this](const std::wstring& path) {
    return std::find_if(files_.begin(), files_.end(), [&](const std::wstring& f) { return EqualFolded(f, path); });
  };
  if (named(existingFileName) == files_.end()) {
    lastError_ = kErrorFileNotFound;
    return false;
  }
  if (auto standing = named(newFileName); standing != files_.end()) {
    const bool open = std::any_of(fileOpens_.begin(), fileOpens_.end(),
                                  [&](const auto& o) { return EqualFolded(o.second.path, newFileName); });
    if ((flags & kMovefileReplaceExisting) == 0 || open) {
      lastError_ = open ? kErrorAccessDenied : kErrorAlreadyExists;
      return false;
    }
    files_.erase(standing);
  }
  *named(existingFileName) = newFileName;
  writtenFiles[newFileName] = writtenFiles[existingFileName];
  writtenFiles.erase(existingFileName);
  for (auto& [handle, open] : fileOpens_) {
    if (EqualFolded(open.path, existingFileName)) {
      open.path = newFileName;
    }
  }
  for (auto& [handle, path] : fileHandles_) {
    if (EqualFolded(path, existingFileName)) {
      path = newFileName;
    }
  }
  return true;
}

// "SetFileInformationByHandle function", "FILE_DISPOSITION_INFO structure": the handle needs DELETE
// access; the file goes when it is closed, which the fake takes to be at once.
bool FakePlatform::SetFileInformationByHandle(KernelHandle file, bool deleteFile) {
  auto open = fileOpens_.find(file);
  if (!fileHandleCallsExported || open == fileOpens_.end() || (open->second.access & kDelete) == 0) {
    lastError_ = !fileHandleCallsExported ? kErrorProcNotFound : kErrorAccessDenied;
    return false;
  }
  if (deleteFile) {
    deletedByHandle.push_back(open->second.path);
    files_.erase(std::remove_if(files_.begin(), files_.end(),
                                [&](const std::wstring& f) { return EqualFolded(f, open->second.path); }),
                 files_.end());
  }
  return true;
}

}  // namespace setup::testing
