#include "bootstrap/flow.h"

#include "base/messages.h"
#include "test_support.h"

namespace setup::testing {
namespace {

class FlowTest : public PlatformTest {
 protected:
  // A distribution with a plug-in package that is not installed yet.
  FlowTest() {
    os.AddFile(L"C:\\dist\\tarvex-win32.msi");
    os.packages[L"C:\\dist\\tarvex-win32.msi"].properties = {
        {L"ProductCode", L"{7C2E4B19-3A5D-4E8F-9B60-1D2C3E4F5A6B}"}};
  }
  std::optional<std::uint32_t> Run(const std::wstring& tail) { return RunSetup(os, tail); }
  std::vector<std::wstring> Texts() const { return BoxTexts(os); }
  using Texts_ = std::vector<std::wstring>;
};

TEST_F(FlowTest, EmptyCommandLineAsksThenCompletes) {
  EXPECT_EQ(Run(L""), 0u);
  EXPECT_EQ(Texts(), (Texts_{L"[103]", L"[110]"}));
  EXPECT_EQ(os.boxes[0].caption, L"[104]");
  EXPECT_EQ(os.boxes[0].style, 0x50004u);
  EXPECT_EQ(os.boxes[0].owner, os.ownerWindowCreated);
  EXPECT_EQ(os.boxes[1].style, 0x50000u);
  EXPECT_EQ(os.internalUiLevels, std::vector<std::uint32_t>{2});
}

TEST_F(FlowTest, ConfirmationAndCompletionFollowTheRequestedProviders) {
  struct Case {
    const wchar_t* tail;
    const wchar_t* question;
    const wchar_t* completion;
  };
  for (const Case& c : {Case{L"-csp", L"[102]", L"[109]"}, Case{L"-ucsp", L"[122]", L"[124]"},
                        Case{L"-csp -ucsp", L"[125]", L"[127]"}, Case{L"-norestart", L"[103]", L"[110]"}}) {
    os.boxes.clear();
    EXPECT_EQ(Run(c.tail), 0u) << c.tail;
    EXPECT_EQ(Texts(), (Texts_{c.question, c.completion})) << c.tail;
  }
}

TEST_F(FlowTest, FailedCspStepLeavesUcspAndPluginUntouched) {
  os.exitCodes = {1603};
  EXPECT_EQ(Run(L"-csp -ucsp"), 1603u);
  ASSERT_EQ(os.processes.size(), 1u);
  EXPECT_EQ(os.processes[0].commandLine.find(L"\"C:\\dist\\csp\\Setup.exe\" -args"), 0u);
  EXPECT_EQ(Texts(), (Texts_{L"[125]", L"[105]: 1603.\nInstall log: C:\\Temp\\csp_2026-12-08-09-05-07.log"}));
}

TEST_F(FlowTest, ProvidersRunInOrderBeforeThePlugin) {
  EXPECT_EQ(Run(L"-ucsp -csp"), 0u);
  ASSERT_EQ(os.processes.size(), 3u);
  EXPECT_NE(os.processes[0].commandLine.find(L"csp\\Setup.exe"), std::wstring::npos);
  EXPECT_NE(os.processes[1].commandLine.find(L"ucsp\\Setup.exe"), std::wstring::npos);
  EXPECT_NE(os.processes[2].commandLine.find(L"msiexec.exe"), std::wstring::npos);
}

// Started from a console window, the program prints its time stamps there but runs every installer
// detached from it, out of reach of that console's Ctrl+C, Ctrl+Break and closing.
TEST_F(FlowTest, TimeStampsReachTheParentsConsoleWhichIsNotKeptDuringInstallations) {
  os.standardOutput = false;
  os.parentConsole = true;
  EXPECT_EQ(Run(L"-silent -csp"), 0u);
  ASSERT_EQ(os.processes.size(), 2u);
  for (const StartedProcess& process : os.processes) {
    EXPECT_FALSE(process.consoleAttached) << process.commandLine;
  }
  EXPECT_EQ(os.consoleText, L"2026-12-08-09-05-07\r\n2026-12-08-09-05-07\r\n");
  EXPECT_FALSE(os.consoleAttached);
}

TEST_F(FlowTest, AnUpdateRunOpensThePackageFileOnce) {
  // Windows Installer copies the whole file on every open: identity, related product, version and
  // the product's name for the question all come from one open.
  const std::wstring upgradeCode = L"{5D3C9A41-7E0B-4F62-9C18-2B7A6E4D0F93}";
  os.packages[L"C:\\dist\\tarvex-win32.msi"].properties = {{L"ProductCode", L"{7C2E4B19-3A5D-4E8F-9B60-1D2C3E4F5A6B}"},
                                                           {L"UpgradeCode", upgradeCode},
                                                           {L"ProductVersion", L"2.0.13000"},
                                                           {L"ProductName", L"Solvarn"}};
  os.products[L"{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}"] = FakeProduct{upgradeCode, L"2.0.12900"};
  EXPECT_EQ(Run(L""), 0u);
  EXPECT_EQ(Texts(), (Texts_{L"[103]", L"[153] Solvarn|2.0.12900|2.0.13000", L"[110]"}));
  EXPECT_EQ(os.openedPackages, std::vector<std::wstring>{L"C:\\dist\\tarvex-win32.msi"});
  EXPECT_EQ(os.processes.size(), 1u);
}

TEST_F(FlowTest, NoToTheConfirmationEndsAtOnce) {
  os.answers = {kIdNo};
  EXPECT_EQ(Run(L"-csp"), 0u);
  EXPECT_EQ(Texts(), Texts_{L"[102]"});
  EXPECT_TRUE(os.processes.empty());
  EXPECT_TRUE(os.internalUiLevels.empty()) << "msi.dll loaded before the question";
}

TEST_F(FlowTest, SilentShowsNothing) {
  EXPECT_EQ(Run(L"-silent"), 0u);
  EXPECT_TRUE(os.boxes.empty());
}

// A deployment agent's run: no window of the program's own, whatever happens, never a restart, and
// the exit code in msiexec's terms.
TEST_F(FlowTest, QuietRunShowsNothingAndEndsInMsiexecsTerms) {
  struct Case {
    const wchar_t* tail;
    std::deque<std::uint32_t> exitCodes;  // of the children, in order
    bool markerBefore;
    std::uint32_t result;
    std::size_t children;
    bool markerAfter;
  };
  for (const Case& c : {
           Case{L"-quiet -x", {}, false, 1639, 0, false},
           Case{L"-x -Quiet", {}, true, 1639, 0, true},
           Case{L"-quiet -CadesArgs", {}, false, 1639, 0, false},
           Case{L"-quiet -?", {}, false, 0, 0, false},
           Case{L"-quiet", {0}, false, 0, 1, false},
           Case{L"-quiet", {3010}, false, 3010, 1, true},
           Case{L"-quiet", {1641}, false, 3010, 1, true},
           Case{L"-quiet", {0}, true, 3010, 1, true},
           Case{L"-quiet", {1603}, true, 1603, 1, true},
           // A provider's pending restart is recorded as the plug-in's; one it has started ends the run.
           Case{L"-quiet -csp -ucsp", {3010, 1641, 0}, false, 1641, 2, true},
           Case{L"-quiet -csp -ucsp", {0, 1641, 0}, false, 1641, 2, false},
           Case{L"-quiet -csp", {1641, 0}, false, 1641, 1, false},
           Case{L"-quiet -csp -ucsp", {0, 3010, 0}, false, 3010, 3, true},
           Case{L"-quiet -csp -ucsp", {3010, 0, 1603}, false, 1603, 3, true},
           Case{L"-quiet -csp -ucsp", {1603}, false, 1603, 1, false},
           // The providers are not removed: asking for it is a command line that is not accepted.
           Case{L"-quiet -uninstall -csp", {}, false, 1639, 0, false},
           Case{L"-UCSP -quiet -Uninstall", {}, false, 1639, 0, false},
       }) {
    FakePlatform machine;
    machine.packages = os.packages;
    machine.AddFile(L"C:\\dist\\tarvex-win32.msi");
    machine.exitCodes = c.exitCodes;
    if (c.markerBefore) {
      machine.registryKeys.insert(L"Software\\NeedBstrReboot");
    }
    EXPECT_EQ(RunSetup(machine, c.tail), c.result) << c.tail;
    EXPECT_EQ(machine.processes.size(), c.children) << c.tail;
    EXPECT_EQ(machine.registryKeys.count(L"Software\\NeedBstrReboot"), c.markerAfter ? 1u : 0u) << c.tail;
    EXPECT_TRUE(machine.boxes.empty()) << c.tail;
    EXPECT_EQ(machine.ownerWindowCreated, nullptr) << c.tail;
    EXPECT_TRUE(machine.restarts.empty()) << c.tail;
  }
}

// A marker written before Windows last started asks for a restart that has happened since: a quiet
// run does not report it, and leaves it to a run that may restart. Where Windows cannot tell when it
// started, every marker counts. A restart asked for again makes the marker new.
TEST_F(FlowTest, QuietRunReportsOnlyARestartStillPending) {
  constexpr std::int64_t kMinute = 600'000'000;  // in FILETIME's 100-nanosecond intervals
  const std::wstring marker = L"Software\\NeedBstrReboot", log = L"C:\\dist\\setup.log";
  struct Case {
    const wchar_t* tail;
    Release release;
    std::int64_t writtenAfterStart;
    std::deque<std::uint32_t> exitCodes;  // of msiexec, one run each
    std::uint32_t lastResult;
    std::size_t restarts;
    bool markerAfter;
    const wchar_t* logged;  // by the last run
  };
  for (const Case& c : {
           Case{L"-quiet", Release::k10, -kMinute, {0}, 0, 0, true, L"present, written before Windows last started"},
           Case{L"-quiet", Release::k10, kMinute, {0}, 3010, 0, true, L"present, written since Windows started"},
           Case{L"-quiet",
                Release::kXpSp3,
                -kMinute,
                {0},
                3010,
                0,
                true,
                L"present (when Windows started is not known)"},
           Case{L"-quiet", Release::k10, -kMinute, {3010, 0}, 3010, 0, true, L"present, written since Windows started"},
           Case{L"-silent", Release::k10, kMinute, {0}, 0, 1, false, L"restart started"},
           Case{L"-silent", Release::k10, -kMinute, {0}, 0, 0, false, L"Windows has restarted since it was written"},
           Case{L"", Release::k10, -kMinute, {0}, 0, 0, false, L"Windows has restarted since it was written"},
           Case{L"-silent", Release::kXpSp3, -kMinute, {0}, 0, 1, false, L"restart started"},
           Case{L"-silent", Release::k10, -kMinute, {3010}, 0, 1, false, L"restart started"},
       }) {
    FakePlatform machine;
    machine.UseRelease(c.release);
    machine.packages = os.packages;
    machine.AddFile(L"C:\\dist\\tarvex-win32.msi");
    machine.registryKeys.insert(marker);
    machine.registryWriteTimes[marker] = machine.systemTime - machine.ticksSinceStart * 10'000 + c.writtenAfterStart;
    machine.exitCodes = c.exitCodes;
    std::optional<std::uint32_t> result;
    for (std::size_t run = 0; run < c.exitCodes.size(); ++run) {
      result = RunSetup(machine, c.tail + (L" -log " + log));
    }
    EXPECT_EQ(result, c.lastResult) << c.tail << c.writtenAfterStart;
    EXPECT_EQ(machine.restarts.size(), c.restarts) << c.tail;
    EXPECT_EQ(machine.registryKeys.count(marker), c.markerAfter ? 1u : 0u) << c.tail;
    EXPECT_NE(machine.TextOf(log).find(c.logged), std::wstring::npos) << c.logged;
  }
}

TEST_F(FlowTest, QuietHelpIsPrintedWhereTheCallerSeesIt) {
  os.standardOutput = false;
  os.parentConsole = true;
  EXPECT_EQ(Run(L"-csp -quiet -help"), 0u);
  EXPECT_EQ(os.consoleText.find(L"Установщик Solvarn ЭЦП Browser plug-in.\r\n"), 0u);
  EXPECT_NE(os.consoleText.find(L"  -cspargs"), std::wstring::npos);
  EXPECT_EQ(os.consoleText.substr(os.consoleText.size() - 13), L"Solvarn CSP\r\n");
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_TRUE(os.processes.empty());
}

// As SYSTEM in session 0, a service or a scheduled task, nobody can click a box: the run shows none,
// whatever its options, goes on as -silent does, and ends a command line it cannot take with 1639.
TEST_F(FlowTest, OutsideTheInteractiveStationNoBoxWaitsForAClick) {
  os.interactiveUser = false;
  for (const auto& [tail, result, children] : {std::tuple{L"-x", 1639u, 0u}, std::tuple{L"-silent -help", 0u, 0u},
                                               std::tuple{L"-selectDlg -csp", 0u, 2u}, std::tuple{L"", 0u, 1u}}) {
    os.processes.clear();
    EXPECT_EQ(Run(tail), result) << tail;
    EXPECT_EQ(os.processes.size(), children) << tail;
    EXPECT_TRUE(os.boxes.empty()) << tail;
    EXPECT_TRUE(os.dialogsShown.empty()) << tail;
  }
  EXPECT_EQ(os.stdoutLines.front(), L"Setup.exe: the command line is not accepted at \"-x\"; -help lists the options.");
}

TEST_F(FlowTest, NonAdministratorIsRefused) {
  os.administrator = false;
  EXPECT_EQ(Run(L""), 1u);
  EXPECT_EQ(Texts(), Texts_{L"[101]"});
  EXPECT_EQ(os.boxes[0].style, 0x50010u);
  EXPECT_TRUE(os.internalUiLevels.empty());
  os.boxes.clear();
  EXPECT_EQ(Run(L"-silent"), 1u);
  EXPECT_TRUE(os.boxes.empty());
}

// A loader that claims the search flags and then refuses them still loads shell32 by the other way.
// A shell32 that cannot be loaded is no proof of rights; nothing else is tried.
TEST_F(FlowTest, AdministratorTestSurvivesRefusedFlagsAndNeedsShell32) {
  os.searchFlags = FakePlatform::SearchFlags::kRefused;
  EXPECT_EQ(Run(L"-silent"), 0u);
  EXPECT_EQ(os.libraryLoads.size(), 2u);
  os.searchFlags = FakePlatform::SearchFlags::kHonoured;
  os.libraryLoads.clear();
  os.systemLibraries.clear();
  EXPECT_EQ(Run(L"-silent"), 1u);
  EXPECT_EQ(os.libraryLoads.size(), 1u);
}

TEST_F(FlowTest, UsageEndsTheRunBeforeAnythingElse) {
  EXPECT_EQ(Run(L"-silent -x"), 0u);
  EXPECT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].caption, L"Справка");
  EXPECT_TRUE(os.internalUiLevels.empty());
}

