// Which package lies beside the program, which related product is installed, and the product's
// name in the user's language.
#pragma once

#include <string>
#include <vector>

#include "base/run_conduct.h"
#include "packages/msi_access.h"
#include "packages/package_lookups.h"
#include "platform/platform.h"

namespace setup {

// "*x64*" on 64-bit Windows, else "*win32*": a 64-bit build is there; a 32-bit one asks
// IsWow64Process, looked up once.
std::wstring ArchMask(const platform::Platform& os);

// The wildcards of a lookup on this platform and in this user interface language.
std::vector<std::wstring> LookupMasks(const platform::Platform& os, LookupKind kind);

// Every wildcard this run's package lookups may try, on this platform and in this user interface
// language.
std::vector<std::wstring> EveryLookupMask(const platform::Platform& os);

// The platform package's "ProductCode". Shows no message; productCode is unchanged on failure.
platform::Status LookUpPackageProductCode(PackageReads& packages, const RunConduct& conduct, std::wstring& productCode);

// The product code of the installed product that shares the platform package's "UpgradeCode".
// Shows no message.
platform::Status LookUpInstalledProductCode(PackageReads& packages, const RunConduct& conduct,
                                            std::wstring& productCode);

// The first property the lookup reads from its pick (the name in the user's language, the version); a
// failure shows the lookup's message unless the run is silent.
platform::Status ReadLookedUpProperty(LookupKind kind, PackageReads& packages, const RunConduct& conduct,
                                      std::wstring& value);

}  // namespace setup
