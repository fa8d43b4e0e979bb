#include "install/provider_install.h"

#include "base/messages.h"
#include "test_support.h"

namespace setup::testing {
namespace {

class ProviderInstallTest : public PlatformTest {
 protected:
  const std::wstring& CommandLine() const { return os.processes.at(0).commandLine; }
  // The text between -args " and the quotation mark before -noreboot.
  std::wstring ArgsOf(const std::wstring& commandLine) const {
    const std::size_t start = commandLine.find(L"-args \"") + 7;
    return commandLine.substr(start, commandLine.rfind(L"\" -noreboot") - start);
  }
};

TEST_F(ProviderInstallTest, CommandLineOfAPlainRun) {
  EXPECT_EQ(InstallProvider(os, Conduct(false), false, L"csp", L"").code, 0u);
  EXPECT_EQ(CommandLine(),
            L"\"C:\\dist\\csp\\Setup.exe\" -args \"/qb /Lv! \"\"\"C:\\Temp\\csp_2026-12-08-09-05-07.log\"\"\" \" "
            L"-noreboot -root");
  EXPECT_EQ(os.processes[0].creationFlags, 0x08000000u);
  EXPECT_EQ(os.processes[0].currentDirectory, L"C:\\dist\\");  // not the caller's
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(ProviderInstallTest, SilentAndReinstallFollowTheFixedSwitches) {
  os.modulePath = L"D:\\my dist\\Setup.exe";
  EXPECT_EQ(InstallProvider(os, Conduct(true), true, L"ucsp", L"A=1 ").code, 0u);
  EXPECT_EQ(CommandLine(),
            L"\"D:\\my dist\\ucsp\\Setup.exe\" -args \"/qb /Lv! \"\"\"C:\\Temp\\ucsp_2026-12-08-09-05-07.log\"\"\" "
            L"A=1 \" -noreboot -root -silent -reinstall");
}

TEST_F(ProviderInstallTest, UserLogAndQuietOptionsAreCaseSensitiveSubstrings) {
  struct Case {
    const wchar_t* args;
    const wchar_t* expected;
    bool quiet = false;  // then only an argument "/q..." of any case counts, and none gives "/qn"
  };
  for (const Case& c : {
           Case{L"/L*v C:\\my.log ", L"/qb /L*v C:\\my.log "},
           Case{L"PROP=c:/logs/x ", L"/qb PROP=c:/logs/x "},  // "/l" inside a value
           Case{L"/qn ", L"/Lv! \"\"\"C:\\Temp\\csp_2026-12-08-09-05-07.log\"\"\" /qn "},
           Case{L"/QN /l*v x ", L"/qb /QN /l*v x "}, Case{L"Q=\"a b\" /l x ", L"/qb Q=\"a b\" /l x "},
           Case{L"/l x ", L"/qn /l x ", true}, Case{L"/QN /l x ", L"/QN /l x ", true},
           Case{L"INSTALLDIR=C:/Qt /l x ", L"/qn INSTALLDIR=C:/Qt /l x ", true},  // a value, not an option
       }) {
    os.processes.clear();
    EXPECT_EQ(InstallProvider(os, c.quiet ? Quiet() : Conduct(false), false, L"csp", c.args).code, 0u);
    EXPECT_EQ(ArgsOf(CommandLine()), c.expected) << c.args;
  }
}

TEST_F(ProviderInstallTest, ExitCodesThatLetTheRunGoOn) {
  for (std::uint32_t code : {0u, 3u, 4u, 1602u}) {
    os.exitCodes = {code};
    EXPECT_EQ(InstallProvider(os, Conduct(false), false, L"csp", L"").code, 0u) << code;
  }
  // A quiet run takes msiexec's restart codes as a chained package's success that needs a restart: a
  // restart still to be made is recorded for later runs, one already started ends the run there.
  using Kind = StepOutcome::Kind;
  for (const auto& [code, kind, marker] :
       {std::tuple{3010u, Kind::kRestartNeeded, true}, std::tuple{1641u, Kind::kStopped, false}}) {
    os.registryKeys.clear();
    os.exitCodes = {code};
    const StepOutcome outcome = InstallProvider(os, Quiet(), false, L"csp", L"");
    EXPECT_EQ(outcome.kind, kind) << code;
    EXPECT_EQ(outcome.code, code);
    EXPECT_EQ(os.registryKeys.count(L"Software\\NeedBstrReboot"), marker ? 1u : 0u) << code;
  }
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(ProviderInstallTest, OtherExitCodesAreReportedUnderAnEmptyCaption) {
  os.exitCodes = {3010};
  EXPECT_EQ(InstallProvider(os, Conduct(false), false, L"ucsp", L"").code, 3010u);
  ASSERT_EQ(os.boxes.size(), 1u);
  // The log made before the setup started.
  EXPECT_EQ(os.boxes[0].text, L"[105]: 3010.\nInstall log: C:\\Temp\\ucsp_2026-12-08-09-05-07.log");
  EXPECT_EQ(os.boxes[0].caption, L"");
  EXPECT_EQ(os.boxes[0].style, 0x50010u);
  EXPECT_EQ(os.boxes[0].owner, os.ownerWindowCreated);

  os.boxes.clear();
  // A file with this second's name (another run's log) is left alone: the next second's name is used.
  os.AddFile(L"C:\\Temp\\csp_2026-12-08-09-05-07.log");
  os.exitCodes = {0xC0000005u};
  EXPECT_EQ(InstallProvider(os, Conduct(false), false, L"csp", L"").code, 0xC0000005u);
  EXPECT_EQ(os.boxes.at(0).text, L"[105]: 3221225477.\nInstall log: C:\\Temp\\csp_2026-12-08-09-05-08.log");
  // A setup that wrote nothing into the log made for it leaves no empty file behind to be named.
  os.boxes.clear();
  os.childrenWriteLogs = false;
  os.exitCodes = {1603};
  EXPECT_EQ(InstallProvider(os, Conduct(false), false, L"ucsp", L"").code, 1603u);
  EXPECT_EQ(os.boxes.at(0).text, L"[105]: 1603.\n");
  EXPECT_NE(os.WStat(L"C:\\Temp\\ucsp_2026-12-08-09-05-08.log"), 0);
}

TEST_F(ProviderInstallTest, FailureWithAUserLogHasNoLogLine) {
  os.AddFile(L"C:\\Temp\\csp_2026-12-08-09-05-07.log");
  os.exitCodes = {1603};
  EXPECT_EQ(InstallProvider(os, Conduct(false), false, L"csp", L"/L*v C:\\mine.log ").code, 1603u);
  EXPECT_EQ(os.boxes.at(0).text, L"[105]: 1603.\n");
}

TEST_F(ProviderInstallTest, SetupThatCannotBeStartedIsAFailureWhateverTheCode) {
  os.processStartError = 3;  // ERROR_PATH_NOT_FOUND: looks like a success code of the setup
  EXPECT_EQ(InstallProvider(os, Conduct(false), false, L"csp", L"").code, 3u);
  EXPECT_EQ(os.boxes.at(0).text, L"[105]: 3.\n");
  os.boxes.clear();
  EXPECT_EQ(InstallProvider(os, Conduct(true), false, L"csp", L"").code, 3u);
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_EQ(os.openHandles(), 0);
}

TEST_F(ProviderInstallTest, MissingTmpStopsBeforeTheSetupRuns) {
  os.environment.erase(L"TMP");
  EXPECT_EQ(InstallProvider(os, Conduct(false), false, L"csp", L"").code, 203u);
  EXPECT_TRUE(os.processes.empty());
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text, L"[144]");
  // A user log option needs no TMP.
  os.boxes.clear();
  EXPECT_EQ(InstallProvider(os, Conduct(false), false, L"csp", L"/l* x.log").code, 0u);
  EXPECT_EQ(os.processes.size(), 1u);
}

}  // namespace
}  // namespace setup::testing
