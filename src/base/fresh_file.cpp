#include "base/fresh_file.h"

#include "base/messages.h"
#include "base/text_match.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

// Another user may put a link back between the removal and the creation; they may win a few races,
// not every one.
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

// Why the file the handle holds is not the one asked for; empty when it is.
std::wstring RefusalOf(platform::KernelHandle file, const std::wstring& path) {
  std::uint32_t links = 0;
  if (!Os().GetFileInformationByHandle(file, &links)) {
    return L"its names cannot be counted (error " + FormatUnsigned(Os().GetLastError()) + L")";
  }
  if (links != 1) {
    return L"it has " + FormatUnsigned(links) + L" names (a hard link)";
  }
  std::wstring finalPath;
  const Status status = Os().GetFinalPathNameByHandleW(file, finalPath);
  if (status == kErrorProcNotFound) {
    return {};  // before Vista the link count is all Windows can tell
  }
  if (status != 0) {
    return L"its final path cannot be read (error " + FormatUnsigned(status) + L")";
  }
  finalPath = WithoutLongPathPrefix(finalPath);
  return EqualsIgnoringCase(finalPath, FullLongPath(path)) ? std::wstring() : L"it leads to " + finalPath;
}

}  // namespace

std::wstring FullLongPath(const std::wstring& path) {
  const std::wstring full = Os().GetFullPathNameW(path);
  const std::size_t slash = full.rfind(L'\\');
  if (slash == std::wstring::npos) {
    return path;
  }
  const std::wstring folder = full.substr(0, slash + 1);
  const std::wstring longFolder = Os().GetLongPathNameW(folder);
  return (longFolder.empty() ? folder : longFolder) + full.substr(slash + 1);
}

FreshFile CreateFileAnew(const std::wstring& path, std::uint32_t access, std::uint32_t shareMode) {
  FreshFile made;
  for (int attempt = 0; attempt < kCreationTries && !made.handle; ++attempt) {
    // Whatever stands there goes: a file, or a link itself rather than what it leads to. Nothing there
    // is no failure.
    Os().DeleteFileW(path);
    made.handle.reset(Os().CreateFileW(path.c_str(), access, shareMode, kCreateNew, kCreationFlags));
    made.error = made.handle ? 0 : Os().GetLastError();
    if (made.error != 0 && made.error != kErrorFileExists) {
      return made;
    }
  }
  if (made.handle) {
    made.refusal = RefusalOf(made.handle.get(), path);
    if (!made.refusal.empty()) {
      RemoveMadeFile(made.handle, path);
    }
  }
  return made;
}

void RemoveMadeFile(platform::UniqueKernelHandle& file, const std::wstring& path) {
  if (Os().SetFileInformationByHandle(file.get(), true)) {
    file.reset();
    return;
  }
  file.reset();
  Os().DeleteFileW(path);
}

}  // namespace setup
