// The program's view of a real distribution folder: the program lies at <root>\Setup.exe, root being a
// Windows path that stands for the folder, and every folder below is listed as Windows lists one on NTFS.
#pragma once

#include <filesystem>
#include <map>
#include <memory>

#include "failing_platform.h"

namespace distcheck {

// FindFirstFileW's wildcard: '*' any run of characters, '?' exactly one, letters in either case.
bool MatchesWildcard(const std::wstring& name, const std::wstring& mask);

// The NTFS index order: upper-cased names compared by UTF-16 code unit, so "a-b" comes before "a.b".
bool PrecedesOnNtfs(const std::wstring& a, const std::wstring& b);

class FolderPlatform : public FailingPlatform {
 public:
  FolderPlatform(std::filesystem::path folder, std::wstring root);

  // A path below root as the program spells it, and where it lies on Linux; empty outside root.
  std::wstring NameBelowRoot(const std::wstring& windowsPath) const;
  std::filesystem::path LinuxPath(const std::wstring& windowsPath) const;

  std::uint32_t GetModuleFileNameW(ModuleHandle module, wchar_t* buffer, std::uint32_t size) override;
  FindHandle FindFirstFileW(const std::wstring& fileName, FindData& data) override;
  bool FindNextFileW(FindHandle find, FindData& data) override;
  bool FindClose(FindHandle find) override;

 private:
  struct Listing {
    std::vector<FindData> entries;
    std::size_t next = 0;
  };

  std::filesystem::path folder_;
  std::wstring root_;
  std::map<FindHandle, std::unique_ptr<Listing>> listings_;
};

}  // namespace distcheck
