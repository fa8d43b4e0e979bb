// The rules of a distribution folder that do not depend on which package a lookup picks: what lies beside
// Setup.exe, the provider folders, names Windows cannot hold or tells apart, entries that cannot be read,
// and SHA256SUMS.
#pragma once

#include <string>
#include <vector>

#include "disk.h"
#include "folder_platform.h"

namespace distcheck {

// Appends one text per problem (no "problem: " prefix).
void FindFolderProblems(Disk& disk, const Tree& tree, std::vector<std::wstring>& problems);

// Letter case aside, as Windows compares names.
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace distcheck
