#include "base/fresh_file.h"

#include "base/messages.h"
#include "base/text_match.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

// Another user may make files at the draft names first; they may win a few races, not every one.
constexpr int kCreationTries = 3;

constexpr std::uint32_t kCreationFlags = kFileAttributeNormal | kFileFlagOpenReparsePoint | kSecurityIdentificationOnly;

// "GetFinalPathNameByHandleW function": the DOS form comes back as "\\?\C:\..." and, for a share, as
// "\\?\UNC\server\share\...".
std::wstring WithoutLongPathPrefix(const std::wstring& path) {
  if (path.starts_with(L"\\\\?\\UNC\\")) {
    return L"\\\\" + path.substr(8);
  }
  return path.starts_with(L"\\\\?\\") ? path.substr(4) : path;
}

// Why the file the handle holds, made at the draft name beside the path, is not the one asked for;
// empty when it is.
std::wstring RefusalOf(Files& files, platform::KernelHandle file, const std::wstring& path, const std::wstring& draft) {
  std::uint32_t links = 0;
  if (!files.GetFileInformationByHandle(file, &links)) {
    return L"its names cannot be counted (error " + FormatUnsigned(files.GetLastError()) + L")";
  }
  if (links != 1) {
    return L"it has " + FormatUnsigned(links) + L" names (a hard link)";
  }
  std::wstring finalPath;
  const Status status = files.GetFinalPathNameByHandleW(file, finalPath);
  if (status == kErrorProcNotFound) {
    return {};  // before Vista the link count is all Windows can tell
  }
  if (status != 0) {
    return L"its final path cannot be read (error " + FormatUnsigned(status) + L")";
  }
  finalPath = WithoutLongPathPrefix(finalPath);
  if (EqualsIgnoringCase(finalPath, FullLongPath(files, draft))) {
    return {};
  }
  // Told by the name asked for rather than by the draft's.
  const std::wstring draftTail = draft.substr(path.size());
  if (finalPath.size() > draftTail.size() &&
      EqualsIgnoringCase(finalPath.substr(finalPath.size() - draftTail.size()), draftTail)) {
    finalPath.resize(finalPath.size() - draftTail.size());
  }
  return L"it leads to " + finalPath;
}

}  // namespace

std::wstring FullLongPath(Files& files, const std::wstring& path) {
  const std::wstring full = files.GetFullPathNameW(path);
  const std::size_t slash = full.rfind(L'\\');
  if (slash == std::wstring::npos) {
    return path;
  }
  const std::wstring folder = full.substr(0, slash + 1);
  const std::wstring longFolder = files.GetLongPathNameW(folder);
  return (longFolder.empty() ? folder : longFolder) + full.substr(slash + 1);
}

// The file is made under a draft name of its own beside the path and then renamed over whatever stands
// at the path: "MoveFileExW function" replaces the entry itself, a link rather than what it leads to,
// where deleting the entry first would leave a moment in which a link can be put back, and where Wine
// deletes the file a symbolic link leads to. The draft is checked before the rename, in the folder the
// path names: Wine goes on reporting a handle's old name after a rename.
FreshFile CreateFileAnew(const Platform& os, const std::wstring& path, std::uint32_t access, std::uint32_t shareMode,
                         bool replace) {
  Files& files = os.files;
  FreshFile made;
  const auto stamp = static_cast<std::uint32_t>(os.system.GetSystemTimeAsFileTime());
  for (int attempt = 0; attempt < kCreationTries; ++attempt) {
    const std::wstring draft = path + L"." + FormatUnsigned(stamp + static_cast<std::uint32_t>(attempt)) + L".new";
    // Renaming a file that is open needs the open to share deletion.
    made.handle = UniqueFile(files, files.CreateFileW(draft.c_str(), access | kDelete, shareMode | kFileShareDelete,
                                                      kCreateNew, kCreationFlags));
    if (!made.handle) {
      made.error = files.GetLastError();
      if (made.error == kErrorFileExists) {
        continue;  // another user made a file at the draft's name first
      }
      return made;
    }
    made.refusal = RefusalOf(files, made.handle.get(), path, draft);
    if (!made.refusal.empty()) {
      RemoveMadeFile(files, made.handle, draft);
      return made;
    }
    if (files.MoveFileExW(draft, path, replace ? kMovefileReplaceExisting : 0)) {
      made.error = 0;
      return made;
    }
    made.error = files.GetLastError();
    RemoveMadeFile(files, made.handle, draft);
    return made;
  }
  return made;
}

void RemoveMadeFile(Files& files, platform::UniqueFile& file, const std::wstring& path) {
  if (files.SetFileInformationByHandle(file.get(), true)) {
    file.reset();
    return;
  }
  file.reset();
  files.DeleteFileW(path);
}

}  // namespace setup
