#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "distribution_check.h"
#include "folder_platform.h"

namespace distcheck {
namespace {

struct Order {
  const wchar_t* first;
  const wchar_t* second;
};

TEST(FolderListingTest, NamesComeInNtfsOrder) {
  const Order cases[] = {
      {L"tarvex-x64-readme.txt", L"tarvex-x64.msi"},  // '-' before '.'
      {L"a.msi", L"B.msi"},                           // letter case ignored
      {L"b.msi", L"C.msi"},
      {L"a", L"_"},                // upper-cased, not lower-cased: 'A' < '_' < 'a'
      {L"\U0001F600", L"\uFF21"},  // UTF-16 units: a surrogate before U+FF21
  };
  for (const Order& order : cases) {
    EXPECT_TRUE(PrecedesOnNtfs(order.first, order.second)) << order.first << " " << order.second;
    EXPECT_FALSE(PrecedesOnNtfs(order.second, order.first)) << order.first << " " << order.second;
  }
}

TEST(FolderListingTest, WildcardsMatchAsFindFirstFileDoes) {
  const struct {
    const wchar_t* name;
    const wchar_t* mask;
    bool byName;
    bool with83Names;  // where the disk keeps 8.3 names
  } cases[] = {
      {L"TARVEX-X64.MSI", L"tarvex*x64*", true, true},
      {L"tarvex.msi", L"tarvex*.msi", true, true},
      {L"tarvex-x64.msi.txt", L"*.msi", false, false},
      {L"a1", L"a?", true, true},
      {L"a", L"a?", false, false},
      {L"tarvex-x64.msix", L"*.msi", false, true},        // TARVEX~1.MSI
      {L"tarvex-x64.msix", L"tarvex*.msi", false, true},  // the same
      {L"tarvex-x64.msix", L"*x64**.msi", false, false},  // the 8.3 name lost "x64"
      {L"tarvex.msix", L"tarvex*.msi", false, true},      // a base that fits keeps all six letters
      {L"my tarvex.msi", L"mytarv*", false, true},        // MYTARV~1.MSI: no blanks
      {L"a+b.c.msi1", L"a_bc~?.msi", false, true},        // '+' becomes '_', inner dots go
      {L"setup.exe", L"SETUP~1.EXE", false, false},       // fits 8.3: no other name
  };
  for (const auto& row : cases) {
    EXPECT_EQ(MatchesOnDisk({row.name, L"", false}, row.mask, false), row.byName) << row.name << " " << row.mask;
    EXPECT_EQ(MatchesOnDisk({row.name, L"", false}, row.mask, true), row.with83Names) << row.name << " " << row.mask;
  }
}

// A folder in memory: listings in the order given, packages by path (anything else is no package).
class MemoryDisk : public Disk {
 public:
  std::map<std::wstring, Listing> folders;
  std::map<std::wstring, Entry> packages;

  Listing List(const std::wstring& folder) override { return folders.at(folder); }
  bool ReadDatabase(const std::wstring& file, Entry& entry) override {
    const auto found = packages.find(file);
    if (found != packages.end()) {
      entry = found->second;
    }
    return found != packages.end();
  }
  std::wstring Probe(const std::wstring&) override { return {}; }
  std::string Sha256(const std::wstring&, std::wstring&) override { return {}; }
  std::string ReadBytes(const std::wstring&, std::wstring&) override { return {}; }
  std::wstring DecodeName(const std::string& utf8) override { return {utf8.begin(), utf8.end()}; }

