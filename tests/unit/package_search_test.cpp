#include "packages/package_search.h"

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

}  // namespace
}  // namespace setup::testing
