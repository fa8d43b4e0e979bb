#include "install/package_installer.h"

#include "base/messages.h"
#include "package_test_support.h"
#include "restart/restart.h"

namespace setup::testing {
namespace {

constexpr wchar_t kPackage[] = L"C:\\dist\\tarvex-win32.msi";
constexpr wchar_t kLog[] = L"C:\\Temp\\tarvex-win32.msi_2026-12-08-09-05-07.log";
constexpr wchar_t kMsiexec[] = L"\"C:\\Windows\\system32\\msiexec.exe\" /i ";

class PackageInstallerTest : public PackageTest {
 protected:
  PackageInstallerTest() { AddPackage(kPackage); }
  StepOutcome Outcome(const std::wstring& args, const std::wstring& productCode = kInstalledCode, bool silent = false) {
    return RunPackageInstaller(os, Conduct(silent), logPath, packages, productCode, L"", args);
  }
  std::uint32_t Run(const std::wstring& args, const std::wstring& productCode = kInstalledCode, bool silent = false) {
    return Outcome(args, productCode, silent).code;
  }
  std::wstring CommandLine() const { return os.processes.empty() ? L"<none>" : os.processes.back().commandLine; }

  std::wstring logPath;
};

TEST_F(PackageInstallerTest, CommandLineQuotesToolPackageAndLogAndPutsRestartSuppressionFirst) {
  EXPECT_EQ(Run(L" /qb ADDPLUGVEX=1"), 0u);
  EXPECT_EQ(CommandLine(), std::wstring(kMsiexec) + L"\"C:\\dist\\tarvex-win32.msi\" /Lv! \"" + kLog +
                               L"\" REBOOT=R  /qb ADDPLUGVEX=1");
  EXPECT_EQ(logPath, kLog);
  EXPECT_EQ(os.stdoutLines, std::vector<std::wstring>{L"2026-12-08-09-05-07"});
  EXPECT_EQ(os.openHandles(), 0);
}

TEST_F(PackageInstallerTest, BlanksInEveryPathAreCoveredByTheQuotes) {
  os.modulePath = L"C:\\Program Files\\My Dist\\Setup.exe";
  AddPackage(L"C:\\Program Files\\My Dist\\x86 build\\tarvex win32 1.0.msi");
  os.environment[L"TMP"] = L"C:\\Documents and Settings\\A B\\Local Settings\\Temp";
  os.AddDirectory(os.environment[L"TMP"]);
  os.systemDirectory = L"C:\\WIN NT\\system32";
  EXPECT_EQ(Run(L" REBOOT=ReallySuppress"), 0u);
  const std::wstring log =
      L"C:\\Documents and Settings\\A B\\Local Settings\\Temp\\tarvex win32 1.0.msi_2026-12-08-09-05-07.log";
  EXPECT_EQ(CommandLine(),
            L"\"C:\\WIN NT\\system32\\msiexec.exe\" /i \"C:\\Program Files\\My Dist\\x86 build\\tarvex win32 1.0.msi\" "
            L"/Lv! \"" +
                log + L"\" REBOOT=R  REBOOT=ReallySuppress");
  EXPECT_EQ(logPath, log);
  EXPECT_EQ(os.sourceListPackageNames, std::vector<std::wstring>{L"tarvex win32 1.0.msi"});
}

TEST_F(PackageInstallerTest, AnyLogOptionOfTheUserSuppressesOursAndTheTmpQuery) {
  os.environment.erase(L"TMP");  // would fail if it were asked for
  for (const wchar_t* args :
       {L" /qb /L*v C:\\my.log", L" /l*v C:\\my.log", L" INSTALLDIR=C:/logs/x", L" PROP=a/Lb", L" /qn/l"}) {
    logPath.clear();
    EXPECT_EQ(Run(args), 0u) << args;
    EXPECT_EQ(CommandLine(), std::wstring(kMsiexec) + L"\"C:\\dist\\tarvex-win32.msi\"  REBOOT=R " + args);
    EXPECT_TRUE(logPath.empty()) << args;
  }
  EXPECT_TRUE(os.envQueries.empty());
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(PackageInstallerTest, RestartCodesCountAsSuccessAndLeaveTheMarker) {
  for (std::uint32_t code : {3010u, 3011u, 1641u}) {
    os.registryKeys.clear();
    os.exitCodes = {code};
    EXPECT_EQ(Outcome(L" /qb").kind, StepOutcome::Kind::kRestartNeeded) << code;
    EXPECT_EQ(os.registryKeys.count(L"Software\\NeedBstrReboot"), 1u) << code;
  }
  os.registryKeys.clear();
  os.registryCreateError = 5;
  os.exitCodes = {3010};
  EXPECT_EQ(Outcome(L" /qb").kind, StepOutcome::Kind::kRestartNeeded);
  EXPECT_EQ(os.openHandles(), 0);
}

TEST_F(PackageInstallerTest, EveryOtherExitCodeIsPassedOnWithoutMarker) {
  for (std::uint32_t code : {0u, 3u, 4u, 1602u, 1603u, 0x80070005u}) {
    os.ForgetInstallerLogs();
    os.exitCodes = {code};
    EXPECT_EQ(Run(L" /qb"), code);
    EXPECT_EQ(logPath, kLog);
  }
  EXPECT_TRUE(os.registryKeys.empty());
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(PackageInstallerTest, StartErrorOfTheToolIsTheResult) {
  os.processStartError = 2;
  EXPECT_EQ(Run(L" /qb"), 2u);
  EXPECT_EQ(os.openHandles(), 0);
  EXPECT_TRUE(os.registryKeys.empty());
}

TEST_F(PackageInstallerTest, MissingPackageIsReportedBeforeAnythingElse) {
  os.modulePath = L"C:\\empty\\Setup.exe";
  os.AddFile(os.modulePath);
  logPath = L"previous";
  EXPECT_EQ(Run(L" /qb"), 232u);
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text, L"[139]");
  EXPECT_EQ(os.boxes[0].caption, L"[129]");
  EXPECT_EQ(os.boxes[0].style, 0x50010u);
  EXPECT_EQ(os.boxes[0].owner, os.ownerWindowCreated);
  EXPECT_EQ(logPath, L"previous");
  EXPECT_TRUE(os.envQueries.empty());
  EXPECT_TRUE(os.processes.empty());
  EXPECT_TRUE(os.sourceListCalls.empty());

  os.boxes.clear();
  EXPECT_EQ(Run(L" /qb", kInstalledCode, true), 232u);
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(PackageInstallerTest, MissingTmpStopsTheRun) {
  os.environment.erase(L"TMP");
  EXPECT_EQ(Run(L" /qb"), 203u);
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text, L"[144]");
  EXPECT_TRUE(logPath.empty());
  EXPECT_TRUE(os.processes.empty());
  EXPECT_TRUE(os.sourceListCalls.empty());

  os.boxes.clear();
  EXPECT_EQ(Run(L" /qb", kInstalledCode, true), 203u);
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_TRUE(os.processes.empty());
}

TEST_F(PackageInstallerTest, UnreadableSystemDirectoryStopsTheRunWithTheLogPathAlreadySet) {
  os.systemDirectoryError = 5;
  EXPECT_EQ(Run(L" /qb"), 5u);
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text, L"[152]");
  EXPECT_EQ(os.boxes[0].caption, L"[129]");
  EXPECT_EQ(os.boxes[0].style, 0x50010u);
  EXPECT_EQ(logPath, kLog);
  EXPECT_TRUE(os.processes.empty());

  os.boxes.clear();
  EXPECT_EQ(Run(L" /qb", kInstalledCode, true), 5u);
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(PackageInstallerTest, SourceListNamesTheNewPackageFileEvenOnAFirstInstallation) {
  EXPECT_EQ(Run(L" /qb", L""), 0u);
  EXPECT_EQ(Run(L" /qb", kInstalledCode), 0u);
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {{L"ClearAll", L""},
                                                                       {L"SetInfo 4 0 PackageName", L""},
                                                                       {L"ClearAll", kInstalledCode},
                                                                       {L"SetInfo 4 0 PackageName", kInstalledCode}};
  EXPECT_EQ(os.sourceListCalls, expected);
  EXPECT_EQ(os.sourceListPackageNames, (std::vector<std::wstring>{L"tarvex-win32.msi", L"tarvex-win32.msi"}));
}

TEST_F(PackageInstallerTest, SourceHashIsDeletedOnlyOnWindows51And52AndOnlyByItsWholeName) {
  struct Case {
    std::uint32_t major, minor;
    bool deletes;
  };
  os.environment[L"WINDIR"] = L"C:\\WINDOWS";
  for (const Case& c : {Case{5, 1, true}, Case{5, 2, true}, Case{5, 0, false}, Case{6, 1, false}, Case{6, 2, false},
                        Case{10, 0, false}, Case{4, 1, false}}) {
    os.osMajor = c.major;
    os.osMinor = c.minor;
    os.osServicePackMajor = 3;  // the service pack plays no part
    os.deletedFiles.clear();
    EXPECT_EQ(Run(L" /qb"), 0u);
    std::erase_if(os.deletedFiles, [](const std::wstring& f) { return f.ends_with(L".log"); });  // made anew
    const std::vector<std::wstring> expected =
        c.deletes ? std::vector<std::wstring>{std::wstring(L"C:\\WINDOWS\\installer\\SourceHash") + kInstalledCode}
                  : std::vector<std::wstring>{};
    EXPECT_EQ(os.deletedFiles, expected) << c.major << "." << c.minor;
  }
  // A first installation has no product code, and without WINDIR the folder is unknown: no file of
  // another name, and nothing below the current drive's root, is deleted.
  os.osMajor = 5;
  os.osMinor = 1;
  os.deletedFiles.clear();
  EXPECT_EQ(Run(L" /qb", L""), 0u);
  os.environment.erase(L"WINDIR");
  EXPECT_EQ(Run(L" /qb"), 0u);
  std::erase_if(os.deletedFiles, [](const std::wstring& f) { return f.ends_with(L".log"); });
  EXPECT_TRUE(os.deletedFiles.empty());
}

}  // namespace
}  // namespace setup::testing