  // Adds path (folders end with '\') and the folders on its way.
  void Add(const std::wstring& path, const std::wstring& platform = L"", const std::wstring& version = L"") {
    const bool folder = path.ends_with(L'\\');
    const std::wstring name = folder ? path.substr(0, path.size() - 1) : path;
    const std::size_t slash = name.rfind(L'\\');
    const std::wstring parent = slash == std::wstring::npos ? L"" : name.substr(0, slash);
    folders[parent].entries.push_back({name.substr(slash + 1), L"", folder});
    if (folder) {
      folders[name];
    }
    if (!version.empty()) {
      packages[name] = {EntryKind::kPackage,
                        {{L"ProductCode", L"{" + platform + version + L"}"}, {L"ProductVersion", version}},
                        platform,
                        {}};
    }
  }
};

MemoryDisk Layout(std::initializer_list<const wchar_t*> paths) {
  MemoryDisk disk;
  disk.folders[L""];
  for (const wchar_t* path : paths) {
    disk.Add(path);
  }
  return disk;
}

TEST(FolderListingTest, CandidatesAreEveryEntrySomeListingOrderMakesTheSearchPick) {
  const struct {
    const char* what;
    MemoryDisk disk;
    std::vector<std::wstring> masks;
    std::vector<std::wstring> candidates;
  } cases[] = {
      {"every match beside the program",
       Layout({L"tarvex-x64.msi", L"tarvex-x64-old.msi", L"sub\\", L"sub\\tarvex-x64.msi"}),
       {L"tarvex*x64*"},
       {L"tarvex-x64-old.msi", L"tarvex-x64.msi"}},
      {"an 8.3 match beside, and where 8.3 names are absent the subfolders",
       Layout({L"tarvex.msix", L"csp\\", L"csp\\tarvex-win32.msi"}),
       {L"tarvex*.msi"},
       {L"csp\\tarvex-win32.msi", L"tarvex.msix"}},
      {"the first match of each subfolder that can come first",
       Layout({L"a\\", L"b\\", L"a\\tarvex-x64.msi", L"b\\tarvex-x64.msi", L".old\\", L".old\\tarvex-x64.msi"}),
       {L"tarvex*x64*"},
       {L"a\\tarvex-x64.msi", L"b\\tarvex-x64.msi"}},
      {"a fallback only when the first wildcard cannot match",
       Layout({L"other.msi", L"tarvex-x64.msi"}),
       {L"*x64**.msi", L"*.msi"},
       {L"tarvex-x64.msi"}},
      {"nothing two levels down", Layout({L"a\\", L"a\\b\\", L"a\\b\\tarvex-x64.msi"}), {L"tarvex*x64*"}, {}},
  };
  for (const auto& row : cases) {
    MemoryDisk disk = row.disk;
    for (int order = 0; order < 2; ++order) {
      EXPECT_EQ(Candidates(ReadTree(disk), row.masks), row.candidates) << row.what << ", order " << order;
      for (auto& [folder, listing] : disk.folders) {
        std::reverse(listing.entries.begin(), listing.entries.end());
      }
    }
  }
}

std::vector<std::wstring> Report(MemoryDisk& disk) {
  std::vector<std::wstring> report;
  CheckDistribution(disk, L"dist", nullptr, report);
  return report;
}

TEST(FolderListingTest, TheVerdictIsTheSameInEveryListingOrder) {
  MemoryDisk disk = Layout({L"Setup.exe", L"tarvex.msix", L"csp\\", L"csp\\Setup.exe", L"pkg\\"});
  disk.Add(L"tarvex-x64.msi", L"x64", L"2.0.13000");
  disk.Add(L"tarvex-x64-2.0.12900.msi", L"x64", L"2.0.12900");
  disk.Add(L"csp\\tarvex-win32.msi", L"Intel", L"2.0.12900");
  disk.Add(L"pkg\\tarvex-win32.msi", L"Intel", L"2.0.13000");
  const std::vector<std::wstring> first = Report(disk);
  const std::vector<std::wstring> expected = {
      L"problem: x64 installation (tarvex*x64*) can pick entries that differ:",
      L"problem: win32 installation (tarvex*win32*) can pick entries that differ:",
      L"problem: tarvex.msix is not a Windows Installer package; it can be picked by",
  };
  for (const std::wstring& line : expected) {
    EXPECT_TRUE(std::any_of(first.begin(), first.end(), [&line](const std::wstring& got) {
      return got.starts_with(line);
    })) << std::string(line.begin(), line.end());
  }
  // Each seed lists every folder in another order.
  for (const unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
    MemoryDisk reordered = disk;
    std::mt19937 random(seed);
    for (auto& [folder, listing] : reordered.folders) {
      std::shuffle(listing.entries.begin(), listing.entries.end(), random);
    }
    EXPECT_EQ(Report(reordered), first) << "seed " << seed;
  }
}

TEST(FolderListingTest, AFolderThatCannotBeListedIsAProblemNotAnEmptyFolder) {
  MemoryDisk disk = Layout({L"Setup.exe", L"tarvex-x64.msi", L"tarvex-win32.msi", L"csp\\"});
  disk.folders.at(L"csp").error = L"Permission denied";
  const std::vector<std::wstring> report = Report(disk);
  EXPECT_NE(std::find(report.begin(), report.end(), L"problem: csp cannot be read: Permission denied"), report.end());
}

}  // namespace
}  // namespace distcheck
