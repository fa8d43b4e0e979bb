#include "distribution_check.h"

#include <algorithm>
#include <map>
#include <set>

#include "folder_rules.h"
#include "packages/package_lookups.h"
#include "packages/package_search.h"
#include "packages/package_version.h"
#include "signature_rules.h"

namespace distcheck {
namespace {

// The program's own path stands for the folder; a drive root would hide nothing the checks look at.
constexpr const wchar_t* kRoot = L"C:\\dist";
constexpr std::size_t kColumns = 80;
constexpr std::size_t kFactIndent = 6;

enum LookupIndex { kIdentityLookup, kRussianName, kOtherName, kVersionLookup, kInstallationLookup };

struct Lookup {
  std::wstring name;
  const setup::PackageLookup* reads;
  std::vector<std::wstring> masks;
  std::vector<std::wstring> candidates;
};

// Candidates of one lookup that read the same, and what they read.
struct Group {
  std::vector<std::wstring> paths;
  std::vector<std::wstring> facts;
  EntryKind kind;
};

struct PlatformLookups {
  std::wstring platform;
  std::wstring title;
  // Template platforms whose packages install as this platform's product.
  std::vector<std::wstring> packagePlatforms;
  std::vector<Lookup> lookups;  // by LookupIndex
};

using setup::LookupKind;
using setup::LookupOf;

std::wstring Property(const Entry& entry, const wchar_t* name) {
  const auto found = entry.properties.find(name);
  return found == entry.properties.end() ? L"(none)" : found->second;
}

// A value as the report shows it: whatever a package holds, it cannot write lines of its own there.
std::wstring ShownProperty(const Entry& entry, const wchar_t* name) { return ShowName(Property(entry, name)); }

std::wstring ShownPlatform(const std::wstring& platform) { return platform.empty() ? L"(none)" : ShowName(platform); }

std::wstring Join(const std::vector<std::wstring>& parts, const wchar_t* separator) {
  std::wstring text;
  for (const std::wstring& part : parts) {
    text += (text.empty() ? L"" : separator) + part;
  }
  return text;
}

std::wstring ShowPaths(const std::vector<std::wstring>& paths) {
  std::vector<std::wstring> shown;
  std::transform(paths.begin(), paths.end(), std::back_inserter(shown), ShowName);
  return Join(shown, L", ");
}

std::vector<std::wstring> Facts(const Entry& entry, const setup::PackageLookup& reads) {
  switch (entry.kind) {
    case EntryKind::kFolder:
      return {L"a folder, not a package"};
    case EntryKind::kNotAPackage:
      return {L"not a Windows Installer package"};
    case EntryKind::kUnreadable:
      return {L"cannot be read: " + entry.error};
    case EntryKind::kPackage:
      break;
  }
  std::vector<std::wstring> facts;
  for (const wchar_t* property : reads.properties) {
    facts.push_back(std::wstring(property) + L" " + ShownProperty(entry, property));
  }
  if (reads.kind == LookupKind::kInstallation) {
    facts.push_back(L"platform " + ShownPlatform(entry.platform));
  }
  return facts;
}

}  // namespace

void Wrap(const std::wstring& text, std::size_t indent, std::vector<std::wstring>& lines) {
  const std::size_t continued = indent + 2;
  std::wstring line(indent, L' ');
  bool lineHasWords = false;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find(L' ', start), text.size());
    std::wstring word = text.substr(start, end - start);
    start = end + 1;
    if (lineHasWords && line.size() + 1 + word.size() > kColumns) {
      lines.push_back(line);
      line.assign(continued, L' ');
      lineHasWords = false;
    }
    if (lineHasWords) {
      line += L' ';
    }
    while (line.size() + word.size() > kColumns) {
      const std::size_t room = kColumns - line.size();
      lines.push_back(line + word.substr(0, room));
      word.erase(0, room);
      line.assign(continued, L' ');
    }
    line += word;
    lineHasWords = true;
  }
  lines.push_back(line);
}

