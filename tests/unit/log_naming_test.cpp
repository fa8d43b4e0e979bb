#include "install/log_naming.h"

#include "base/messages.h"
#include "test_support.h"

namespace setup::testing {
namespace {

using LogNamingTest = PlatformTest;

// The fake's clock stands at 2026-12-08 09:05:07 local time.
constexpr const wchar_t* kStamp = L"2026-12-08-09-05-07";

TEST_F(LogNamingTest, TimeStampIsZeroPaddedLocalTimeAndIsPrinted) {
  EXPECT_EQ(MakeTimeStamp(), kStamp);
  os.now = std::tm{};
  os.now.tm_year = 2031 - 1900;
  os.now.tm_mon = 0;
  os.now.tm_mday = 31;
  os.now.tm_hour = 23;
  os.now.tm_min = 59;
  os.now.tm_sec = 0;
  EXPECT_EQ(MakeTimeStamp(), L"2031-01-31-23-59-00");
  EXPECT_EQ(os.stdoutLines, (std::vector<std::wstring>{kStamp, L"2031-01-31-23-59-00"}));
}

TEST_F(LogNamingTest, PathIsTmpPrefixAndStampUsedAsTheyAre) {
  struct Case {
    const wchar_t* tmp;
    const wchar_t* prefix;
    const wchar_t* expected;
  };
  for (const Case& c : {
           Case{L"C:\\Temp", L"csp", L"C:\\Temp\\csp_2026-12-08-09-05-07.log"},
           Case{L"C:\\Temp\\", L"ucsp", L"C:\\Temp\\\\ucsp_2026-12-08-09-05-07.log"},
           Case{L"C:\\Documents and Settings\\A B\\Temp", L"tarvex-win32.msi",
                L"C:\\Documents and Settings\\A B\\Temp\\tarvex-win32.msi_2026-12-08-09-05-07.log"},
       }) {
    os.environment[L"TMP"] = c.tmp;
    std::wstring logPath = L"old";
    EXPECT_EQ(MakeLogPath(Conduct(false), c.prefix, logPath), 0u);
    EXPECT_EQ(logPath, c.expected);
  }
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_EQ(os.stdoutLines.size(), 3u);
}

TEST_F(LogNamingTest, EmptyTmpFailsLikeAMissingOne) {
  os.environment[L"TMP"] = L"";
  // An earlier call's error is still there: a package search that found nothing beside the program.
  FindData unused;
  ASSERT_EQ(os.FindFirstFileW(L"C:\\dist\\*.msi", unused), nullptr);
  ASSERT_EQ(os.GetLastError(), 2u);
  std::wstring logPath = L"kept";
  EXPECT_EQ(MakeLogPath(Conduct(true), L"csp", logPath), 203u);
  EXPECT_EQ(logPath, L"kept");
}

TEST_F(LogNamingTest, MissingTmpIsReportedAndLeavesThePathAlone) {
  os.environment.erase(L"TMP");
  os.environment[L"TEMP"] = L"C:\\Temp";  // never consulted instead
  std::wstring logPath = L"old";
  EXPECT_EQ(MakeLogPath(Conduct(false), L"csp", logPath), 203u);
  EXPECT_EQ(logPath, L"old");
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
  EXPECT_EQ(MakeLogPath(Conduct(true), L"csp", logPath), 203u);
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_EQ(logPath, L"old");
}

}  // namespace
}  // namespace setup::testing
