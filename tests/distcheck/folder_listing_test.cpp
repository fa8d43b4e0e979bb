#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
  std::map<std::wstring, Signature> signatures;  // by file, the detached one by its own name

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
  Signature ReadSignature(const std::wstring& file) override { return SignatureOf(file); }
  Signature ReadDetachedSignature(const std::wstring& signature, const std::wstring&) override {
    return SignatureOf(signature);
  }
  Signature SignatureOf(const std::wstring& file) const {
    const auto found = signatures.find(file);
    return found == signatures.end() ? Signature{} : found->second;
  }

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

std::vector<std::wstring> Report(MemoryDisk& disk, const std::vector<std::string>& signers = {}) {
  std::vector<std::wstring> report;
  CheckDistribution(disk, L"dist", nullptr, signers, report);
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

Signature SignedBy(const wchar_t* name) {
  const char digit = static_cast<char>(name[0]);
  return {Signature::State::kIntact, std::wstring(L"CN=") + name, std::string(40, digit), std::string(64, digit), {}};
}

TEST(FolderListingTest, EveryFileSetupExeRunsIsSignedByTheReleasesSigner) {
  const Signature a = SignedBy(L"A");
  const Signature b = SignedBy(L"B");
  const Signature broken{Signature::State::kBroken, L"CN=A", {}, {}, L"its digest does not match the file"};
  const Signature none;
  const std::string pinA(64, 'A');
  const std::string pinB(40, 'B');
  const struct {
    const char* what;
    // Setup.exe, tools\distcheck.exe, the two packages, csp\Setup.exe, SHA256SUMS.p7s
    std::array<Signature, 6> signatures;
    std::vector<std::string> signers;
    std::vector<std::wstring> problems;  // every problem that speaks of signing, by its start
  } cases[] = {
      {"nothing signed", {none, none, none, none, none, none}, {}, {}},
      {"the programs signed, the packages not", {a, a, none, none, none, none}, {}, {}},
      {"the check unsigned beside a signed Setup.exe",
       {a, none, none, none, none, none},
       {},
       {L"tools\\distcheck.exe is not signed, where"}},
      {"Setup.exe unsigned beside a signed check",
       {none, a, none, none, none, none},
       {},
       {L"Setup.exe is not signed, where"}},
      {"one package of two signed", {a, a, a, none, none, none}, {}, {L"tarvex-win32.msi is not signed, where"}},
      {"another signer",
       {a, b, b, b, none, none},
       {},
       {L"tools\\distcheck.exe is signed by CN=B", L"tarvex-x64.msi is signed by CN=B",
        L"tarvex-win32.msi is signed by CN=B"}},
      {"a signature that does not verify",
       {broken, a, none, none, none, none},
       {},
       {L"Setup.exe: its signature does not verify (its digest does not match the file)"}},
      {"the provider's vendor signs its setup", {a, a, none, none, b, a}, {}, {}},
      {"SHA256SUMS signed by another", {a, a, none, none, none, b}, {}, {L"SHA256SUMS.p7s is signed by CN=B"}},
      {"the signer named, everything its", {a, a, a, a, a, a}, {pinA}, {}},
      {"the signer named, the sums unsigned",
       {a, a, a, a, a, none},
       {pinA},
       {L"SHA256SUMS with SHA256SUMS.p7s beside it is missing"}},
      {"the signer named, a package unsigned and the provider its vendor's",
       {a, a, a, none, b, a},
       {pinA},
       {L"tarvex-win32.msi is not signed (--signer)", L"csp\\Setup.exe is signed by CN=B"}},
      {"both signers named, by SHA-256 and SHA-1", {a, a, a, a, b, a}, {pinA, pinB}, {}},
      {"the signer named, Setup.exe signed by another",
       {b, a, a, a, a, a},
       {pinA},
       {L"Setup.exe is signed by CN=B (SHA-1 BBBB"}},
  };
  const std::array<const wchar_t*, 6> files = {L"Setup.exe",        L"tools\\distcheck.exe", L"tarvex-x64.msi",
                                               L"tarvex-win32.msi", L"csp\\Setup.exe",       L"SHA256SUMS.p7s"};
  for (const auto& row : cases) {
    MemoryDisk disk =
        Layout({L"Setup.exe", L"SHA256SUMS", L"tools\\", L"tools\\distcheck.exe", L"csp\\", L"csp\\Setup.exe"});
    disk.Add(L"tarvex-x64.msi", L"x64", L"2.0.13000");
    disk.Add(L"tarvex-win32.msi", L"Intel", L"2.0.13000");
    if (row.signatures[5].state != Signature::State::kNone) {
      disk.Add(L"SHA256SUMS.p7s");
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
      disk.signatures[files[i]] = row.signatures[i];
    }
    std::vector<std::wstring> problems;  // unwrapped
    for (const std::wstring& line : Report(disk, row.signers)) {
      if (line.starts_with(L"problem: ")) {
        problems.push_back(line.substr(9));
      } else if (!problems.empty() && line.starts_with(L"  ")) {
        problems.back() += L" " + line.substr(line.find_first_not_of(L' '));
      }
    }
    std::erase_if(problems, [](const std::wstring& problem) { return problem.find(L"sign") == std::wstring::npos; });
    EXPECT_EQ(problems.size(), row.problems.size()) << row.what;
    for (const std::wstring& expected : row.problems) {
      EXPECT_TRUE(std::any_of(problems.begin(), problems.end(),
                              [&expected](const std::wstring& got) { return got.starts_with(expected); }))
          << row.what << ": " << std::string(expected.begin(), expected.end());
    }
  }
}

}  // namespace
}  // namespace distcheck
