#include "install/log_naming.h"

#include "base/messages.h"
#include "test_support.h"

namespace setup::testing {
namespace {

using LogNamingTest = PlatformTest;

// The fake's clock stands at 2026-12-08 09:05:07 local time.
constexpr const wchar_t* kStamp = L"2026-12-08-09-05-07";

TEST_F(LogNamingTest, TimeStampIsZeroPaddedLocalTimeAndIsPrinted) {
  EXPECT_EQ(MakeTimeStamp(os, 0), kStamp);
  os.now = std::tm{};
  os.now.tm_year = 2031 - 1900;
  os.now.tm_mon = 0;
  os.now.tm_mday = 31;
  os.now.tm_hour = 23;
  os.now.tm_min = 59;
  os.now.tm_sec = 0;
  EXPECT_EQ(MakeTimeStamp(os, 0), L"2031-01-31-23-59-00");
  os.now.tm_mon = 11;
  os.now.tm_sec = 59;
  EXPECT_EQ(MakeTimeStamp(os, 1), L"2032-01-01-00-00-00");
  InstallerLog log;
  EXPECT_EQ(MakeInstallerLog(os, Conduct(false), L"C:\\Temp", L"csp", log), 0u);
  EXPECT_EQ(os.stdoutLines, (std::vector<std::wstring>{L"2031-12-31-23-59-59"}));
}

TEST_F(LogNamingTest, PathIsTmpPrefixAndStampUsedAsTheyAre) {
  struct Case {
    const wchar_t* tmp;
    const wchar_t* prefix;
    const wchar_t* expected;
  };
  os.AddDirectory(L"C:\\Documents and Settings\\A B\\Temp");
  for (const Case& c : {
           Case{L"C:\\Temp", L"csp", L"C:\\Temp\\csp_2026-12-08-09-05-07.log"},
           Case{L"C:\\Temp\\", L"ucsp", L"C:\\Temp\\\\ucsp_2026-12-08-09-05-07.log"},
           Case{L"C:\\Documents and Settings\\A B\\Temp", L"tarvex-win32.msi",
                L"C:\\Documents and Settings\\A B\\Temp\\tarvex-win32.msi_2026-12-08-09-05-07.log"},
       }) {
    os.environment[L"TMP"] = c.tmp;
    std::wstring directory = L"old";
    InstallerLog log;
    EXPECT_EQ(ReadLogDirectory(os, Conduct(false), directory), 0u);
    EXPECT_EQ(MakeInstallerLog(os, Conduct(false), directory, c.prefix, log), 0u);
    EXPECT_EQ(log.path, c.expected);
  }
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_EQ(os.stdoutLines.size(), 3u);
}

// Another run of the same second has made its log: the stamp moves on by a second, a few times, and the
// name printed is the one had. Names a user made in advance for every one of those seconds are
// replaced, but not a log another run still holds.
TEST_F(LogNamingTest, NameThatCannotBeHadTakesTheNextSecond) {
  struct Case {
    int heldBefore;  // logs of the same prefix other runs hold, from this second on
    bool planted;    // those logs made in advance and left, rather than held
    std::uint32_t status;
    const wchar_t* path;
  };
  for (const Case& c : {
           Case{1, false, 0, L"C:\\Temp\\csp_2026-12-08-09-05-08.log"},
           Case{4, false, 0, L"C:\\Temp\\csp_2026-12-08-09-05-11.log"},
           Case{5, false, kErrorAccessDenied, L"kept"},
           Case{5, true, 0, L"C:\\Temp\\csp_2026-12-08-09-05-07.log"},
       }) {
    FakePlatform machine;
    std::vector<InstallerLog> others(static_cast<std::size_t>(c.heldBefore));
    for (InstallerLog& other : others) {
      ASSERT_EQ(MakeInstallerLog(machine, Conduct(true), L"C:\\Temp", L"csp", other), 0u);
      if (c.planted) {
        other.file.reset();
      }
    }
    machine.stdoutLines.clear();
    InstallerLog log;
    log.path = L"kept";
    EXPECT_EQ(MakeInstallerLog(machine, Conduct(true), L"C:\\Temp", L"csp", log), c.status) << c.heldBefore;
    EXPECT_EQ(log.path, c.path);
    EXPECT_EQ(machine.stdoutLines.size(), c.status == 0 ? 1u : 0u);
    if (c.status == 0) {
      EXPECT_EQ(machine.stdoutLines[0], log.path.substr(12, 19));
    }
  }
}

TEST_F(LogNamingTest, EmptyTmpFailsLikeAMissingOne) {
  os.environment[L"TMP"] = L"";
  // An earlier call's error is still there: a package search that found nothing beside the program.
  FindData unused;
  ASSERT_EQ(os.FindFirstFileW(L"C:\\dist\\*.msi", unused), nullptr);
  ASSERT_EQ(os.GetLastError(), 2u);
  std::wstring directory = L"kept";
  EXPECT_EQ(ReadLogDirectory(os, Conduct(true), directory), 203u);
  EXPECT_EQ(directory, L"kept");
}

TEST_F(LogNamingTest, MissingTmpIsReportedAndLeavesThePathAlone) {
  os.environment.erase(L"TMP");
  os.environment[L"TEMP"] = L"C:\\Temp";  // never consulted instead
  std::wstring directory = L"old";
  EXPECT_EQ(ReadLogDirectory(os, Conduct(false), directory), 203u);
  EXPECT_EQ(directory, L"old");
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text, L"[144]");
  EXPECT_EQ(os.boxes[0].caption, L"[129]");
  EXPECT_EQ(os.boxes[0].style, 0x50010u);
  EXPECT_EQ(os.boxes[0].owner, os.ownerWindowCreated);
  EXPECT_TRUE(os.stdoutLines.empty());
  for (const std::wstring& name : os.envQueries) {
    EXPECT_EQ(name, L"TMP");
  }

  os.boxes.clear();
  EXPECT_EQ(ReadLogDirectory(os, Conduct(true), directory), 203u);
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_EQ(directory, L"old");
  // A double quote would end the quoted log path of a provider's -args: as unusable as no TMP.
  os.environment[L"TMP"] = L"C:\\Temp\" x";
  EXPECT_EQ(ReadLogDirectory(os, Conduct(true), directory), 203u);
  EXPECT_EQ(directory, L"old");
}

}  // namespace
}  // namespace setup::testing
