// What the parts of the fake Windows share: how it compares and splits its paths, and the handles and
// values every release gives alike.
#pragma once

#include <algorithm>
#include <cwctype>
#include <string>

#include "fake_platform.h"

namespace setup::testing::fake {

inline wchar_t Fold(wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); }

inline bool EqualFolded(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return Fold(x) == Fold(y); });
}

// Whether a registry path names a key below the other.
inline bool IsBelowNoCase(const std::wstring& path, const std::wstring& parent) {
  return path.size() > parent.size() + 1 && EqualFolded(path.substr(0, parent.size() + 1), parent + L"\\");
}

// "C:\dist\sub\" -> "C:\dist\", for a path that ends with a backslash or not.
inline std::wstring ParentOf(std::wstring path) {
  if (!path.empty() && path.back() == L'\\') {
    path.pop_back();
  }
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

inline std::wstring NameOf(std::wstring path) {
  if (!path.empty() && path.back() == L'\\') {
    path.pop_back();
  }
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

inline std::uint32_t CopyOut(const std::wstring& value, wchar_t* buffer, std::uint32_t* size) {
  if (*size <= value.size()) {
    *size = static_cast<std::uint32_t>(value.size());
    return kErrorMoreData;
  }
  std::copy(value.begin(), value.end(), buffer);
  buffer[value.size()] = L'\0';
  *size = static_cast<std::uint32_t>(value.size());
  return 0;
}

inline constexpr std::uint32_t kRegistryViewFlags = 0x0300;  // KEY_WOW64_64KEY | KEY_WOW64_32KEY
// The shutdown privilege's LUID on every release.
inline constexpr std::uint64_t kShutdownPrivilege = 19;
inline void* const kWindowStation = reinterpret_cast<void*>(0x5A7);
inline void* const kDialogWindow = reinterpret_cast<void*>(0xD1A);

}  // namespace setup::testing::fake

namespace setup::testing {

// One listing being read with FindNextFileW.
struct FakePlatform::Search {
  std::vector<FindData> entries;
  std::size_t next = 0;
};

}  // namespace setup::testing
