#include "packages/package_search.h"

#include "packages/package_identity.h"

#include "test_support.h"

namespace setup::testing {
namespace {

using Found = std::pair<Status, std::wstring>;

class PackageSearchTest : public PlatformTest {
 protected:
  // The status with the path found, or with the untouched starting text.
  Found Find(const std::wstring& mask) {
    std::wstring path = L"untouched";
    const Status status = FindPackageFile(os, ProgramDirectory(os), mask, path);
    EXPECT_EQ(os.openHandles(), 0) << mask;
    return {status, path};
  }
};

TEST_F(PackageSearchTest, DirectMatchFirstThenTheFirstSubdirectoryListed) {
  os.AddFile(L"C:\\dist\\zeta\\tarvex-win32.msi");
  os.AddFile(L"C:\\dist\\beta\\tarvex-win32-b.msi");
  os.AddFile(L"C:\\dist\\alpha\\readme.txt");
  EXPECT_EQ(Find(L"tarvex*win32*"), (Found{0, L"C:\\dist\\beta\\tarvex-win32-b.msi"}));
  os.AddFile(L"C:\\dist\\tarvex-win32-z.msi");
  os.AddFile(L"C:\\dist\\tarvex-win32-a.msi");
  EXPECT_EQ(Find(L"tarvex*win32*"), (Found{0, L"C:\\dist\\tarvex-win32-a.msi"}));
}

TEST_F(PackageSearchTest, DotDirectoriesAndDeeperLevelsAreNotSearched) {
  os.AddFile(L"C:\\dist\\.cache\\tarvex-win32.msi");
  os.AddFile(L"C:\\dist\\sub\\deeper\\tarvex-win32.msi");
  EXPECT_EQ(Find(L"tarvex*win32*"), (Found{kErrorNoData, L"untouched"}));
  os.modulePath = L"C:\\gone\\Setup.exe";  // a program folder that cannot be listed
  EXPECT_EQ(Find(L"*"), (Found{kErrorNoData, L"untouched"}));
}

TEST_F(PackageSearchTest, MatchingIgnoresCaseAndDoubledStars) {
  os.AddFile(L"C:\\dist\\TARVEX-Win32.MSI");
  os.AddFile(L"C:\\dist\\x\\tarvex-x64.msi");
  EXPECT_EQ(Find(L"tarvex*win32*"), (Found{0, L"C:\\dist\\TARVEX-Win32.MSI"}));
  EXPECT_EQ(Find(L"*x64**.msi"), (Found{0, L"C:\\dist\\x\\tarvex-x64.msi"}));
}

TEST_F(PackageSearchTest, ProgramDirectoryOfAnyLength) {
  EXPECT_EQ(ProgramDirectory(os), L"C:\\dist\\");
  os.modulePath = L"Setup.exe";
  os.AddFile(L"tarvex-win32.msi");
  EXPECT_EQ(ProgramDirectory(os), L"");
  EXPECT_EQ(Find(L"tarvex*"), (Found{0, L"tarvex-win32.msi"}));
  // 259 characters fit the first buffer with the terminator; 260 and far more do not.
  for (std::size_t length : {259u, 260u, 400u, 1000u}) {
    const std::wstring directory = L"C:\\d\\" + std::wstring(length - 15, L'x') + L"\\";
    os.modulePath = directory + L"Setup.exe";
    os.AddFile(os.modulePath);
    os.AddFile(directory + L"sub\\tarvex-win32.msi");
    EXPECT_EQ(ProgramDirectory(os), directory) << length;
    EXPECT_EQ(Find(L"tarvex*"), (Found{0, directory + L"sub\\tarvex-win32.msi"})) << length;
  }
}

// FAT lists a folder in the order its entries were made, NTFS by name; the first listed that matches is
// taken either way.
TEST_F(PackageSearchTest, TheFirstListedIsTakenInEitherOrder) {
  os.AddFile(L"C:\\dist\\tarvex-win32-z.msi");
  os.AddFile(L"C:\\dist\\tarvex-win32-a.msi");
  EXPECT_EQ(Find(L"tarvex*win32*"), (Found{0, L"C:\\dist\\tarvex-win32-a.msi"}));
  os.listing.byName = false;
  EXPECT_EQ(Find(L"tarvex*win32*"), (Found{0, L"C:\\dist\\tarvex-win32-z.msi"}));
}

// The log check's own reckoning of 8.3 names against how Windows lists a folder: a file made at the path
// is refused wherever some lookup could find it, with 8.3 names and listed before everything else. (It
// may refuse more: it gives "..msix" the 8.3 name "~1.MSI", where Windows drops the leading dots.)
TEST_F(PackageSearchTest, ALogIsRefusedWhereverTheSearchCouldFindIt) {
  os.AddDirectory(L"C:\\dist\\csp");
  const std::vector<std::wstring> masks = EveryLookupMask(os);
  for (const wchar_t* name : {L"run.msilog", L"tarvex-x64.msix", L"tarvex x64 eng.msi.log", L"my tarvex.msiq",
                              L"a+b.msi1", L"..msix", L"setup.log", L"tarvex.log", L"tarvex-win32.ms", L"ab.msi.txt"}) {
    for (const std::wstring folder : {L"C:\\dist\\", L"C:\\dist\\csp\\"}) {
      const std::wstring path = folder + name;
      const bool refused = ReachesDistribution(os, path, masks);
      os.AddFile(path);
      os.listing = {false, true, name};
      std::wstring found;
      const bool foundIt = FindFirstPackageFile(os, L"C:\\dist\\", masks, found) == 0;
      EXPECT_TRUE(refused || !foundIt) << ::testing::PrintToString(path);
      os.listing = {};
      os.DeleteFileW(path);
    }
  }
}

}  // namespace
}  // namespace setup::testing
