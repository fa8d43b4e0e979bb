#include "install/plugin_install.h"

#include <cwctype>

#include "base/messages.h"
#include "package_test_support.h"
#include "process_state.h"

namespace setup::testing {
namespace {

constexpr wchar_t kPackageCode[] = L"{7C2E4B19-3A5D-4E8F-9B60-1D2C3E4F5A6B}";
constexpr wchar_t kPackageVersion[] = L"2.0.13000";
constexpr wchar_t kOlderVersion[] = L"2.0.12900";
constexpr wchar_t kNewerVersion[] = L"2.0.13100";
constexpr wchar_t kLog[] = L"C:\\Temp\\tarvex-win32.msi_2026-12-08-09-05-07.log";
constexpr wchar_t kReinstall[] = L" REINSTALL=ALL REINSTALLMODE=vomus";
constexpr wchar_t kAddComponent[] = L" COMPADDLOCAL={6B0E2F47-91C3-4A8D-B5E2-7C4F10D39A61}";

constexpr int kFeatureLocal = 3;
constexpr int kFeatureAbsent = 2;

class PluginInstallTest : public PackageTest {
 protected:
  PluginInstallTest() { AddPlatformPackage(L"C:\\dist\\tarvex-win32.msi"); }
  void AddPlatformPackage(const std::wstring& path) {
    AddPackage(path, {{L"ProductCode", kPackageCode},
                      {L"UpgradeCode", kUpgradeCode},
                      {L"ProductVersion", kPackageVersion},
                      {L"ProductName", L"Plug-in"}});
  }
  void InstallProduct(const std::wstring& code, const std::wstring& version, int featureState = kFeatureLocal) {
    Install(code, version);
    os.products[code].pluginFeatureState = featureState;
  }
  std::uint32_t Run(bool silent, bool reinstall, const std::wstring& cadesArgs = L"") {
    return InstallPluginPackage(os, Conduct(silent), reinstall, cadesArgs, logPath).code;
  }
  // What follows msiexec's own restart suppression: the argument string this flow built.
  std::wstring InstallerArgs() const {
    if (os.processes.empty()) {
      return L"<not run>";
    }
    const std::wstring& line = os.processes.back().commandLine;
    const std::size_t at = line.find(L" REBOOT=R ");
    return at == std::wstring::npos ? line : line.substr(at + 10);
  }
  std::vector<std::wstring> Texts() const {
    std::vector<std::wstring> texts;
    for (const ShownBox& box : os.boxes) {
      texts.push_back(box.text.substr(0, 5));
    }
    return texts;
  }
  void Reset() {
    os.products.clear();
    os.processes.clear();
    os.boxes.clear();
    os.ForgetInstallerLogs();
    logPath = L"previous";
  }