namespace {

// What sets a group apart: for a package, the facts that not every package among the groups shares.
std::vector<std::wstring> OwnFacts(const Group& group, const std::vector<Group>& groups) {
  if (group.kind != EntryKind::kPackage) {
    return group.facts;
  }
  std::vector<std::wstring> own;
  std::copy_if(group.facts.begin(), group.facts.end(), std::back_inserter(own), [&groups](const std::wstring& fact) {
    return std::any_of(groups.begin(), groups.end(), [&fact](const Group& other) {
      return other.kind == EntryKind::kPackage &&
             std::find(other.facts.begin(), other.facts.end(), fact) == other.facts.end();
    });
  });
  return own.empty() ? std::vector<std::wstring>{L"a Windows Installer package"} : own;
}

class Checker {
 public:
  Checker(Disk& disk, const SearchHere& searchHere, const std::vector<std::string>& signers)
      : disk_(disk), tree_(ReadTree(disk)), searchHere_(searchHere), signers_(signers) {}

  int Run(const std::wstring& shownFolder, std::vector<std::wstring>& report) {
    Wrap(L"Distribution folder " + ShowName(shownFolder) + L", as Setup.exe in " + kRoot + L" sees it", 0, report);
    if (!tree_.root.error.empty()) {
      problems_.push_back(L"the folder cannot be read: " + tree_.root.error);
      return Finish({}, report);
    }
    const std::vector<PlatformLookups> platforms = {LookUp(true), LookUp(false)};
    for (const PlatformLookups& platform : platforms) {
      ReportLookups(platform, report);
    }
    ReportInstalledProducts(platforms, report);
    CheckSignatures(disk_, tree_, Packages(platforms), signers_, report, problems_);
    FindFolderProblems(disk_, tree_, problems_);
    for (const PlatformLookups& platform : platforms) {
      FindLookupProblems(platform);
    }
    for (const auto& [problem, labels] : pickedBadEntries_) {
      problems_.push_back(problem.first + L" " + problem.second + L"; it can be picked by " + Join(labels, L", "));
    }
    return Finish(platforms, report);
  }

 private:
  PlatformLookups LookUp(bool windows64) {
    const std::wstring arch = setup::ArchMaskOf(windows64);
    PlatformLookups platform{
        windows64 ? L"x64" : L"win32",
        windows64 ? L"64-bit Windows (x64)" : L"32-bit Windows (win32)",
        windows64 ? std::vector<std::wstring>{L"x64", L"AMD64"} : std::vector<std::wstring>{L"Intel", L""},
        {}};
    // Setup.exe's own table of lookups; the name lookup once for each user interface language.
    for (const setup::PackageLookup& lookup : setup::PackageLookups()) {
      for (const bool russian : {true, false}) {
        if (lookup.kind == LookupKind::kName) {
          platform.lookups.push_back({std::wstring(lookup.label) + (russian ? L" (Russian UI)" : L" (other UI)"),
                                      &lookup,
                                      setup::MasksOf(lookup.kind, arch, setup::LanguageMaskOf(russian)),
                                      {}});
        } else if (russian) {
          platform.lookups.push_back({lookup.label, &lookup, setup::MasksOf(lookup.kind, arch, L""), {}});
        }
      }
    }
    for (Lookup& lookup : platform.lookups) {
      lookup.candidates = Candidates(tree_, lookup.masks);
    }
    return platform;
  }

  // Every package some lookup can pick, in NTFS order.
  std::vector<std::wstring> Packages(const std::vector<PlatformLookups>& platforms) {
    std::set<std::wstring> picked;
    for (const PlatformLookups& platform : platforms) {
      for (const Lookup& lookup : platform.lookups) {
        std::copy_if(lookup.candidates.begin(), lookup.candidates.end(), std::inserter(picked, picked.end()),
                     [this](const std::wstring& path) { return EntryAt(path).kind == EntryKind::kPackage; });
      }
    }
    std::vector<std::wstring> packages(picked.begin(), picked.end());
    std::sort(packages.begin(), packages.end(), PrecedesOnNtfs);
    return packages;
  }

