// Which package lies beside the program, which related product is installed, and the product's
// name in the user's language.
#pragma once

#include <string>

#include "platform/platform.h"

namespace setup {

// "*x64*" when this 32-bit process runs on 64-bit Windows, else "*win32*".
std::wstring ArchMask();

// wantRelated false: the platform package's "ProductCode". True: the product code of the installed
// product that shares the package's "UpgradeCode". Shows no message.
platform::Status LookUpPackageIdentity(bool wantRelated, std::wstring& result);

// The "ProductName" of the package for the system's UI language (mask is the caller's wildcard).
platform::Status ReadLocalizedProductName(bool silent, std::wstring mask, std::wstring& productName);

}  // namespace setup
