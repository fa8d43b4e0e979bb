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

// The program makes the log before msiexec starts, and removes it when msiexec does not start.
TEST_F(FlowPluginTest, FailureNamesTheCodeAndTheLogOnlyWhenTheLogExists) {
  os.processStartError = 5;
  EXPECT_EQ(Run(L""), 5u);
  EXPECT_EQ(Texts(), (Texts_{L"[103]", L"[106]: 5.\n"}));
  EXPECT_EQ(os.boxes[1].caption, L"[104]");
  EXPECT_EQ(os.boxes[1].style, 0x50010u);
  EXPECT_NE(os.WStat(kLog), 0);

  os.processStartError = 0;
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
  os.AddDirectory(L"C:\\logs");
  EXPECT_EQ(Run(L"-log C:\\logs\\setup.log"), 1u);
  ASSERT_EQ(os.boxes.size(), 2u);
  EXPECT_EQ(os.boxes[1].caption, L"[128]");
  EXPECT_TRUE(os.processes.empty());
  EXPECT_NE(os.TextOf(L"C:\\logs\\setup.log").find(L"decision: update declined"), std::wstring::npos);
}

// The run's own log: each step with what it found and decided, a stamped line each, in UTF-16 with a
// byte-order mark. A log that cannot be written is reported on the console, and the run goes on.
TEST_F(FlowPluginTest, LogRecordsWhatTheRunFoundAndDecided) {
  Install(kInstalledCode, L"2.0.12900");
  os.AddDirectory(L"C:\\logs");
  os.exitCodes = {3010};
  EXPECT_EQ(Run(L"-quiet -log C:\\nowhere\\setup.log -log C:\\logs\\setup.log"), 3010u);
  ASSERT_EQ(os.writtenFiles[L"C:\\logs\\setup.log"].substr(0, 2), "\xFF\xFE");
  std::vector<std::wstring> lines;
  const std::wstring text = os.TextOf(L"C:\\logs\\setup.log").substr(1);
  for (std::size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    EXPECT_EQ(text.substr(start, 20), L"2026-12-08 09:05:07 ");
    lines.push_back(text.substr(start + 20, end - start - 20));
  }
  std::size_t found = 0;
  for (const wchar_t* expected : {
           L"options: -quiet",
           L"Windows 10.0.19045 Service Pack 0, 32-bit, user interface language 1033",
           L"restart marker HKCU\\Software\\NeedBstrReboot: absent",
           L"package of the product codes (*win32**.msi, *.msi): C:\\dist\\tarvex-win32.msi",
           L"installed product of that upgrade code: {0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}",
           L"installed version 2.0.12900",
           L"C:\\dist\\tarvex-win32.msi: ProductVersion = 2.0.13000",
           L"decision: update",
           L"installing 2.0.13000 (replacing 2.0.12900)",
           L"ended with exit code 3010",
           L"restart marker HKCU\\Software\\NeedBstrReboot: present, written since Windows started",
           L"exit code 3010",
       }) {
    const auto at = std::find(lines.begin() + static_cast<std::ptrdiff_t>(found), lines.end(), expected);
    EXPECT_NE(at, lines.end()) << expected << L" after line " << found;
    found = at == lines.end() ? found : static_cast<std::size_t>(at - lines.begin());
  }

  os.stdoutLines.clear();
  os.registryKeys.clear();
  EXPECT_EQ(Run(L"-quiet -log C:\\nowhere\\setup.log"), 0u);
  EXPECT_EQ(os.stdoutLines.front(),
            L"Setup.exe: the log C:\\nowhere\\setup.log cannot be written (error 3); the run goes on without it.");
  EXPECT_EQ(os.openHandles(), 0);
}

}  // namespace
}  // namespace setup::testing

