// What the user's own installer arguments already say, for the options the bootstrapper would add.
#pragma once

#include <string>

#include "base/run_conduct.h"

namespace setup {

// A log option of the user's: "/l" or "/L" anywhere, a plain substring test, so a "/l" inside a
// property value counts as well.
inline bool CarriesLogOption(const std::wstring& arguments) {
  return arguments.find(L"/l") != std::wstring::npos || arguments.find(L"/L") != std::wstring::npos;
}

// A user interface level of the caller's: "/q" anywhere (/qn, /qb, /quiet). An interactive or silent
// run keeps the plain, case-sensitive test that scripts know; a quiet run takes "/Q" as msiexec does,
// since adding a second level beside the caller's would leave msiexec to pick one.
inline bool CarriesQuietOption(const std::wstring& arguments, const RunConduct& conduct) {
  return arguments.find(L"/q") != std::wstring::npos || (conduct.quiet && arguments.find(L"/Q") != std::wstring::npos);
}

// The level the bootstrapper adds when the caller gave none: the basic interface, whose error box waits
// for a click, or for a quiet run none at all.
inline const wchar_t* InterfaceLevel(const RunConduct& conduct) { return conduct.quiet ? L"/qn" : L"/qb"; }

}  // namespace setup
