// The plug-in step as the start-up flow reports it.
#include "bootstrap/flow.h"

#include "base/messages.h"
#include "package_test_support.h"

namespace setup::testing {
namespace {

constexpr wchar_t kPackageCode[] = L"{7C2E4B19-3A5D-4E8F-9B60-1D2C3E4F5A6B}";
constexpr wchar_t kLog[] = L"C:\\Temp\\tarvex-win32.msi_2026-12-08-09-05-07.log";

class FlowPluginTest : public PackageTest {
 protected:
  FlowPluginTest() {
    AddPackage(L"C:\\dist\\tarvex-win32.msi", {{L"ProductCode", kPackageCode},
                                               {L"UpgradeCode", kUpgradeCode},
                                               {L"ProductVersion", L"2.0.13000"},
                                               {L"ProductName", L"Plug-in"}});
  }
  std::optional<std::uint32_t> Run(const std::wstring& tail) {
    os.boxes.clear();
    return RunSetup(os, tail);
  }
  std::vector<std::wstring> Texts() const { return BoxTexts(os); }
  using Texts_ = std::vector<std::wstring>;
};

TEST_F(FlowPluginTest, FailureNamesTheCodeAndTheLogOnlyWhenTheLogExists) {
  os.exitCodes = {1603};
  EXPECT_EQ(Run(L""), 1603u);
  EXPECT_EQ(Texts(), (Texts_{L"[103]", L"[106]: 1603.\n"}));
  EXPECT_EQ(os.boxes[1].caption, L"[104]");
  EXPECT_EQ(os.boxes[1].style, 0x50010u);

  os.AddFile(kLog);  // as the installer would have written it
  os.exitCodes = {1603};
  EXPECT_EQ(Run(L""), 1603u);
  EXPECT_EQ(Texts(), (Texts_{L"[103]", std::wstring(L"[106]: 1603.\nInstall log: ") + kLog}));

  // The user's own log option leaves no path to name.
  os.exitCodes = {1603};
  EXPECT_EQ(Run(L"-CadesArgs \"/L*v C:\\my.log\""), 1603u);
  EXPECT_EQ(Texts(), (Texts_{L"[103]", L"[106]: 1603.\n"}));

  os.exitCodes = {1603};
  EXPECT_EQ(Run(L"-silent"), 1603u);
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(FlowPluginTest, CancelledInstallerAndDeclinedReinstallationEndQuietly) {
  os.exitCodes = {1602};
  EXPECT_EQ(Run(L""), 1602u);
  EXPECT_EQ(Texts(), Texts_{L"[103]"});

  Install(kPackageCode, L"2.0.13000");
  os.answers = {kIdYes, kIdNo};
  EXPECT_EQ(Run(L""), 1602u);
  EXPECT_EQ(Texts(), (Texts_{L"[103]", L"[147]"}));
  EXPECT_EQ(os.processes.size(), 1u);  // only the first run's
}

TEST_F(FlowPluginTest, RestartAskedForByTheInstallerIsOfferedOnce) {
  os.exitCodes = {3010};
  os.answers = {kIdYes, kIdNo};
  EXPECT_EQ(Run(L""), 0u);
  EXPECT_EQ(Texts(), (Texts_{L"[103]", L"[108]"}));
  EXPECT_EQ(os.boxes[1].style, 0x50034u);
  EXPECT_TRUE(os.registryKeys.empty());
  EXPECT_TRUE(os.restarts.empty());

  EXPECT_EQ(Run(L""), 0u);
  EXPECT_EQ(Texts(), (Texts_{L"[103]", L"[110]"}));
}

TEST_F(FlowPluginTest, DeclinedUpdateEndsTheRunWithOneAndInstallsNothing) {
  Install(kPackageCode, L"2.0.12900");
  os.answers = {kIdYes, kIdNo};
  EXPECT_EQ(Run(L""), 1u);
  ASSERT_EQ(os.boxes.size(), 2u);
  EXPECT_EQ(os.boxes[1].caption, L"[128]");
  EXPECT_TRUE(os.processes.empty());
}

}  // namespace
}  // namespace setup::testing