  const Entry& EntryAt(const std::wstring& path) {
    const auto cached = entries_.find(path);
    if (cached != entries_.end()) {
      return cached->second;
    }
    const std::size_t slash = path.find(L'\\');
    const Listing& listing = slash == std::wstring::npos ? tree_.root : tree_.below.at(path.substr(0, slash));
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const auto found = std::find_if(listing.entries.begin(), listing.entries.end(),
                                    [&name](const DiskEntry& entry) { return entry.name == name; });
    Entry entry;
    if (found != listing.entries.end() && found->folder) {
      entry.kind = EntryKind::kFolder;
    } else if (found != listing.entries.end() && (found->link || found->special)) {
      entry.kind = EntryKind::kUnreadable;
      entry.error = found->link ? L"a link, not followed" : L"a special file, not opened";
    } else {
      entry = disk_.ReadPackage(path);
    }
    return entries_[path] = entry;
  }

  std::vector<Group> GroupsOf(const Lookup& lookup) {
    std::vector<Group> groups;
    for (const std::wstring& path : lookup.candidates) {
      const Entry& entry = EntryAt(path);
      const std::vector<std::wstring> facts = Facts(entry, *lookup.reads);
      const auto same =
          std::find_if(groups.begin(), groups.end(), [&facts](const Group& group) { return group.facts == facts; });
      if (same == groups.end()) {
        groups.push_back({{path}, facts, entry.kind});
      } else {
        same->paths.push_back(path);
      }
    }
    return groups;
  }

  static std::wstring Label(const PlatformLookups& platform, const Lookup& lookup) {
    return lookup.reads->platformBound ? platform.platform + L" " + lookup.name : lookup.name;
  }

  void ReportLookups(const PlatformLookups& platform, std::vector<std::wstring>& report) {
    report.push_back(L"");
    report.push_back(platform.title);
    for (const Lookup& lookup : platform.lookups) {
      Wrap(lookup.name + L": " + Join(lookup.masks, L", then "), 2, report);
      const std::vector<Group> groups = GroupsOf(lookup);
      if (groups.empty()) {
        report.push_back(L"    (nothing)");
      }
      for (const Group& group : groups) {
        Wrap(ShowPaths(group.paths), 4, report);
        for (const std::wstring& fact : group.facts) {
          Wrap(fact, kFactIndent, report);
        }
      }
    }
  }

  // The installation's package, when every candidate reads the same.
  std::optional<Group> Installed(const PlatformLookups& platform) {
    const std::vector<Group> groups = GroupsOf(platform.lookups[kInstallationLookup]);
    if (groups.size() != 1 || groups.front().kind != EntryKind::kPackage) {
      return std::nullopt;
    }
    return groups.front();
  }

  void ReportInstalledProducts(const std::vector<PlatformLookups>& platforms, std::vector<std::wstring>& report) {
    report.push_back(L"");
    report.push_back(L"Installed products (for inventory and uninstallation): what Setup.exe installs");
    for (const PlatformLookups& platform : platforms) {
      const std::optional<Group> installed = Installed(platform);
      std::wstring head = L"  " + platform.platform + std::wstring(7 - platform.platform.size(), L' ');
      if (!installed) {
        report.push_back(head + L"unknown: see the problems");
        continue;
      }
      // The file first: the release's agent definitions are written from the package Setup.exe installs.
      report.push_back(head + L"Package " + ShowPaths(installed->paths));
      head.assign(head.size(), L' ');
      for (std::size_t fact = 0; fact < LookupOf(LookupKind::kInstallation).properties.size(); ++fact) {
        report.push_back(head + installed->facts[fact]);
      }
    }
  }

  void NoteBadEntry(const std::wstring& path, const std::wstring& what, const std::wstring& label) {
    std::vector<std::wstring>& labels = pickedBadEntries_[{ShowName(path), what}];
    if (std::find(labels.begin(), labels.end(), label) == labels.end()) {
      labels.push_back(label);
    }
  }

