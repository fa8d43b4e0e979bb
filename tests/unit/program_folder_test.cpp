#include "bootstrap/folder_security.h"
#include "bootstrap/redirection.h"
#include "test_support.h"

namespace setup::testing {
namespace {

constexpr wchar_t kLog[] = L"C:\\Temp\\setup.log";

// The warning line of a -quiet run in its log and on its console; empty when there is none.
std::wstring WarningOf(FakePlatform& os) {
  os.AddFile(L"C:\\dist\\tarvex-win32.msi");
  os.AddFile(L"C:\\dist\\csp\\Setup.exe");
  os.AddDirectory(L"C:\\Temp");
  RunSetup(os, std::wstring(L"-quiet -log ") + kLog);
  const std::wstring log = os.TextOf(kLog);
  const std::size_t start = log.find(L"warning: ");
  if (start == std::wstring::npos) {
    EXPECT_TRUE(os.stdoutLines.empty());
    return L"";
  }
  const std::wstring line = log.substr(start, log.find(L"\r\n", start) - start);
  EXPECT_EQ(os.stdoutLines, std::vector<std::wstring>{L"Setup.exe: " + line});
  return line.substr(line.find(L"installs: ") + 10);
}

AccessEntry Allowed(std::uint32_t mask, const wchar_t* sid, std::uint8_t flags = 0x13) { return {0, flags, mask, sid}; }

TEST(FolderWarningTest, NamesWhatOthersCanChangeAndWho) {
  constexpr std::uint32_t kModify = 0x1301BF, kAddFile = 0x2, kRead = 0x1200A9;
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    const wchar_t* warning;
  };
  const Case cases[] = {
      {"only the trusted; Users read, CREATOR OWNER inherit-only", [](FakePlatform&) {}, L""},
      {"Authenticated Users may modify the folder",
       [](FakePlatform& os) {
         os.fileSecurity[L"C:\\dist"] = FakePlatform::WellMadeSecurity();
         os.fileSecurity[L"C:\\dist"].entries.push_back(Allowed(kModify, L"S-1-5-11"));
       },
       L"C:\\dist (S-1-5-11)"},
      {"Users may add a file to csp, and only to what is made below the folder",
       [](FakePlatform& os) {
         os.fileSecurity[L"C:\\dist"].entries = {Allowed(kAddFile, L"S-1-5-32-545", 0x0B)};
         os.fileSecurity[L"C:\\dist"].owner = L"S-1-5-18";
         os.fileSecurity[L"C:\\dist\\csp"].entries = {Allowed(kAddFile, L"S-1-5-32-545")};
       },
       L"C:\\dist\\csp (S-1-5-32-545)"},
      {"the package is writable and a deny ACE is not weighed",
       [](FakePlatform& os) {
         os.fileSecurity[L"C:\\dist\\tarvex-win32.msi"].entries = {{1, 0, kAddFile, L"S-1-5-32-545"},
                                                                   Allowed(kAddFile, L"S-1-5-32-545")};
       },
       L"C:\\dist\\tarvex-win32.msi (S-1-5-32-545)"},
      {"a user owns the provider's setup, which others may only read",
       [](FakePlatform& os) {
         os.fileSecurity[L"C:\\dist\\csp\\Setup.exe"].owner = L"S-1-5-21-1-2-3-1001";
         os.fileSecurity[L"C:\\dist\\csp\\Setup.exe"].entries = {Allowed(kRead, L"S-1-1-0")};
       },
       L"C:\\dist\\csp\\Setup.exe (owner S-1-5-21-1-2-3-1001)"},
      {"no DACL", [](FakePlatform& os) { os.fileSecurity[L"C:\\dist"].nullDacl = true; },
       L"C:\\dist (S-1-1-0 (no DACL))"},
      {"a FAT volume", [](FakePlatform& os) { os.fileSystemFlags = 0; },
       L"C:\\ (the volume keeps no access control lists: everyone)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform os;
    c.arrange(os);
    EXPECT_EQ(WarningOf(os), c.warning);
  }
}

class RedirectionTest : public PlatformTest {};

TEST_F(RedirectionTest, LocalRedirectionAndModulesFromTheProgramsFolderAreRefused) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    bool refused;
  };
  const Case cases[] = {
      {"a clean folder", [](FakePlatform&) {}, false},
      {"Setup.exe.local, a file", [](FakePlatform& os) { os.AddFile(L"C:\\dist\\setup.EXE.local"); }, true},
      {"Setup.exe.local, a folder", [](FakePlatform& os) { os.AddDirectory(L"C:\\dist\\Setup.exe.local"); }, true},
      {"a DLL loaded from the folder", [](FakePlatform& os) { os.processModules.push_back(L"C:\\DIST\\version.dll"); },
       true},
      {"the same after two snapshots that changed while read",
       [](FakePlatform& os) {
         os.snapshotBadLengths = 2;
         os.processModules.push_back(L"C:\\dist\\version.dll");
       },
       true},
      {"a DLL loaded from a folder below",
       [](FakePlatform& os) { os.processModules.push_back(L"C:\\dist\\csp\\version.dll"); }, false},
  };
  for (Release release : kEveryRelease) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::PrintToString(release) + ": " + c.name);
      FakePlatform fresh;
      fresh.UseRelease(release);
      c.arrange(fresh);
      EXPECT_EQ(HasDllRedirection(fresh), c.refused);
      EXPECT_EQ(fresh.openHandles(), 0);
    }
  }
}

// "Internal Manifest vs External Manifest" (XP takes the file first), PreferExternalManifest on later
// releases; Windows 2000 has no side-by-side assemblies.
TEST_F(RedirectionTest, AnExternalManifestIsRefusedWhereWindowsTakesIt) {
  for (Release release : kEveryRelease) {
    for (bool preferExternal : {false, true}) {
      SCOPED_TRACE(::testing::PrintToString(release) + (preferExternal ? " with" : " without") + " the value");
      FakePlatform fresh;
      fresh.UseRelease(release);
      fresh.AddFile(L"C:\\dist\\SETUP.exe.Manifest");
      if (preferExternal) {
        fresh.localMachineDwords[L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide\\PreferExternalManifest"] =
            1;
      }
      const bool xp = fresh.osMajor == 5 && fresh.osMinor == 1;
      EXPECT_EQ(HasDllRedirection(fresh), xp || (preferExternal && release != Release::k2000));
    }
  }
}

}  // namespace
}  // namespace setup::testing
