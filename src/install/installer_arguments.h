// What the user's own installer arguments already say, for the options the bootstrapper would add.
// Both are plain, case-sensitive substring tests, so a "/l" inside a property value counts as well.
#pragma once

#include <string>

namespace setup {

// A log option of the user's: "/l" or "/L" anywhere.
inline bool CarriesLogOption(const std::wstring& arguments) {
  return arguments.find(L"/l") != std::wstring::npos || arguments.find(L"/L") != std::wstring::npos;
}

// A user interface level of the user's: "/q" anywhere (/qn, /qb, /quiet; not /Q).
inline bool CarriesQuietOption(const std::wstring& arguments) { return arguments.find(L"/q") != std::wstring::npos; }

}  // namespace setup