namespace setup::testing {
namespace {

// The own log is never made where a lookup of this run could take it for a package (its name, or the
// 8.3 form Windows may give it, matching a wildcard, beside the program or one folder below), nor over
// a file of the distribution that is not an earlier log; the installation goes on without it.
TEST_F(FlowPluginTest, LogNeverTakesThePlaceOfAPackage) {
  struct Case {
    const wchar_t* log;
    bool used;
  };
  os.AddFile(L"C:\\dist\\setup.log");
  os.AddFile(L"C:\\dist\\csp\\Setup.exe");
  os.AddDirectory(L"C:\\elsewhere");
  os.workingDirectory = L"C:\\dist";
  for (const Case& c : {
           Case{L"tarvex-win32-setup.log", false},             // tarvex*win32*, from the current directory
           Case{L"C:\\dist\\tarvex-win32.msi", false},         // the package itself
           Case{L"C:\\dist\\csp\\tarvex-win32.txt", false},    // tarvex*win32* one folder down
           Case{L"C:\\dist\\run.msilog", false},               // RUN~1.MSI: *.msi
           Case{L"C:\\dist\\csp\\Setup.exe", false},           // a file of the distribution
           Case{L"C:\\dist\\setup.log", true},                 // an earlier log
           Case{L"C:\\dist\\csp\\x\\tarvex-win32.msi", true},  // two folders down: no lookup goes there
           Case{L"C:\\elsewhere\\tarvex-win32.msi", true},
       }) {
    os.stdoutLines.clear();
    os.AddDirectory(L"C:\\dist\\csp\\x");
    EXPECT_EQ(Run(L"-silent -log " + std::wstring(c.log)), 0u) << c.log;
    EXPECT_EQ(os.processes.back().commandLine.find(L"\"C:\\dist\\tarvex-win32.msi\""), 37u) << c.log;
    EXPECT_EQ(os.stdoutLines.front().ends_with(L"would lie where the package search looks, or replace a file of the "
                                               L"distribution; the run goes on without it."),
              !c.used)
        << c.log;
    EXPECT_EQ(os.fileCreations.front().path.starts_with(c.log), c.used) << c.log;  // its draft beside it
    os.fileCreations.clear();
  }
  EXPECT_EQ(os.WStat(L"C:\\dist\\csp\\Setup.exe"), 0);
}

}  // namespace
}  // namespace setup::testing

namespace setup::testing {
namespace {

// A removal ends as its installer does, with the boxes and the restart marker of an installation.
TEST_F(FlowPluginTest, RemovalEndsAsItsInstallerDoes) {
  const std::wstring log = L"C:\\Temp\\" + std::wstring(kInstalledCode) + L"_2026-12-08-09-05-07.log";
  const std::wstring removal = L"\"C:\\Windows\\system32\\msiexec.exe\" /x " + std::wstring(kInstalledCode) +
                               L" /Lv! \"" + log + L"\" REBOOT=R  ";
  struct Case {
    const wchar_t* tail;
    std::deque<std::uint32_t> exitCodes;  // of msiexec; empty: nothing installed, nothing may run
    std::uint32_t result;
    Texts_ boxes;
    std::wstring commandLine;
    bool marker;
  };
  for (const Case& c : {
           Case{L"-uninstall", {}, 0, {L"[154]", L"[157]"}, L"", false},
           Case{L"-uninstall", {1602}, 1602, {L"[154]"}, removal + L"/qb", false},
           Case{L"-uninstall", {1603}, 1603, {L"[154]", L"[158]: 1603.\nInstall log: " + log}, removal + L"/qb", false},
           Case{L"-silent -norestart -uninstall -CadesArgs A=1", {3010}, 0, {}, removal + L"/qb A=1 ", true},
           Case{L"-quiet -uninstall -CadesArgs /qb!", {3010}, 3010, {}, removal + L"/qb! ", true},
       }) {
    os.products.clear();
    os.registryKeys.clear();
    os.ForgetInstallerLogs();
    if (!c.exitCodes.empty()) {
      Install(kInstalledCode, L"2.0.12900");
    }
    os.exitCodes = c.exitCodes;
    EXPECT_EQ(Run(c.tail), c.result) << c.tail;
    EXPECT_EQ(Texts(), c.boxes) << c.tail;
    EXPECT_EQ(os.processes.empty() ? L"" : os.processes.back().commandLine, c.commandLine) << c.tail;
    EXPECT_EQ(os.registryKeys.count(L"Software\\NeedBstrReboot"), c.marker ? 1u : 0u) << c.tail;
    os.processes.clear();
  }
}

}  // namespace
}  // namespace setup::testing