  std::wstring logPath = L"previous";
};

TEST_F(PluginInstallTest, ArgumentStringForEverySituationWithAndWithoutAQuietOption) {
  struct Case {
    const char* situation;
    const wchar_t* installedCode;  // null: nothing installed
    int featureState;
    std::wstring properties;
  };
  const Case cases[] = {
      {"first installation", nullptr, kFeatureLocal, L" ADDPLUGVEX=1"},
      {"same product, feature present", kPackageCode, kFeatureLocal, kReinstall},
      {"same product, feature absent", kPackageCode, kFeatureAbsent, std::wstring(kAddComponent) + kReinstall},
      {"other product, feature present", kInstalledCode, kFeatureLocal, L""},
      {"other product, feature absent", kInstalledCode, kFeatureAbsent, L" ADDLOCAL=ALL"},
  };
  for (const Case& c : cases) {
    for (const auto& [cadesArgs, interfaceOption] :
         {std::pair{L"", L" /qb"}, std::pair{L" TRACE=1 ", L" /qb"}, std::pair{L" /qn ", L""}}) {
      Reset();
      if (c.installedCode != nullptr) {
        InstallProduct(c.installedCode, c.installedCode == kPackageCode ? kPackageVersion : kOlderVersion,
                       c.featureState);
      }
      EXPECT_EQ(Run(true, true, cadesArgs), 0u);
      EXPECT_EQ(InstallerArgs(), interfaceOption + c.properties + cadesArgs) << c.situation;
    }
  }
  EXPECT_EQ(os.openHandles(), 0);
}

// The caller's own "/q" counts only as written, except in a quiet run, which adds no interface at all.
TEST_F(PluginInstallTest, InterfaceLevelIsAddedWhereTheCallerGaveNone) {
  struct Case {
    bool quiet;
    const wchar_t* cadesArgs;
    const wchar_t* added;
  };
  for (const Case& c :
       {Case{false, L" /QN ", L" /qb"}, Case{false, L" /Quiet ", L" /qb"}, Case{false, L" Q=/ q ", L" /qb"},
        Case{false, L" /quiet ", L""}, Case{false, L" /qb! ", L""}, Case{false, L" LOG=C:/q ", L""},
        Case{true, L"", L" /qn"}, Case{true, L" Q=/ q ", L" /qn"}, Case{true, L" /QB ", L""}, Case{true, L" /qb ", L""},
        // A quiet run counts only an argument of its own, split as msiexec splits it.
        Case{true, L" MYDIR=C:/Quick ", L" /qn"}, Case{true, L" /L*v C:/Agent/q.log ", L" /qn"},
        Case{true, L" \"A=1 /qb\" ", L" /qn"}, Case{true, L" \"/qb\" ", L""}, Case{true, L" -Qn ", L""},
        Case{true, L" /Passive ", L""}, Case{true, L" -passive ", L""}, Case{true, L" /passiveX ", L" /qn"}}) {
    Reset();
    EXPECT_EQ(InstallPluginPackage(os, c.quiet ? Quiet() : Conduct(false), false, c.cadesArgs, logPath).code, 0u);
    EXPECT_EQ(InstallerArgs(), c.added + std::wstring(L" ADDPLUGVEX=1") + c.cadesArgs) << c.quiet << c.cadesArgs;
  }
}

TEST_F(PluginInstallTest, ProductCodesAreComparedExactly) {
  std::wstring lowerCaseCode = kPackageCode;
  for (wchar_t& c : lowerCaseCode) {
    c = static_cast<wchar_t>(std::towlower(c));
  }
  InstallProduct(lowerCaseCode, kPackageVersion, kFeatureAbsent);
  EXPECT_EQ(Run(true, true), 0u);
  EXPECT_EQ(InstallerArgs(), L" /qb ADDLOCAL=ALL");
}

TEST_F(PluginInstallTest, ProductThatIsNotFullyInstalledGetsAFirstInstallation) {
  InstallProduct(kPackageCode, kPackageVersion);
  os.products[kPackageCode].state = 1;  // INSTALLSTATE_ADVERTISED
  EXPECT_EQ(Run(false, false), 0u);
  EXPECT_EQ(InstallerArgs(), L" /qb ADDPLUGVEX=1");
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(PluginInstallTest, DecisionTable) {
  struct Case {
    const wchar_t* installedVersion;
    bool reinstall;
    RunConduct conduct;
    std::deque<int> answers;
    std::uint32_t result;
    bool runs;
    std::vector<std::wstring> boxes;
  };
  using Boxes = std::vector<std::wstring>;
  const RunConduct kLoud = Conduct(false), kSilent = Conduct(true), kQuiet = Quiet();
  const Case cases[] = {
      // Package newer: the update question is the version comparison's own.
      {kOlderVersion, false, kLoud, {}, 0, true, Boxes{L"[153]"}},
      {kOlderVersion, true, kLoud, {}, 0, true, Boxes{L"[153]"}},
      {kOlderVersion, false, kSilent, {}, 0, true, Boxes{}},
      // Same version.
      {kPackageVersion, true, kLoud, {}, 0, true, Boxes{}},
      {kPackageVersion, true, kSilent, {}, 0, true, Boxes{}},
      {kPackageVersion, false, kLoud, {kIdYes}, 0, true, Boxes{L"[147]"}},
      {kPackageVersion, false, kLoud, {kIdNo}, 1602, false, Boxes{L"[147]"}},
      {kPackageVersion, false, kLoud, {0}, 1602, false, Boxes{L"[147]"}},
      {kPackageVersion, false, kSilent, {}, 0, false, Boxes{}},
      // Installed version newer: refused with a message, attempted when silent.
      {kNewerVersion, false, kLoud, {}, 0, false, Boxes{L"[150]"}},
      {kNewerVersion, true, kLoud, {}, 0, false, Boxes{L"[150]"}},
      {kNewerVersion, false, kSilent, {}, 0, true, Boxes{}},
      {kNewerVersion, true, kSilent, {}, 0, true, Boxes{}},
      // A quiet run refuses it with msiexec's code, and otherwise decides as a silent one.
      {kNewerVersion, false, kQuiet, {}, 1638, false, Boxes{}},
      {kNewerVersion, true, kQuiet, {}, 1638, false, Boxes{}},
      {kPackageVersion, false, kQuiet, {}, 0, false, Boxes{}},
      {kOlderVersion, false, kQuiet, {}, 0, true, Boxes{}},
  };
  for (std::size_t row = 0; row < std::size(cases); ++row) {
    SCOPED_TRACE("row " + std::to_string(row));
    const Case& c = cases[row];
    Reset();
    InstallProduct(kPackageCode, c.installedVersion);
    os.answers = c.answers;
    EXPECT_EQ(InstallPluginPackage(os, c.conduct, c.reinstall, L"", logPath).code, c.result);
    EXPECT_EQ(os.processes.size(), c.runs ? 1u : 0u);
    EXPECT_EQ(logPath, c.runs ? kLog : L"previous");
    EXPECT_EQ(Texts(), c.boxes);
  }
}

TEST_F(PluginInstallTest, ReinstallQuestionAndNewerVersionMessageLookAsTheyShould) {
  InstallProduct(kPackageCode, kPackageVersion);
  os.answers = {kIdNo};
  Run(false, false);
  InstallProduct(kPackageCode, kNewerVersion);
  Run(false, false);
  ASSERT_EQ(os.boxes.size(), 2u);
  EXPECT_EQ(os.boxes[0].caption, L"[128]");
  EXPECT_EQ(os.boxes[0].style, 0x50004u);
  EXPECT_EQ(os.boxes[0].owner, os.ownerWindowCreated);
  EXPECT_EQ(os.boxes[1].text, L"[150]");
  EXPECT_EQ(os.boxes[1].caption, L"[128]");
  EXPECT_EQ(os.boxes[1].style, 0x50010u);
  EXPECT_EQ(os.boxes[1].owner, os.ownerWindowCreated);
}

TEST_F(PluginInstallTest, UnreadablePackageProductCodeIsReportedAndNothingRuns) {
  os.packages[L"C:\\dist\\tarvex-win32.msi"].openStatus = 1620;
  EXPECT_EQ(Run(false, false), 1620u);
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text, L"[151]");
  EXPECT_EQ(os.boxes[0].caption, L"[129]");
  EXPECT_EQ(os.boxes[0].style, 0x50010u);
  EXPECT_EQ(os.boxes[0].owner, os.ownerWindowCreated);
  EXPECT_TRUE(os.processes.empty());
  EXPECT_EQ(logPath, L"previous");

  os.boxes.clear();
  EXPECT_EQ(Run(true, false), 1620u);
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_EQ(os.openHandles(), 0);
}

TEST_F(PluginInstallTest, FailedVersionDecisionEndsTheCall) {
  InstallProduct(kPackageCode, kPackageVersion);
  os.products[kPackageCode].versionStatus = 1605;
  EXPECT_EQ(Run(true, true), 1605u);
  EXPECT_TRUE(os.processes.empty());
  EXPECT_EQ(logPath, L"previous");
}

TEST_F(PluginInstallTest, PackageOfTheRunningPlatformIsInstalled) {
  AddPlatformPackage(L"C:\\dist\\tarvex-x64.msi");
  os.isWow64 = true;
  EXPECT_EQ(Run(true, false), 0u);
  EXPECT_NE(os.processes.back().commandLine.find(L" /i \"C:\\dist\\tarvex-x64.msi\" "), std::wstring::npos);
  // A fresh process whose 64-bit test is missing takes the 32-bit package.
  ForgetIsWow64Process();
  os.wow64Available = false;
  EXPECT_EQ(Run(true, false), 0u);
  EXPECT_NE(os.processes.back().commandLine.find(L" /i \"C:\\dist\\tarvex-win32.msi\" "), std::wstring::npos);
}

}  // namespace
}  // namespace setup::testing
