// Which package lies beside the program, which related product is installed, and the product's
// name in the user's language.
#pragma once

#include <string>
#include <vector>

#include "base/run_conduct.h"
#include "packages/msi_access.h"
#include "platform/platform.h"

namespace setup {

// "*x64*" on 64-bit Windows, else "*win32*": a 64-bit build is there; a 32-bit one asks
// IsWow64Process, looked up once.
std::wstring ArchMask();

// Every wildcard this run's package lookups may try, on this platform and in this user interface
// language.
std::vector<std::wstring> EveryLookupMask();

// The platform package's "ProductCode". Shows no message; productCode is unchanged on failure.
platform::Status LookUpPackageProductCode(PackageReads& packages, const RunConduct& conduct, std::wstring& productCode);

// The product code of the installed product that shares the platform package's "UpgradeCode".
// Shows no message.
platform::Status LookUpInstalledProductCode(PackageReads& packages, const RunConduct& conduct,
                                            std::wstring& productCode);

// The "ProductName" of the package for the system's UI language (mask is the caller's wildcard); a
// failure shows its message unless the run is silent.
platform::Status ReadLocalizedProductName(PackageReads& packages, const RunConduct& conduct, std::wstring mask,
                                          std::wstring& productName);

}  // namespace setup
