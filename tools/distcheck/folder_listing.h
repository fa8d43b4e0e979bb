// How Windows lists a folder: the order of its entries, the wildcard FindFirstFileW matches them by,
// and the 8.3 names a volume may give them. The distribution check runs the program's own package search
// over it, and the unit tests' fake Windows lists its folders by it, so that both see what Windows does.
#pragma once

#include <string>
#include <vector>

#include "disk.h"

namespace distcheck {

// FindFirstFileW's wildcard: '*' any run of characters, '?' exactly one, letters in either case.
bool MatchesWildcard(const std::wstring& name, const std::wstring& mask);

// The NTFS index order: upper-cased names compared by UTF-16 code unit, so "a-b" comes before "a.b".
bool PrecedesOnNtfs(const std::wstring& a, const std::wstring& b);

// A name as Windows compares names, letter case aside.
std::wstring UpperName(const std::wstring& name);

// The 8.3 names Windows may give an entry: the base without blanks and inner dots, cut to six characters,
// then "~1" to "~4"; the extension cut to three; upper case. None when the name already fits 8.3.
std::vector<std::wstring> ShortNamesOf(const std::wstring& name);

// Whether FindFirstFileW can yield the entry for the mask: by its name, or, where 8.3 names exist, by any
// 8.3 name it may have.
bool MatchesOnDisk(const DiskEntry& entry, const std::wstring& mask, bool shortNames);

// How one volume presents a folder. NTFS lists by name; FAT and exFAT in the order the entries were made,
// and a network share in its server's order, which is the order given. 8.3 names exist always on FAT, on
// NTFS only where the volume keeps them.
struct ListingRules {
  bool byName = true;
  bool shortNames = false;
  std::wstring first;  // an entry listed before all others, whatever the order (none when empty)
};

// What FindFirstFileW and FindNextFileW yield for the mask from these entries (in the order they were
// made or the disk gave them), in the order they yield it.
std::vector<DiskEntry> ListMatches(const std::vector<DiskEntry>& entries, const std::wstring& mask,
                                   const ListingRules& rules);

}  // namespace distcheck
