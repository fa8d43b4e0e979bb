// Comparing the package's version with the installed product's, and the update question.
#pragma once

#include <cstdint>
#include <string>

#include "base/run_conduct.h"
#include "base/step_outcome.h"
#include "packages/msi_access.h"
#include "platform/exit_codes.h"
#include "platform/platform.h"

namespace setup {

struct VersionNumber {
  std::int64_t parts[4] = {0, 0, 0, 0};
};

VersionNumber ParseVersion(const std::wstring& text);
// Whether ParseVersion reads the whole text, and CompareVersions orders what it reads as the text says:
// a text with anything but up to four dotted numbers, or a number outside 0 to 65535, is not.
bool IsComparableVersion(const std::wstring& text);
// +1 when a is newer than b, 0 when equal, -1 when older.
int CompareVersions(const VersionNumber& a, const VersionNumber& b);

// Sets decision to the sign of (package version - installed version) once both are read. A newer
// package leads to the update question (unless silent or !askUpdate), and No stops the run with 1.
// A version that cannot be read fails with the lookup's status, after its message. installedVersion
// receives the installed product's version once read.
StepOutcome CheckPackageVersion(PackageReads& packages, int& decision, bool askUpdate,
                                std::wstring installedProductCode, const RunConduct& conduct,
                                std::wstring& installedVersion);

// The installed product's "VersionString", in the run's log either way; shows no message.
platform::Status ReadProductVersion(platform::Installer& installer, const std::wstring& productCode,
                                    const RunConduct& conduct, std::wstring& version);

}  // namespace setup
