#include "packages/package_identity.h"

#include "package_test_support.h"
#include "packages/package_search.h"
#include "process_state.h"

namespace setup::testing {
namespace {

constexpr wchar_t kX64Code[] = L"{11111111-2222-4333-8444-555555555555}";
constexpr wchar_t kWin32Code[] = L"{66666666-7777-4888-9999-AAAAAAAAAAAA}";
constexpr wchar_t kRussianName[] = L"Solvarn ЭЦП Browser plug-in";
constexpr wchar_t kEnglishName[] = L"Solvarn EDS Browser plug-in";

using ArchMaskTest = PlatformTest;

TEST_F(ArchMaskTest, FollowsTheWow64AnswerThroughTheEntryPointLookedUpOnce) {
  EXPECT_EQ(ArchMask(os), L"*win32*");
  os.isWow64 = true;
  EXPECT_EQ(ArchMask(os), L"*x64*");
  os.wow64Available = false;  // a second lookup would find nothing
  EXPECT_EQ(ArchMask(os), L"*x64*");
  os.wow64CallFails = true;
  EXPECT_EQ(ArchMask(os), L"*win32*");
}

TEST_F(ArchMaskTest, MissingEntryPointStaysMissingButMissingKernel32IsAskedAgain) {
  os.isWow64 = true;
  os.loadedModules.clear();
  EXPECT_EQ(ArchMask(os), L"*win32*");
  os.loadedModules.insert(L"kernel32");
  EXPECT_EQ(ArchMask(os), L"*x64*");
  ForgetIsWow64Process();
  os.wow64Available = false;
  EXPECT_EQ(ArchMask(os), L"*win32*");
  os.wow64Available = true;
  EXPECT_EQ(ArchMask(os), L"*win32*");
}

using Found = std::pair<Status, std::wstring>;

class PackageIdentityTest : public PackageTest {
 protected:
  PackageIdentityTest() {
    AddPackage(L"C:\\dist\\tarvex-x64.msi", {{L"ProductCode", kX64Code}, {L"UpgradeCode", kUpgradeCode}});
    AddPackage(L"C:\\dist\\tarvex-win32.msi", {{L"ProductCode", kWin32Code}, {L"UpgradeCode", kUpgradeCode}});
  }
  Found LookUp(bool wantRelated) {
    std::wstring result = L"untouched";
    const Status status =
        wantRelated ? LookUpInstalledProductCode(packages, {}, result) : LookUpPackageProductCode(packages, {}, result);
    EXPECT_EQ(os.openHandles(), 0);
    EXPECT_TRUE(os.boxes.empty());
    return {status, result};
  }
};

TEST_F(PackageIdentityTest, ProductCodeOfThePlatformPackage) {
  EXPECT_EQ(LookUp(false), (Found{0, kWin32Code}));
  ForgetIsWow64Process();
  os.isWow64 = true;
  EXPECT_EQ(LookUp(false), (Found{0, kX64Code}));
}

TEST_F(PackageIdentityTest, AnyPackageWhenNoneCarriesThePlatformMark) {
  os.modulePath = L"C:\\other\\Setup.exe";
  os.AddFile(os.modulePath);
  AddPackage(L"C:\\other\\sub\\tarvex.msi", {{L"ProductCode", kX64Code}});
  AddPackage(L"C:\\other\\another-product.msi", {{L"ProductCode", kWin32Code}});
  EXPECT_EQ(LookUp(false), (Found{0, kWin32Code}));
}

TEST_F(PackageIdentityTest, RelatedProductThroughTheUpgradeCode) {
  EXPECT_EQ(LookUp(true), (Found{259, L"untouched"}));  // nothing installed
  Install(kInstalledCode, L"2.0.12900");
  EXPECT_EQ(LookUp(true), (Found{0, kInstalledCode}));
  os.packages[L"C:\\dist\\tarvex-win32.msi"].readStatus[L"UpgradeCode"] = 1627;
  packages = PackageReads(platform);                   // the file changed: a new run reads it anew
  EXPECT_EQ(LookUp(true), (Found{87, L"untouched"}));  // the lookup with an empty upgrade code
}

TEST_F(PackageIdentityTest, FailuresArePassedOnWithoutMessages) {
  os.packages[L"C:\\dist\\tarvex-win32.msi"].readStatus[L"ProductCode"] = 1627;
  packages = PackageReads(platform);  // the file changed: a new run reads it anew
  EXPECT_EQ(LookUp(false), (Found{1627, L"untouched"}));
  os.packages[L"C:\\dist\\tarvex-win32.msi"].openStatus = 1620;
  packages = PackageReads(platform);  // the file changed: a new run reads it anew
  EXPECT_EQ(LookUp(true), (Found{1620, L"untouched"}));
  os.modulePath = L"C:\\empty\\Setup.exe";
  os.AddFile(os.modulePath);
  EXPECT_EQ(LookUp(false), (Found{kErrorNoData, L"untouched"}));
}

class LocalizedNameTest : public PackageTest {
 protected:
  Status Read(bool silent, std::wstring& name) {
    const Status status = ReadLookedUpProperty(LookupKind::kName, packages, Conduct(silent), name);
    EXPECT_EQ(os.openHandles(), 0);
    return status;
  }
};

TEST_F(LocalizedNameTest, NameFromThePackageOfTheUiLanguageMarkedBeforeTheStem) {
  AddPackage(L"C:\\dist\\eng-tarvex-win32.msi", {{L"ProductName", kEnglishName}});
  AddPackage(L"C:\\dist\\lang\\rus-tarvex-win32.msi", {{L"ProductName", kRussianName}});
  AddPackage(L"C:\\dist\\tarvex-rus.msi", {{L"ProductName", L"the plain stem's"}});
  // Only Russian as used in Russia counts as Russian; Moldova's Russian is English.
  for (auto [language, name] : {std::pair{0x0419, kRussianName}, {0x0819, kEnglishName}, {0x0409, kEnglishName}}) {
    os.uiLanguage = static_cast<std::uint16_t>(language);
    std::wstring read;
    EXPECT_EQ(Read(false, read), 0u);
    EXPECT_EQ(read, name) << language;
  }
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(LocalizedNameTest, FallsBackToThePlainStem) {
  os.uiLanguage = 0x0419;
  AddPackage(L"C:\\dist\\tarvex-rus.msi", {{L"ProductName", kRussianName}});
  AddPackage(L"C:\\dist\\tarvex-eng.msi", {{L"ProductName", kEnglishName}});
  std::wstring name;
  EXPECT_EQ(Read(false, name), 0u);
  EXPECT_EQ(name, kEnglishName);  // the first "tarvex*.msi" listed
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(LocalizedNameTest, EachFailureHasItsMessageUnlessSilent) {
  for (auto [folder, silent] : {std::pair{L"C:\\loud\\", false}, {L"C:\\silent\\", true}}) {
    os.modulePath = folder + std::wstring(L"Setup.exe");
    os.AddFile(os.modulePath);
    std::wstring name = L"kept";
    EXPECT_EQ(Read(silent, name), kErrorNoData);
    if (!silent) ExpectLookupError(L"[135]");
    AddPackage(folder + std::wstring(L"tarvex.msi")).openStatus = 1620;
    EXPECT_EQ(Read(silent, name), 1620u);
    if (!silent) ExpectLookupError(L"[133]");
    AddPackage(folder + std::wstring(L"tarvex.msi")).readStatus[L"ProductName"] = 1627;
    EXPECT_EQ(Read(silent, name), 1627u);
    if (!silent) ExpectLookupError(L"[134]");
    EXPECT_EQ(name, L"kept");
    EXPECT_TRUE(os.boxes.empty());
  }
}

}  // namespace
}  // namespace setup::testing