TEST_F(FlowTest, DialogOnlyWithSelectDlgAndCspAndNotSilent) {
  EXPECT_EQ(Run(L"-selectDlg"), 0u);
  EXPECT_TRUE(os.dialogsShown.empty());
  EXPECT_EQ(Run(L"-csp -selectDlg -silent"), 0u);
  EXPECT_TRUE(os.dialogsShown.empty());
  os.processes.clear();
  EXPECT_EQ(Run(L"-selectDlg -csp"), 0u);
  EXPECT_EQ(os.dialogsShown, std::vector<std::uint16_t>{141});
  EXPECT_EQ(os.processes.size(), 2u);
  // Cancelled, it ends the run at once.
  os.processes.clear();
  os.runDialog = [](DialogProc) { return std::intptr_t{kIdCancel}; };
  EXPECT_EQ(Run(L"-selectDlg -csp"), 0u);
  EXPECT_TRUE(os.processes.empty());
}

TEST_F(FlowTest, MarkerWithNoRestartKeepsItAndCompletes) {
  os.registryKeys.insert(L"Software\\NeedBstrReboot");
  EXPECT_EQ(Run(L"-norestart"), 0u);
  EXPECT_EQ(Texts(), (Texts_{L"[103]", L"[110]"}));
  EXPECT_EQ(os.registryKeys.count(L"Software\\NeedBstrReboot"), 1u);
  EXPECT_TRUE(os.restarts.empty());
}

