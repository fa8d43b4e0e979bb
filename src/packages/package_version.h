// Comparing the package's version with the installed product's, and the update question.
#pragma once

#include <cstdint>
#include <string>

#include "packages/msi_access.h"
#include "platform/platform.h"

namespace setup {

struct VersionNumber {
  std::int64_t parts[4] = {0, 0, 0, 0};
};

VersionNumber ParseVersion(const std::wstring& text);
// +1 when a is newer than b, 0 when equal, -1 when older.
int CompareVersions(const VersionNumber& a, const VersionNumber& b);

// Sets decision to the sign of (package version - installed version) once both are read. A newer
// package leads to the update question (unless silent or !askUpdate); No ends the process with 1.
platform::Status CheckPackageVersion(PackageReads& packages, int& decision, bool askUpdate,
                                     std::wstring installedProductCode, std::wstring mask, bool silent);

}  // namespace setup
