// The file-name wildcards of every package lookup, each with its fallbacks in the order they are tried.
// The program and the distribution check (tools/distcheck) both take them from here.
#pragma once

#include <string>
#include <vector>

namespace setup {

// "*x64*" for 64-bit Windows, else "*win32*".
std::wstring ArchMaskOf(bool windows64);

// "*rus*" for a Russian user interface, else "*eng*".
std::wstring LanguageMaskOf(bool russian);

// The platform package whose codes are read; a folder whose only package carries no platform mark
// still works.
std::vector<std::wstring> IdentityMasks(const std::wstring& archMask);

// The package whose version is compared with the installed product's.
std::wstring VersionMask();

// The package whose name the update question shows: the language's file first, then any under mask.
std::vector<std::wstring> ProductNameMasks(const std::wstring& languageMask, const std::wstring& mask);

// The package msiexec installs.
std::wstring InstallationMask(const std::wstring& archMask);

}  // namespace setup