  void FindCandidateProblems(const PlatformLookups& platform, const Lookup& lookup) {
    const std::wstring label = Label(platform, lookup);
    const std::vector<Group> groups = GroupsOf(lookup);
    if (groups.size() > 1) {
      std::vector<std::wstring> differences;
      for (const Group& group : groups) {
        differences.push_back(ShowPaths(group.paths) + L": " + Join(OwnFacts(group, groups), L", "));
      }
      problems_.push_back(label + L" (" + Join(lookup.masks, L", then ") + L") can pick entries that differ: " +
                          Join(differences, L"; "));
    }
    for (const std::wstring& path : lookup.candidates) {
      const Entry& entry = EntryAt(path);
      if (entry.kind == EntryKind::kFolder) {
        NoteBadEntry(path, L"is a folder, not a package", label);
      } else if (entry.kind == EntryKind::kNotAPackage) {
        NoteBadEntry(path, L"is not a Windows Installer package", label);
      } else if (entry.kind == EntryKind::kPackage &&
                 (lookup.reads->kind == LookupKind::kVersion || lookup.reads->kind == LookupKind::kInstallation) &&
                 !setup::IsComparableVersion(Property(entry, L"ProductVersion"))) {
        NoteBadEntry(path,
                     L"holds ProductVersion " + ShownProperty(entry, L"ProductVersion") +
                         L", which Setup.exe cannot compare (it reads up to four dotted numbers of 0 to 65535)",
                     label);
      } else if (entry.kind == EntryKind::kPackage && lookup.reads->platformBound &&
                 std::find(platform.packagePlatforms.begin(), platform.packagePlatforms.end(), entry.platform) ==
                     platform.packagePlatforms.end()) {
        NoteBadEntry(path,
                     L"holds a package for platform " + ShownPlatform(entry.platform) + L", not " + platform.platform,
                     label);
      }
    }
    if (searchHere_) {
      const std::optional<std::wstring> here = searchHere_(lookup.masks);
      if (here && std::find(lookup.candidates.begin(), lookup.candidates.end(), *here) == lookup.candidates.end()) {
        problems_.push_back(label + L" picks " + ShowName(*here) + L" on this disk, which distcheck did not foresee");
      }
    }
  }

  void FindLookupProblems(const PlatformLookups& platform) {
    for (const Lookup& lookup : platform.lookups) {
      FindCandidateProblems(platform, lookup);
    }
    const Lookup& installation = platform.lookups[kInstallationLookup];
    if (installation.candidates.empty()) {
      problems_.push_back(platform.platform + L": no package to install, nothing matches " +
                          installation.masks.front());
    }
    const std::vector<Group> identity = GroupsOf(platform.lookups[kIdentityLookup]);
    const std::vector<Group> version = GroupsOf(platform.lookups[kVersionLookup]);
    const std::optional<Group> installed = Installed(platform);
    if (!installed) {
      return;
    }
    const Entry& installedEntry = EntryAt(installed->paths.front());
    if (identity.size() == 1 && identity.front().kind == EntryKind::kPackage) {
      const std::wstring code = Property(EntryAt(identity.front().paths.front()), L"ProductCode");
      if (code != Property(installedEntry, L"ProductCode")) {
        problems_.push_back(platform.platform + L": the identity lookup reads ProductCode " + ShowName(code) +
                            L" from " + ShowPaths(identity.front().paths) + L", but " + ShowPaths(installed->paths) +
                            L" installs " + ShownProperty(installedEntry, L"ProductCode"));
      }
    }
    if (version.size() == 1 && version.front().kind == EntryKind::kPackage) {
      const std::wstring compared = Property(EntryAt(version.front().paths.front()), L"ProductVersion");
      const std::wstring installs = Property(installedEntry, L"ProductVersion");
      if (setup::CompareVersions(setup::ParseVersion(compared), setup::ParseVersion(installs)) != 0) {
        problems_.push_back(platform.platform + L": the version compared, " + ShowName(compared) + L" of " +
                            ShowPaths(version.front().paths) + L", is not the version installed, " +
                            ShowName(installs) + L" of " + ShowPaths(installed->paths));
      }
    }
  }

