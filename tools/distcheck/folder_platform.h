// The program's view of a distribution folder: root is a Windows path that stands for the folder, and the
// folder and its subfolders are listed from a snapshot in an arrangement the check chooses, so that the
// program's own search code can be run over every order a disk may list them in.
#pragma once

#include <map>
#include <memory>

#include "disk.h"
#include "folder_listing.h"
#include "platform/files.h"

namespace distcheck {

using setup::platform::FindData;
using setup::platform::FindHandle;

// What FindPackageFile can reach: the folder and its subfolders one level down.
struct Tree {
  Listing root;
  std::map<std::wstring, Listing> below;  // by subfolder name
};

// Names that hold a backslash cannot exist on Windows (they are reported elsewhere) and are left out.
Tree ReadTree(Disk& disk);

// One way a disk may present the folder. NTFS lists by name, FAT and exFAT in the order entries were
// made, a network share in its server's order; 8.3 names exist always on FAT, on NTFS only where the
// volume keeps them.
struct Arrangement {
  std::wstring first;  // "name" or "folder\name": listed before the rest of its folder, its folder first
  bool shortNamesAtRoot = false;
  bool shortNamesBelow = false;
};

class FolderPlatform : public setup::platform::FolderListing {
 public:
  FolderPlatform(const Tree& tree, std::wstring root, Arrangement arrangement);

  // A path below root as the program spells it; empty outside root.
  std::wstring NameBelowRoot(const std::wstring& windowsPath) const;

  FindHandle FindFirstFileW(const std::wstring& fileName, FindData& data) override;
  bool FindNextFileW(FindHandle find, FindData& data) override;
  bool FindClose(FindHandle find) override;

 private:
  struct Matches {
    std::vector<FindData> entries;
    std::size_t next = 0;
  };

  std::vector<FindData> MatchesIn(const std::wstring& folder, const std::wstring& mask) const;
  std::wstring FirstIn(const std::wstring& folder) const;

  const Tree& tree_;
  std::wstring root_;
  Arrangement arrangement_;
  std::map<FindHandle, std::unique_ptr<Matches>> listings_;
};

}  // namespace distcheck
