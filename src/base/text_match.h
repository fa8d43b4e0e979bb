// Comparisons of names as the command line and the file searches need them: letters without case,
// ASCII only, as _wcsicmp in the "C" locale folds them.
#pragma once

#include <string_view>

namespace setup {

wchar_t FoldAscii(wchar_t c);

bool EqualsIgnoringCase(std::wstring_view text, std::wstring_view other);

// A file-name wildcard: '*' any run of characters, '?' exactly one; letters compared without case, ASCII
// only.
bool MatchesWildcard(std::wstring_view name, std::wstring_view mask);

// The same with letters compared as sameLetter says (a file system folds case its own way).
bool MatchesWildcard(std::wstring_view name, std::wstring_view mask, bool (*sameLetter)(wchar_t, wchar_t));

}  // namespace setup
