// What the user's own installer arguments already say, for the options the bootstrapper would add.
#pragma once

#include <string>

#include "base/run_conduct.h"
#include "platform/platform.h"

namespace setup {

// A log option of the user's: "/l" or "/L" anywhere, a plain substring test, so a "/l" inside a
// property value counts as well.
inline bool CarriesLogOption(const std::wstring& arguments) {
  return arguments.find(L"/l") != std::wstring::npos || arguments.find(L"/L") != std::wstring::npos;
}

// A user interface level of the caller's. An interactive or silent run keeps the plain, case-sensitive
// test for "/q" anywhere that scripts know. A quiet run counts only an argument of its own, split as
// msiexec splits its command line: "/q..." or "-q..." in any case, or "/passive". A "/Q" inside a value
// (MYDIR=C:/Quick, a log C:/Agent/q.log) is no level: counting it left msiexec its full interface.
bool CarriesQuietOption(platform::Processes& processes, const std::wstring& arguments, const RunConduct& conduct);

// The level the bootstrapper adds when the caller gave none: the basic interface, whose error box waits
// for a click, or for a quiet run none at all.
inline const wchar_t* InterfaceLevel(const RunConduct& conduct) {
  return conduct.installersWithoutInterface ? L"/qn" : L"/qb";
}

}  // namespace setup
