// The distribution check: for every package lookup Setup.exe makes, every entry it can pick on some disk
// (the program's own search run over each listing order, with and without 8.3 names), and the problems of
// the folder, as a report that fits an 80-column terminal.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "disk.h"
#include "folder_platform.h"

namespace distcheck {

constexpr int kExitSound = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;

// Which entry the program's own search picks now over the real file system (a path below the folder), for
// a check that runs where Setup.exe runs; nullopt when nothing matches.
using SearchHere = std::function<std::optional<std::wstring>(const std::vector<std::wstring>& masks)>;

// Fills report with lines of at most 80 columns; returns kExitSound or kExitProblems. signers: the
// thumbprints (ParseThumbprint) the files must be signed by; none to hold them to Setup.exe's signer.
int CheckDistribution(Disk& disk, const std::wstring& shownFolder, const SearchHere& searchHere,
                      const std::vector<std::string>& signers, std::vector<std::wstring>& report);

// The entries (paths below the folder, in NTFS order) the lookup with these masks can pick.
std::vector<std::wstring> Candidates(const Tree& tree, const std::vector<std::wstring>& masks);

// Breaks text at blanks (a word longer than a line anywhere) into lines of at most 80 columns; lines
// after the first are indented two more than indent.
void Wrap(const std::wstring& text, std::size_t indent, std::vector<std::wstring>& lines);

// A name as the report shows it: bytes that are not UTF-8 and control characters as \xNN.
std::wstring ShowName(const std::wstring& name);

}  // namespace distcheck
