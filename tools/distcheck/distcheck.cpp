// distcheck DIR: which entry each package lookup of Setup.exe picks in a distribution folder, found by the
// program's own search code over the real folder, and the problems those picks would cause.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "folder_platform.h"
#include "package_properties.h"
#include "packages/package_masks.h"
#include "packages/package_search.h"
#include "packages/package_version.h"
#include "text.h"

namespace distcheck {
namespace {

constexpr int kExitSound = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;

// The program's own path stands for the folder; a drive root would hide nothing the checks look at.
constexpr const wchar_t* kRoot = L"C:\\dist";

constexpr std::array<const wchar_t*, 4> kShownProperties = {L"ProductCode", L"UpgradeCode", L"ProductVersion",
                                                            L"ProductName"};

enum LookupIndex { kIdentity, kNameRussian, kNameEnglish, kVersion, kInstallation, kLookupCount };

struct Pick {
  std::wstring platform;
  std::wstring lookup;
  std::vector<std::wstring> masks;
  std::wstring file;  // below the folder, as the program names it; empty when nothing matches
  Entry entry;
};

using PlatformPicks = std::array<Pick, kLookupCount>;

Pick PickOne(FolderPlatform& folder, std::wstring platform, std::wstring lookup, std::vector<std::wstring> masks) {
  Pick pick{std::move(platform), std::move(lookup), std::move(masks), {}, {}};
  std::wstring path;
  if (setup::FindFirstPackageFile(pick.masks, path) == 0) {
    pick.file = folder.NameBelowRoot(path);
    pick.entry = ReadEntry(folder.LinuxPath(path));
  }
  return pick;
}

PlatformPicks PickForPlatform(FolderPlatform& folder, bool windows64) {
  const std::wstring platform = windows64 ? L"x64" : L"win32";
  const std::wstring arch = setup::ArchMaskOf(windows64);
  // The product name is looked up under the version lookup's mask, as the update question does.
  return {PickOne(folder, platform, L"identity", setup::IdentityMasks(arch)),
          PickOne(folder, platform, L"name (rus)",
                  setup::ProductNameMasks(setup::LanguageMaskOf(true), setup::VersionMask())),
          PickOne(folder, platform, L"name (eng)",
                  setup::ProductNameMasks(setup::LanguageMaskOf(false), setup::VersionMask())),
          PickOne(folder, platform, L"version", {setup::VersionMask()}),
          PickOne(folder, platform, L"installation", {setup::InstallationMask(arch)})};
}

std::wstring Property(const Pick& pick, const wchar_t* name) {
  const auto found = pick.entry.properties.find(name);
  return found == pick.entry.properties.end() ? L"-" : found->second;
}

bool IsPackage(const Pick& pick) { return !pick.file.empty() && pick.entry.kind == EntryKind::kPackage; }

std::wstring JoinMasks(const std::vector<std::wstring>& masks) {
  std::wstring text;
  for (const std::wstring& mask : masks) {
    text += (text.empty() ? L"" : L", ") + mask;
  }
  return text;
}

std::wstring Describe(const Pick& pick) {
  if (pick.file.empty()) {
    return L"(nothing)";
  }
  switch (pick.entry.kind) {
    case EntryKind::kFolder:
      return pick.file + L" (folder)";
    case EntryKind::kNotAPackage:
      return pick.file + L" (not a package)";
    case EntryKind::kPackage:
      break;
  }
  return pick.file;
}

// Columns padded to their widest cell, the last one not at all.
void PrintTable(const std::vector<std::vector<std::wstring>>& rows) {
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t column = 0; column < row.size(); ++column) {
      widths[column] = std::max(widths[column], row[column].size());
    }
  }
  for (const auto& row : rows) {
    std::wstring line;
    for (std::size_t column = 0; column + 1 < row.size(); ++column) {
      line += row[column] + std::wstring(widths[column] - row[column].size() + 2, L' ');
    }
    std::puts(Narrow(line + row.back()).c_str());
  }
}

void PrintPicks(const std::vector<PlatformPicks>& platforms) {
  std::vector<std::vector<std::wstring>> rows = {{L"platform", L"lookup", L"masks", L"picks"}};
  rows[0].insert(rows[0].end(), kShownProperties.begin(), kShownProperties.end());
  for (const PlatformPicks& picks : platforms) {
    for (const Pick& pick : picks) {
      rows.push_back({pick.platform, pick.lookup, JoinMasks(pick.masks), Describe(pick)});
      for (const wchar_t* name : kShownProperties) {
        rows.back().push_back(Property(pick, name));
      }
    }
  }
  PrintTable(rows);
}

void FindEntryProblems(const Pick& pick, std::vector<std::wstring>& problems) {
  if (pick.file.empty() || pick.entry.kind == EntryKind::kPackage) {
    return;
  }
  problems.push_back(pick.platform + L" " + pick.lookup + L" lookup picks " + pick.file +
                     (pick.entry.kind == EntryKind::kFolder ? L", a folder, not a package file"
                                                            : L", which is not a Windows Installer package"));
}

void FindPlatformProblems(const PlatformPicks& picks, std::vector<std::wstring>& problems) {
  for (const Pick& pick : picks) {
    FindEntryProblems(pick, problems);
  }
  const Pick& identity = picks[kIdentity];
  const Pick& version = picks[kVersion];
  const Pick& installation = picks[kInstallation];
  if (installation.file.empty()) {
    problems.push_back(installation.platform + L": no package to install, nothing matches " +
                       JoinMasks(installation.masks));
  }
  if (IsPackage(identity) && IsPackage(installation) &&
      Property(identity, L"ProductCode") != Property(installation, L"ProductCode")) {
    problems.push_back(identity.platform + L": different product codes: identity lookup picks " + identity.file +
                       L" (" + Property(identity, L"ProductCode") + L"), installation lookup picks " +
                       installation.file + L" (" + Property(installation, L"ProductCode") + L")");
  }
  const std::wstring compared = Property(version, L"ProductVersion");
  const std::wstring installed = Property(installation, L"ProductVersion");
  if (IsPackage(version) && IsPackage(installation) &&
      setup::CompareVersions(setup::ParseVersion(compared), setup::ParseVersion(installed)) != 0) {
    problems.push_back(version.platform + L": the version compared, " + compared + L" of " + version.file +
                       L", is not the version installed, " + installed + L" of " + installation.file);
  }
}

int CheckFolder(const std::filesystem::path& folder) {
  FolderPlatform platform(folder, kRoot);
  setup::platform::SetOs(&platform);
  const std::vector<PlatformPicks> platforms = {PickForPlatform(platform, true), PickForPlatform(platform, false)};
  setup::platform::SetOs(nullptr);

  std::printf("%s (as %s)\n", folder.c_str(), Narrow(kRoot).c_str());
  PrintPicks(platforms);
  std::vector<std::wstring> problems;
  for (const PlatformPicks& picks : platforms) {
    FindPlatformProblems(picks, problems);
  }
  for (const std::wstring& problem : problems) {
    std::printf("problem: %s\n", Narrow(problem).c_str());
  }
  return problems.empty() ? kExitSound : kExitProblems;
}

}  // namespace
}  // namespace distcheck

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: distcheck DIR\n");
    return distcheck::kExitUsage;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(argv[1], error)) {
    std::fprintf(stderr, "distcheck: no such folder: %s\n", argv[1]);
    return distcheck::kExitUsage;
  }
  return distcheck::CheckFolder(argv[1]);
}