TEST_F(FlowTest, DeclinedRestartDeletesTheMarker) {
  os.registryKeys.insert(L"Software\\NeedBstrReboot");
  os.answers = {kIdYes, kIdNo};
  EXPECT_EQ(Run(L"-csp -ucsp"), 0u);
  EXPECT_EQ(Texts(), (Texts_{L"[125]", L"[126]"}));
  EXPECT_EQ(os.boxes[1].style, 0x50034u);
  EXPECT_EQ(os.registryKeys.count(L"Software\\NeedBstrReboot"), 0u);
  EXPECT_TRUE(os.restarts.empty());
}

TEST_F(FlowTest, SilentRestartHappensWithoutAQuestion) {
  os.registryKeys.insert(L"Software\\NeedBstrReboot");
  EXPECT_EQ(Run(L"-silent"), 0u);
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_EQ(os.restarts.size(), 1u);
}

TEST_F(FlowTest, RestartThatFailsIsReportedWithSevenAndStaysPending) {
  os.registryKeys.insert(L"Software\\NeedBstrReboot");
  os.adjustPrivilegesError = 1300;  // ERROR_NOT_ALL_ASSIGNED
  EXPECT_EQ(Run(L"-ucsp"), 7u);
  EXPECT_EQ(Texts(), (Texts_{L"[122]", L"[123]", L"[111]"}));
  EXPECT_EQ(os.boxes[2].style, 0x50000u);
  EXPECT_EQ(os.registryKeys.count(L"Software\\NeedBstrReboot"), 1u);
  EXPECT_EQ(os.openHandles(), 0);
}

