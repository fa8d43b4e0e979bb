#include "base/text_match.h"

namespace setup {

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool EqualsIgnoringCase(std::wstring_view text, std::wstring_view other) {
  if (text.size() != other.size()) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (FoldAscii(text[i]) != FoldAscii(other[i])) {
      return false;
    }
  }
  return true;
}

// Greedy with one point of return: after a '*' fails further on, it takes one character more. Names
// and masks are short, and no mask of the program nests stars in a way this gets wrong.
bool MatchesWildcard(std::wstring_view name, std::wstring_view mask, bool (*sameLetter)(wchar_t, wchar_t)) {
  std::size_t n = 0, m = 0;
  std::size_t starMask = std::wstring_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == L'?' || (mask[m] != L'*' && sameLetter(mask[m], name[n])))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == L'*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::wstring_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == L'*') {
    ++m;
  }
  return m == mask.size();
}

bool MatchesWildcard(std::wstring_view name, std::wstring_view mask) {
  return MatchesWildcard(name, mask, [](wchar_t a, wchar_t b) { return FoldAscii(a) == FoldAscii(b); });
}

}  // namespace setup
