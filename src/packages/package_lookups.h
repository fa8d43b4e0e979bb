// Every package lookup of a run, in one table: what it is for, the wildcards it tries on each platform
// and user interface language, what the program reads from the package it picks, and the messages its
// failures show. The program, the distribution check (tools/distcheck) and the benchmark all take the
// lookups from here, so that the check reports what the program reads.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace setup {

enum class LookupKind { kIdentity, kName, kVersion, kInstallation };

struct PackageLookup {
  LookupKind kind;
  const wchar_t* purpose;  // as the run's log names it: "package of the product codes"
  const wchar_t* label;    // as the distribution check names it: "identity"
  // What the program reads from the package it picks; for the installation, what the package installs.
  std::vector<const wchar_t*> properties;
  // Picks the platform's own package; the others take the package of either platform.
  bool platformBound;
  // The messages shown when nothing matches, the pick cannot be opened, or a property cannot be read; 0
  // where the program reads nothing itself (msiexec reports on the package it installs).
  unsigned notFoundMessage;
  unsigned unopenableMessage;
  unsigned unreadableMessage;
};

const std::array<PackageLookup, 4>& PackageLookups();
const PackageLookup& LookupOf(LookupKind kind);

// "*x64*" for 64-bit Windows, else "*win32*".
std::wstring ArchMaskOf(bool windows64);

// "*rus*" for a Russian user interface, else "*eng*".
std::wstring LanguageMaskOf(bool russian);

// The wildcards the lookup tries, in order, on a platform (ArchMaskOf) and language (LanguageMaskOf).
std::vector<std::wstring> MasksOf(LookupKind kind, const std::wstring& archMask, const std::wstring& languageMask);

}  // namespace setup