// The flow on each release the program runs on, with the rules of that release.
class FlowOnEveryReleaseTest : public FlowTest, public ::testing::WithParamInterface<Release> {
 protected:
  FlowOnEveryReleaseTest() { os.UseRelease(GetParam()); }
  // XP without SP2 is refused (4) before anything is installed.
  std::uint32_t Refusal() const { return GetParam() == Release::kXp || GetParam() == Release::kXpSp1 ? 4 : 0; }
};

// The administrator test is the first load of a system DLL: shell32 from the system directory, with
// its imports searched there by flags the release's loader honours, and IsUserAnAdmin by the ordinal
// Windows 2000 has.
TEST_P(FlowOnEveryReleaseTest, AdministratorIsRecognised) {
  EXPECT_EQ(Run(L"-silent"), Refusal());
  EXPECT_EQ(os.internalUiLevels.size(), Refusal() ? 0u : 1u) << "refused as no administrator";
  ASSERT_FALSE(os.libraryLoads.empty());
  for (const auto& [path, flags] : os.libraryLoads) {
    EXPECT_EQ(path, L"C:\\Windows\\system32\\shell32.dll");
  }
  const std::uint32_t kSystem32 = 0x800, kAlteredPath = 0x8;
  EXPECT_EQ(os.libraryLoads.back().second,
            os.searchFlags == FakePlatform::SearchFlags::kHonoured ? kSystem32 : kAlteredPath);
  EXPECT_EQ(os.openHandles(), 0);
}

