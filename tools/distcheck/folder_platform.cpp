#include "folder_platform.h"

#include <algorithm>
#include <cstring>

#include "text.h"

namespace distcheck {
namespace {

constexpr std::uint32_t kDirectoryAttribute = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t kArchiveAttribute = 0x20;    // FILE_ATTRIBUTE_ARCHIVE

// UTF-16 code units with the basic plane upper-cased, as the NTFS up-case table covers only that plane.
std::u16string NtfsKey(const std::wstring& name) {
  std::u16string key;
  for (wchar_t c : name) {
    if (c > 0xFFFF) {
      const auto above = static_cast<std::uint32_t>(c) - 0x10000u;
      key += static_cast<char16_t>(0xD800u + (above >> 10));
      key += static_cast<char16_t>(0xDC00u + (above & 0x3FFu));
    } else {
      key += static_cast<char16_t>(UpperCase(c));
    }
  }
  return key;
}

bool SameLetter(wchar_t a, wchar_t b) { return UpperCase(a) == UpperCase(b); }

// The entries of a Linux folder whose names match the mask, in NTFS order.
std::vector<FindData> ListMatches(const std::filesystem::path& folder, const std::wstring& mask) {
  std::vector<FindData> entries;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::wstring name = Widen(it->path().filename().native());
    if (MatchesWildcard(name, mask)) {
      std::error_code kindError;
      entries.push_back({it->is_directory(kindError) ? kDirectoryAttribute : kArchiveAttribute, name});
    }
  }
  std::sort(entries.begin(), entries.end(),
            [](const FindData& a, const FindData& b) { return PrecedesOnNtfs(a.fileName, b.fileName); });
  return entries;
}

}  // namespace

bool MatchesWildcard(const std::wstring& name, const std::wstring& mask) {
  constexpr std::size_t kNoStar = std::wstring::npos;
  std::size_t n = 0;
  std::size_t m = 0;
  std::size_t afterStar = kNoStar;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == L'*') {
      afterStar = ++m;
      starName = n;
    } else if (m < mask.size() && (mask[m] == L'?' || SameLetter(mask[m], name[n]))) {
      ++m;
      ++n;
    } else if (afterStar != kNoStar) {  // the last star takes one more character
      m = afterStar;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == L'*') {
    ++m;
  }
  return m == mask.size();
}

bool PrecedesOnNtfs(const std::wstring& a, const std::wstring& b) { return NtfsKey(a) < NtfsKey(b); }

FolderPlatform::FolderPlatform(std::filesystem::path folder, std::wstring root)
    : folder_(std::move(folder)), root_(std::move(root)) {}

std::wstring FolderPlatform::NameBelowRoot(const std::wstring& windowsPath) const {
  const std::wstring prefix = root_ + L"\\";
  return windowsPath.starts_with(prefix) ? windowsPath.substr(prefix.size()) : std::wstring();
}

std::filesystem::path FolderPlatform::LinuxPath(const std::wstring& windowsPath) const {
  if (!windowsPath.starts_with(root_ + L"\\")) {
    return {};
  }
  std::filesystem::path path = folder_;
  std::wstring rest = NameBelowRoot(windowsPath);
  for (std::size_t slash; (slash = rest.find(L'\\')) != std::wstring::npos; rest.erase(0, slash + 1)) {
    path /= Narrow(rest.substr(0, slash));
  }
  return rest.empty() ? path : path / Narrow(rest);
}

std::uint32_t FolderPlatform::GetModuleFileNameW(ModuleHandle, wchar_t* buffer, std::uint32_t size) {
  const std::wstring path = root_ + L"\\Setup.exe";
  const auto copied = static_cast<std::uint32_t>(std::min<std::size_t>(path.size(), size));
  std::wmemcpy(buffer, path.data(), copied);
  if (copied < size) {
    buffer[copied] = L'\0';
  }
  return copied;
}

FindHandle FolderPlatform::FindFirstFileW(const std::wstring& fileName, FindData& data) {
  const std::size_t slash = fileName.rfind(L'\\');
  if (slash == std::wstring::npos) {
    return nullptr;
  }
  auto listing = std::make_unique<Listing>();
  listing->entries = ListMatches(LinuxPath(fileName.substr(0, slash + 1)), fileName.substr(slash + 1));
  if (listing->entries.empty()) {
    return nullptr;
  }
  data = listing->entries[listing->next++];
  FindHandle handle = listing.get();
  listings_[handle] = std::move(listing);
  return handle;
}

bool FolderPlatform::FindNextFileW(FindHandle find, FindData& data) {
  Listing& listing = *listings_.at(find);
  if (listing.next >= listing.entries.size()) {
    return false;
  }
  data = listing.entries[listing.next++];
  return true;
}

bool FolderPlatform::FindClose(FindHandle find) { return listings_.erase(find) == 1; }

}  // namespace distcheck
