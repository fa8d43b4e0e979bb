// Every package is found by a file-name wildcard beside the program or one folder below it.
#pragma once

#include <string>
#include <vector>

#include "base/run_conduct.h"
#include "platform/platform.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

// The full path of the running program, read whole however long it is.
std::wstring ProgramPath(platform::Modules& modules);

// The directory of the running program with its trailing backslash (empty when the path has none),
// read whole however long the path is.
std::wstring ProgramDirectory(platform::Modules& modules);

// 0 and packagePath replaced by the full path of the first match in the directory (which ends in a
// backslash) or one folder below it; 232 and packagePath unchanged when nothing matches.
platform::Status FindPackageFile(platform::FolderListing& files, const std::wstring& directory,
                                 const std::wstring& mask, std::wstring& packagePath);

// Whether a file made at this path could be what one of these wildcards finds (the path, made full and
// long, in the program's folder or one folder below, its name or its 8.3 form matching), or would take
// the place of an entry there that is not an earlier log (a name ending in ".log").
bool ReachesDistribution(const platform::Platform& os, const std::wstring& path,
                         const std::vector<std::wstring>& masks);

// FindPackageFile with each mask in turn: the first that matches decides.
platform::Status FindFirstPackageFile(platform::FolderListing& files, const std::wstring& directory,
                                      const std::vector<std::wstring>& masks, std::wstring& packagePath);

// FindFirstPackageFile beside the program for one of the run's lookups, with what it picked in the run's log.
platform::Status LookUpPackageFile(const platform::Platform& os, const RunConduct& conduct, const wchar_t* lookup,
                                   const std::vector<std::wstring>& masks, std::wstring& packagePath);

}  // namespace setup