// Nested setups that broadcast a message (as setups that change the environment do) end, silent or
// answering the question, and each time stamp reaches the console the program was started from;
// Windows 2000 has no AttachConsole, so there the stamps go nowhere.
TEST_P(FlowOnEveryReleaseTest, BroadcastingSetupsEndAndStampsReachTheParentsConsole) {
  os.childrenBroadcast = true;
  os.standardOutput = false;
  os.parentConsole = true;
  const std::wstring stamp = os.attachConsoleExported ? L"2026-12-08-09-05-07\r\n" : L"";
  for (const auto& [tail, children] : {std::pair{L"-silent -csp -ucsp", 3u}, std::pair{L"-csp", 2u}}) {
    os.processes.clear();
    os.consoleText.clear();
    os.ForgetInstallerLogs();
    EXPECT_EQ(Run(tail), Refusal()) << tail << " (nullopt: never ended)";
    if (Refusal() == 0) {
      EXPECT_EQ(os.processes.size(), children) << tail;
      EXPECT_EQ(os.consoleText, children == 3 ? stamp + stamp + stamp : stamp + stamp) << tail;
    }
    EXPECT_EQ(os.openHandles(), 0);
  }
}

// An installer's restart is remembered and then really made, whether the program runs as the
// interactive user or as an agent (SYSTEM) outside that user's session; the same forced reboot
// either way, with the same reason where the release records one.
TEST_P(FlowOnEveryReleaseTest, AnInstallersRestartIsMadeForTheUserAndForAnAgent) {
  for (bool interactive : {true, false}) {
    os.interactiveUser = interactive;
    os.restarts.clear();
    os.exitCodes = {3010};
    EXPECT_EQ(Run(L"-silent -norestart"), Refusal());
    if (Refusal() != 0) {
      return;
    }
    EXPECT_EQ(os.registryKeys.count(L"Software\\NeedBstrReboot"), 1u) << "interactive " << interactive;
    EXPECT_EQ(Run(L"-silent"), 0u);
    const std::uint32_t reason = interactive || os.initiateSystemShutdownExExported ? 0x40000 : 0;
    EXPECT_EQ(os.restarts, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0x6, reason}}))
        << "interactive " << interactive;
    EXPECT_EQ(os.registryKeys.count(L"Software\\NeedBstrReboot"), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Releases, FlowOnEveryReleaseTest, ::testing::ValuesIn(kEveryRelease));

}  // namespace
}  // namespace setup::testing
