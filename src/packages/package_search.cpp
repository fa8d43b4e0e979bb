#include "packages/package_search.h"

#include <cwchar>

#include "base/fresh_file.h"
#include "base/messages.h"
#include "base/text_match.h"
#include "platform/handles.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

// Beyond the longest path Windows can hand out (32767 characters); a platform that still fills the
// buffer then is not believed any further.
constexpr std::uint32_t kLongestModulePath = 65536;

// The program's full path, however long: a buffer that comes back full may hold a truncated path
// (with or without a terminator, depending on the Windows release), so it grows until the path fits.
std::wstring ModulePath(Modules& modules) {
  std::wstring path;
  for (std::uint32_t size = kMaxPath;; size *= 2) {
    path.assign(size, L'\0');
    const std::uint32_t copied = modules.GetModuleFileNameW(nullptr, path.data(), size);
    if (copied < size || size >= kLongestModulePath) {
      break;
    }
  }
  path.resize(std::wcslen(path.c_str()));
  return path;
}

// The name of the first entry the platform yields for the pattern, if any.
bool FindFirstName(FolderListing& files, const std::wstring& pattern, std::wstring& name) {
  platform::FindData data;
  platform::UniqueFind find(files, files.FindFirstFileW(pattern, data));
  if (!find) {
    return false;
  }
  name = std::move(data.fileName);
  return true;
}

// The 8.3 name Windows may give a long one, as far as a wildcard can tell it apart: blanks and all dots
// but the last dropped, the base cut to six characters and "~1" added, the extension cut to three
// ("Naming Files, Paths, and Namespaces", short names). Windows' other forms, after "~4", keep two
// characters and a hash, and the letters of the program's wildcards are not hexadecimal digits.
std::wstring ShortFormOf(const std::wstring& name) {
  const std::size_t dot = name.rfind(L'.');
  std::wstring base;
  for (wchar_t c : name.substr(0, dot)) {
    if (c != L' ' && c != L'.') {
      base += c;
    }
  }
  std::wstring extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1, 3);
  return base.substr(0, 6) + L"~1" + (extension.empty() ? L"" : L"." + extension);
}

bool EndsWithIgnoringCase(const std::wstring& text, std::wstring_view end) {
  return text.size() >= end.size() && EqualsIgnoringCase(std::wstring_view(text).substr(text.size() - end.size()), end);
}

}  // namespace

std::wstring ProgramPath(Modules& modules) { return ModulePath(modules); }

bool ReachesDistribution(const Platform& os, const std::wstring& path, const std::vector<std::wstring>& masks) {
  const std::wstring full = FullLongPath(os.files, path);
  const std::size_t slash = full.rfind(L'\\');
  const std::wstring folder = full.substr(0, slash + 1), name = full.substr(slash + 1);
  const std::wstring program = FullLongPath(os.files, ProgramDirectory(os.modules));
  const bool beside = EqualsIgnoringCase(folder, program);
  const bool below = folder.size() > program.size() &&
                     EqualsIgnoringCase(std::wstring_view(folder).substr(0, program.size()), program) &&
                     folder.find(L'\\', program.size()) == folder.size() - 1;
  if (!beside && !below) {
    return false;
  }
  for (const std::wstring& mask : masks) {
    if (MatchesWildcard(name, mask) || MatchesWildcard(ShortFormOf(name), mask)) {
      return true;
    }
  }
  return os.files.WStat(full) == 0 && !EndsWithIgnoringCase(name, L".log");
}

std::wstring ProgramDirectory(Modules& modules) {
  std::wstring path = ModulePath(modules);
  const std::size_t slash = path.rfind(L'\\');
  path.resize(slash == std::wstring::npos ? 0 : slash + 1);
  return path;
}

Status FindPackageFile(FolderListing& files, const std::wstring& directory, const std::wstring& mask,
                       std::wstring& packagePath) {
  std::wstring name;
  if (FindFirstName(files, directory + mask, name)) {
    packagePath = directory + name;
    return 0;
  }

  platform::FindData entry;
  platform::UniqueFind listing(files, files.FindFirstFileW(directory + L"*", entry));
  if (!listing) {
    return kErrorNoData;
  }
  do {
    if ((entry.attributes & kFileAttributeDirectory) == 0 || entry.fileName.starts_with(L'.')) {
      continue;
    }
    const std::wstring subdirectory = directory + entry.fileName + L"\\";
    if (FindFirstName(files, subdirectory + mask, name)) {
      packagePath = subdirectory + name;
      return 0;
    }
  } while (files.FindNextFileW(listing.get(), entry));
  return kErrorNoData;
}

Status FindFirstPackageFile(FolderListing& files, const std::wstring& directory, const std::vector<std::wstring>& masks,
                            std::wstring& packagePath) {
  for (const std::wstring& mask : masks) {
    if (FindPackageFile(files, directory, mask, packagePath) == 0) {
      return 0;
    }
  }
  return kErrorNoData;
}

Status LookUpPackageFile(const Platform& os, const RunConduct& conduct, const wchar_t* lookup,
                         const std::vector<std::wstring>& masks, std::wstring& packagePath) {
  std::wstring tried;
  for (const std::wstring& mask : masks) {
    tried += (tried.empty() ? L"" : L", ") + mask;
  }
  const Status status = FindFirstPackageFile(os.files, ProgramDirectory(os.modules), masks, packagePath);
  if (status == 0) {
    conduct.Log({lookup, L" (", tried, L"): ", packagePath});
  } else {
    conduct.Log({lookup, L" (", tried, L"): nothing found, error ", FormatUnsigned(status)});
  }
  return status;
}

}  // namespace setup
