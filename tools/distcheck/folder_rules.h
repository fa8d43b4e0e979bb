// The rules of a distribution folder that do not depend on which package a lookup picks: what lies beside
// Setup.exe, the provider folders, names Windows cannot hold or tells apart, entries that cannot be read,
// and SHA256SUMS.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "disk.h"
#include "folder_platform.h"

namespace distcheck {

// The entries of a release folder the rules know by name.
inline constexpr const wchar_t* kProgram = L"Setup.exe";
// The release's own check lies in tools\, and is as open to a planted DLL as Setup.exe is.
inline constexpr const wchar_t* kToolsFolder = L"tools";
inline constexpr const wchar_t* kTool = L"distcheck.exe";
inline constexpr std::array<const wchar_t*, 2> kProviders = {L"csp", L"ucsp"};
inline constexpr const wchar_t* kSums = L"SHA256SUMS";
// The detached signature of a signed release's SHA256SUMS, which cannot list itself or its signature.
inline constexpr const wchar_t* kSumsSignature = L"SHA256SUMS.p7s";

// Appends one text per problem (no "problem: " prefix).
void FindFolderProblems(Disk& disk, const Tree& tree, std::vector<std::wstring>& problems);

// The entry of that name (letter case aside), null when there is none.
const DiskEntry* FindEntry(const Listing& listing, const wchar_t* name);

// Letter case aside, as Windows compares names.
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace distcheck
