// The fake Windows: files and folders.
#include <algorithm>
#include <cstring>
#include <utility>

#include "fake_parts.h"
#include "platform/win32_constants.h"

namespace setup::testing {

using namespace fake;

std::uint32_t FakePlatform::GetLastError() { return lastError_; }

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

bool FakePlatform::CloseHandle(KernelHandle handle) {
  consoleHandles_.erase(handle);
  moduleSnapshots_.erase(handle);
  fileOpens_.erase(handle);
  unansweredBroadcasts_.erase(handle);
  return kernelHandles_.erase(handle) == 1;
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
