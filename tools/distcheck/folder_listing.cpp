#include "folder_listing.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "base/text_match.h"
#include "text.h"

namespace distcheck {
namespace {

// Characters an 8.3 name cannot hold that Windows turns into '_' when it makes one.
constexpr std::wstring_view kNotInShortNames = L"+,;=[]";
constexpr std::size_t kShortBase = 8;
constexpr std::size_t kShortExtension = 3;
// Windows tries "~1" to "~4" after six characters of the base, then switches to a hashed form.
constexpr std::size_t kShortStem = 6;
constexpr int kShortTails = 4;

// UTF-16 code units with the basic plane upper-cased, as the NTFS up-case table covers only that plane.
std::u16string NtfsKey(const std::wstring& name) {
  std::u16string key;
  for (wchar_t c : name) {
    const std::uint32_t code = c;  // above the basic plane only where wchar_t is UTF-32
    if (code > 0xFFFF) {
      const auto above = code - 0x10000u;
      key += static_cast<char16_t>(0xD800u + (above >> 10));
      key += static_cast<char16_t>(0xDC00u + (above & 0x3FFu));
    } else {
      key += static_cast<char16_t>(UpperCase(c));
    }
  }
  return key;
}

bool SameLetter(wchar_t a, wchar_t b) { return UpperCase(a) == UpperCase(b); }

bool FitsShortName(const std::wstring& upper) {
  const std::size_t dot = upper.find(L'.');
  const std::size_t base = std::min(dot, upper.size());
  const std::size_t extension = dot == std::wstring::npos ? 0 : upper.size() - dot - 1;
  return base >= 1 && base <= kShortBase && extension <= kShortExtension && upper.find(L' ') == std::wstring::npos &&
         (dot == std::wstring::npos || upper.find(L'.', dot + 1) == std::wstring::npos) &&
         upper.find_first_of(kNotInShortNames) == std::wstring::npos;
}

std::wstring ShortNamePart(const std::wstring& part) {
  std::wstring kept;
  for (wchar_t c : part) {
    if (c != L' ' && c != L'.') {
      kept += kNotInShortNames.find(c) == std::wstring_view::npos ? c : L'_';
    }
  }
  return kept;
}

}  // namespace

bool MatchesWildcard(const std::wstring& name, const std::wstring& mask) {
  return setup::MatchesWildcard(name, mask, SameLetter);
}

bool PrecedesOnNtfs(const std::wstring& a, const std::wstring& b) { return NtfsKey(a) < NtfsKey(b); }

std::wstring UpperName(const std::wstring& name) {
  std::wstring upper;
  for (wchar_t c : name) {
    upper += UpperCase(c);
  }
  return upper;
}

std::vector<std::wstring> ShortNamesOf(const std::wstring& name) {
  std::wstring upper = UpperName(name);
  if (FitsShortName(upper)) {
    return {};
  }
  upper.erase(0, upper.find_first_not_of(L'.'));
  const std::size_t dot = upper.rfind(L'.');
  const std::wstring stem = ShortNamePart(upper.substr(0, dot)).substr(0, kShortStem);
  const std::wstring extension =
      dot == std::wstring::npos ? L"" : ShortNamePart(upper.substr(dot + 1)).substr(0, kShortExtension);
  std::vector<std::wstring> names;
  for (int tail = 1; !stem.empty() && tail <= kShortTails; ++tail) {
    names.push_back(stem + L"~" + std::to_wstring(tail) + (extension.empty() ? L"" : L"." + extension));
  }
  return names;
}

bool MatchesOnDisk(const DiskEntry& entry, const std::wstring& mask, bool shortNames) {
  if (MatchesWildcard(entry.name, mask)) {
    return true;
  }
  if (!shortNames) {
    return false;
  }
  // Made once per name: the check asks for them in every arrangement of every lookup.
  static std::map<std::wstring, std::vector<std::wstring>> made;
  auto found = made.find(entry.name);
  if (found == made.end()) {
    found = made.emplace(entry.name, ShortNamesOf(entry.name)).first;
  }
  const std::vector<std::wstring>& possible = found->second;
  return (!entry.shortName.empty() && MatchesWildcard(entry.shortName, mask)) ||
         std::any_of(possible.begin(), possible.end(),
                     [&mask](const std::wstring& shortName) { return MatchesWildcard(shortName, mask); });
}

std::vector<DiskEntry> ListMatches(const std::vector<DiskEntry>& entries, const std::wstring& mask,
                                   const ListingRules& rules) {
  std::vector<DiskEntry> listed;
  for (const DiskEntry& entry : entries) {
    if (MatchesOnDisk(entry, mask, rules.shortNames)) {
      listed.push_back(entry);
    }
  }
  if (rules.byName) {
    std::stable_sort(listed.begin(), listed.end(),
                     [](const DiskEntry& a, const DiskEntry& b) { return PrecedesOnNtfs(a.name, b.name); });
  }
  const auto first =
      std::find_if(listed.begin(), listed.end(), [&](const DiskEntry& e) { return e.name == rules.first; });
  if (first != listed.end()) {
    std::rotate(listed.begin(), first, first + 1);
  }
  return listed;
}

}  // namespace distcheck
