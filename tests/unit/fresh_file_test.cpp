#include "base/run_log.h"

#include "test_support.h"

namespace setup::testing {
namespace {

constexpr const wchar_t* kLog = L"C:\\Temp\\setup.log";
constexpr std::uint32_t kCreationFlags = 0x80 | 0x00200000 | 0x00110000;  // normal, reparse point, SQOS

struct FreshCase {
  const char* what;
  Release release;
  std::function<void(FakePlatform&)> arrange;
  const wchar_t* console;  // the line printed, empty when the log is used
  bool removedByHandle;    // the file made, refused, removed through its handle (else by name)
};

// The log is made anew beside its name, a few times when another user takes that name first, and put in
// place of whatever stands at the name, which is never deleted through (a link there would lead the
// deletion to its target); the file made must have one name and, where Windows says (Vista and later),
// lead where it was asked to. A file that fails goes again, and the run has no log.
TEST(FreshFileTest, LogIsMadeAnewAndTakenOnlyAsAsked) {
  const auto junction = [](FakePlatform& os) { os.junctions[L"C:\\Temp"] = L"D:\\elsewhere"; };
  const auto hardLink = [](FakePlatform& os) { os.linkCounts[kLog] = 2; };
  const wchar_t* const leads =
      L"Setup.exe: the log C:\\Temp\\setup.log is not used: it leads to "
      L"D:\\elsewhere\\setup.log; the run goes on without it.";
  const wchar_t* const linked =
      L"Setup.exe: the log C:\\Temp\\setup.log is not used: it has 2 names (a hard "
      L"link); the run goes on without it.";
  for (const FreshCase& c : {
           FreshCase{"earlier file", Release::k10, [](FakePlatform&) {}, L"", false},
           FreshCase{"drafts taken twice", Release::k10, [](FakePlatform& os) { os.replantings = 2; }, L"", false},
           FreshCase{"drafts taken every time", Release::k10, [](FakePlatform& os) { os.replantings = 3; },
                     L"Setup.exe: the log C:\\Temp\\setup.log cannot be written (error 80); the run goes on "
                     L"without it.",
                     false},
           FreshCase{"junction", Release::kVista, junction, leads, true},
           FreshCase{"junction", Release::k10, junction, leads, true},
           FreshCase{"junction", Release::k2003, junction, L"", false},
           FreshCase{"junction", Release::kXpSp3, junction, L"", false},
           FreshCase{"junction", Release::k2000, junction, L"", false},
           FreshCase{"hard link", Release::k7, hardLink, linked, true},
           FreshCase{"hard link", Release::kXpSp3, hardLink, linked, false},
       }) {
    FakePlatform os;
    os.UseRelease(c.release);
    os.AddFile(kLog);
    os.writtenFiles[kLog] = "planted";
    c.arrange(os);
    {
      RunLog log(os);
      log.Open(kLog);
      log.Write({L"line"});
      EXPECT_EQ(log.IsOpen(), *c.console == L'\0') << c.what;
    }
    EXPECT_TRUE(std::find(os.deletedFiles.begin(), os.deletedFiles.end(), kLog) == os.deletedFiles.end()) << c.what;
    ASSERT_FALSE(os.fileCreations.empty());
    EXPECT_EQ(os.fileCreations.back().disposition, 1u) << c.what;  // CREATE_NEW
    EXPECT_EQ(os.fileCreations.back().flags, kCreationFlags) << c.what;
    EXPECT_EQ(os.stdoutLines, *c.console ? std::vector<std::wstring>{c.console} : std::vector<std::wstring>{})
        << c.what;
    if (*c.console == L'\0') {
      EXPECT_EQ(os.TextOf(kLog).substr(1, 2), L"20") << c.what;  // the stamp of the line, after the mark
    } else {
      EXPECT_EQ(os.deletedByHandle.size(), c.removedByHandle ? 1u : 0u) << c.what;
    }
    // What stood at the name stays where the log is refused, and is replaced where it is used.
    EXPECT_EQ(os.WStat(kLog), 0) << c.what;
    EXPECT_EQ(os.writtenFiles[kLog] == "planted", *c.console != L'\0') << c.what;
    EXPECT_EQ(os.openHandles(), 0) << c.what;
  }
}

// Every control character is escaped, so that no text the run logs (a path, a package's property) can
// start a line that looks like the program's own; a write that reports success with fewer bytes says
// so, rather than give a stale last error.
TEST(FreshFileTest, LogLinesCannotBeForgedAndShortWritesAreNamed) {
  FakePlatform os;
  RunLog log(os);
  log.Open(kLog);
  log.Write({L"a\nb", L"\r\x01\x1B\x7F\u00e9\\n"});
  EXPECT_EQ(os.TextOf(kLog).substr(21), L"a\\nb\\r\\x01\\x1B\\x7F\u00e9\\n\r\n");
  os.writeLimit = 10;
  log.Write({L"next"});
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(os.stdoutLines, std::vector<std::wstring>{L"Setup.exe: the log C:\\Temp\\setup.log cannot be written "
                                                      L"(10 of 52 bytes written); the run goes on without it."});
  os.stdoutLines.clear();
  RunSetup(os, L"-quiet -log \"\"");
  EXPECT_EQ(os.stdoutLines.front(), L"Setup.exe: -log names no file; the run goes on without a log.");
}

}  // namespace
}  // namespace setup::testing