  int Finish(const std::vector<PlatformLookups>& platforms, std::vector<std::wstring>& report) {
    std::set<std::wstring> seen;
    std::vector<std::wstring> problems;
    std::copy_if(problems_.begin(), problems_.end(), std::back_inserter(problems),
                 [&seen](const std::wstring& problem) { return seen.insert(problem).second; });
    report.push_back(L"");
    for (const std::wstring& problem : problems) {
      Wrap(L"problem: " + problem, 0, report);
    }
    if (!problems.empty()) {
      Wrap(L"verdict: not sound, " + std::to_wstring(problems.size()) +
               (problems.size() == 1 ? L" problem" : L" problems"),
           0, report);
      return kExitProblems;
    }
    std::vector<std::wstring> installs;
    for (const PlatformLookups& platform : platforms) {
      installs.push_back(ShownProperty(EntryAt(Installed(platform)->paths.front()), L"ProductVersion") + L" on " +
                         platform.platform);
    }
    Wrap(L"verdict: sound; Setup.exe installs " + Join(installs, L" and "), 0, report);
    return kExitSound;
  }

  Disk& disk_;
  const Tree tree_;
  const SearchHere& searchHere_;
  const std::vector<std::string>& signers_;
  std::map<std::wstring, Entry> entries_;
  std::vector<std::wstring> problems_;
  std::map<std::pair<std::wstring, std::wstring>, std::vector<std::wstring>> pickedBadEntries_;
};

// The entries the search could be made to take first, in any order a disk lists: the folder's own
// entries and subfolders, and the entries below that some mask matches.
std::vector<std::wstring> Firsts(const Tree& tree, const std::vector<std::wstring>& masks) {
  const auto matches = [&masks](const DiskEntry& entry) {
    return std::any_of(masks.begin(), masks.end(),
                       [&entry](const std::wstring& mask) { return MatchesOnDisk(entry, mask, true); });
  };
  // A subfolder listed first changes the pick only when something in it matches: the search passes
  // over the others. Leaving them out keeps the check linear in the entries rather than in entries
  // times subfolders.
  const auto holdsMatch = [&tree, &matches](const DiskEntry& folder) {
    const auto below = tree.below.find(folder.name);
    return below != tree.below.end() &&
           std::any_of(below->second.entries.begin(), below->second.entries.end(), matches);
  };
  std::vector<std::wstring> firsts = {L""};
  for (const DiskEntry& entry : tree.root.entries) {
    if (matches(entry) || (entry.folder && holdsMatch(entry))) {
      firsts.push_back(entry.name);
    }
  }
  for (const auto& [folder, listing] : tree.below) {
    for (const DiskEntry& entry : listing.entries) {
      if (matches(entry)) {
        firsts.push_back(folder + L"\\" + entry.name);
      }
    }
  }
  return firsts;
}

}  // namespace

std::vector<std::wstring> Candidates(const Tree& tree, const std::vector<std::wstring>& masks) {
  std::set<std::wstring> picks;
  for (const std::wstring& first : Firsts(tree, masks)) {
    for (const bool shortNamesAtRoot : {false, true}) {
      for (const bool shortNamesBelow : {false, true}) {
        FolderPlatform folder(tree, kRoot, {first, shortNamesAtRoot, shortNamesBelow});
        std::wstring path;
        if (setup::FindFirstPackageFile(folder, std::wstring(kRoot) + L"\\", masks, path) == 0) {
          picks.insert(folder.NameBelowRoot(path));
        }
      }
    }
  }
  std::vector<std::wstring> candidates(picks.begin(), picks.end());
  std::sort(candidates.begin(), candidates.end(), PrecedesOnNtfs);
  return candidates;
}

std::wstring ShowName(const std::wstring& name) {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring shown;
  for (wchar_t c : name) {
    if (IsEscapedByte(c) || IsControl(c)) {
      const auto byte = static_cast<unsigned>(c) & 0xFFu;
      shown += std::wstring(L"\\x") + kHex[byte >> 4] + kHex[byte & 0xFu];
    } else {
      shown += c;
    }
  }
  return shown;
}

int CheckDistribution(Disk& disk, const std::wstring& shownFolder, const SearchHere& searchHere,
                      const std::vector<std::string>& signers, std::vector<std::wstring>& report) {
  return Checker(disk, searchHere, signers).Run(shownFolder, report);
}

}  // namespace distcheck
