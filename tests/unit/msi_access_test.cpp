#include "packages/msi_access.h"

#include "package_test_support.h"

namespace setup::testing {
namespace {

constexpr wchar_t kPath[] = L"C:\\dist\\tarvex-win32.msi";

class MsiAccessTest : public PackageTest {
 protected:
  MsiAccessTest() { AddPackage(kPath, {{L"ProductName", L"Solvarn ЭЦП Browser plug-in"}}); }
};

TEST_F(MsiAccessTest, PackageIsOpenedForItsPropertiesAndClosedAtOnce) {
  ASSERT_EQ(packages.Open(kPath), 0u);
  EXPECT_EQ(os.openedPackageOptions, std::vector<std::uint32_t>{1});  // IGNOREMACHINESTATE
  EXPECT_EQ(os.openHandles(), 0);
  EXPECT_EQ(packages.Open(L"C:\\dist\\missing.msi"), 1619u);
  std::wstring value = L"kept";
  EXPECT_EQ(packages.ReadProperty(L"C:\\dist\\missing.msi", L"ProductName", value), 1619u);
  EXPECT_EQ(value, L"kept");
}

TEST_F(MsiAccessTest, EachFileIsOpenedOncePerRunWhateverIsReadFromIt) {
  AddPackage(L"C:\\dist\\broken.msi").openStatus = 1620;
  std::wstring value;
  for (int step = 0; step < 3; ++step) {
    ASSERT_EQ(packages.Open(kPath), 0u);
    for (const wchar_t* name : {L"UpgradeCode", L"ProductCode", L"ProductName", L"ProductVersion"}) {
      EXPECT_EQ(packages.ReadProperty(kPath, name, value), 0u) << name;
    }
    EXPECT_EQ(value, L"");
    EXPECT_EQ(packages.Open(L"C:\\dist\\broken.msi"), 1620u);
  }
  EXPECT_EQ(os.openedPackages, (std::vector<std::wstring>{kPath, L"C:\\dist\\broken.msi"}));
  EXPECT_EQ(os.openHandles(), 0);
}

TEST_F(MsiAccessTest, PropertyIsReadWholeOnlyAfterMoreDataFromTheSizeQuery) {
  FakePackage& fake = os.packages[kPath];
  fake.sizeQueryStatus[L"SizeQuerySucceeds"] = 0;
  fake.sizeQueryStatus[L"SizeQueryFails"] = 1627;
  fake.readStatus[L"ReadFails"] = 1627;
  ASSERT_EQ(packages.Open(kPath), 0u);
  std::wstring value = L"a longer text that must not survive";
  EXPECT_EQ(packages.ReadProperty(kPath, L"ProductName", value), 0u);
  EXPECT_EQ(value, L"Solvarn ЭЦП Browser plug-in");
  EXPECT_EQ(packages.ReadProperty(kPath, L"Missing", value), 0u);
  EXPECT_EQ(value, L"");  // the platform reports a missing property as an empty text
  for (auto [name, status] : {std::pair{L"SizeQuerySucceeds", 0u}, {L"SizeQueryFails", 1627u}, {L"ReadFails", 1627u}}) {
    value = L"kept";
    EXPECT_EQ(packages.ReadProperty(kPath, name, value), status) << name;
    EXPECT_EQ(value, L"kept") << name;
  }
}

TEST_F(MsiAccessTest, RelatedProductOrThePlatformsRefusal) {
  std::wstring code = L"kept";
  EXPECT_EQ(FindRelatedProduct(os, kUpgradeCode, code), 259u);  // none installed
  EXPECT_EQ(code, L"kept");
  code.clear();
  EXPECT_EQ(FindRelatedProduct(os, L"", code), 87u);  // an upgrade code that could not be read
  EXPECT_EQ(code, L"");
  Install(kInstalledCode, L"2.0.12900");
  EXPECT_EQ(FindRelatedProduct(os, kUpgradeCode, code), 0u);
  EXPECT_EQ(code, kInstalledCode);
}

}  // namespace
}  // namespace setup::testing
