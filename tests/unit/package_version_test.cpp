#include "packages/package_version.h"

#include <array>
#include <limits>

#include "base/messages.h"
#include "package_test_support.h"
#include "packages/package_search.h"

namespace setup::testing {
namespace {

using Parts = std::array<std::int64_t, 4>;
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(ParseVersionTest, ReadsAsFarAsTheTextFitsTheDottedFormat) {
  const std::pair<const wchar_t*, Parts> cases[] = {
      {L"2.0.13000", {2, 0, 13000, 0}},
      {L"1.2.3.4.5", {1, 2, 3, 4}},
      {L"1.2.3beta", {1, 2, 3, 0}},
      {L"1.2beta.3", {1, 2, 0, 0}},
      {L"1..2", {1, 0, 0, 0}},
      {L"v1.2", {0, 0, 0, 0}},
      {L"no digits", {0, 0, 0, 0}},
      {L"", {0, 0, 0, 0}},
      // Blanks are skipped before a number, never before a dot; a sign needs a digit after it.
      {L"  1. 2.\t3.\r\n4", {1, 2, 3, 4}},
      {L"1 .2", {1, 0, 0, 0}},
      {L"+1.-2. -3", {1, -2, -3, 0}},
      {L"-.5", {0, 0, 0, 0}},
      {L"1.+ 2", {1, 0, 0, 0}},
      // Numbers beyond 64 bits are held at the ends of the range, every digit consumed.
      {L"9223372036854775807.1", {kMax, 1, 0, 0}},
      {L"18446744073709551617.2", {kMax, 2, 0, 0}},
      {L"-9223372036854775808.3", {kMin, 3, 0, 0}},
      {L"-99999999999999999999999.4", {kMin, 4, 0, 0}},
  };
  for (const auto& [text, expected] : cases) {
    const VersionNumber version = ParseVersion(text);
    EXPECT_EQ((Parts{version.parts[0], version.parts[1], version.parts[2], version.parts[3]}), expected) << text;
  }
}

TEST(CompareVersionsTest, PackedSixteenBitFieldsThatWrap) {
  const std::tuple<const wchar_t*, const wchar_t*, int> cases[] = {
      {L"2.0.13000", L"2.0.12900", 1}, {L"2.0.12900", L"2.0.14000", -1},
      {L"5.0", L"5.0.0.0", 0},         {L"5.0.1", L"5.0", 1},
      {L"1.2.3beta", L"1.2.3", 0},     {L"no digits", L"0.0.0.1", -1},
      {L"1.0.65536", L"1.1.0", 0},     {L"40000.0.0", L"1.0.0", -1},  // the first field holds the sign bit
      {L"32767.0.0", L"1.0.0", 1},     {L"0.-1", L"0.0", -1},
      {L"65536.0.0.0", L"0", 0},       {L"9223372036854775807", L"0", -1},
  };
  for (const auto& [a, b, expected] : cases) {
    EXPECT_EQ(CompareVersions(ParseVersion(a), ParseVersion(b)), expected) << a << L" vs " << b;
  }
}

class CheckPackageVersionTest : public PackageTest {
 protected:
  CheckPackageVersionTest() {
    Install(kInstalledCode, L"2.0.12900");
    AddPackage(kPackage, {{L"ProductVersion", L"2.0.13000"}, {L"ProductName", L"Solvarn ЭЦП Browser plug-in"}});
    AddPackage(L"C:\\dist\\lang\\eng-tarvex-win32.msi", {{L"ProductName", L"Solvarn EDS Browser plug-in"}});
  }
  // The status, or the exit code as a negative number when the run stops there.
  std::int64_t Check(bool askUpdate = true, bool silent = false) {
    const StepOutcome outcome =
        CheckPackageVersion(packages, decision, askUpdate, kInstalledCode, Conduct(silent), installed);
    EXPECT_EQ(os.openHandles(), 0);
    EXPECT_NE(outcome.kind, StepOutcome::Kind::kRestartNeeded);
    return outcome.kind == StepOutcome::Kind::kStopped ? -static_cast<std::int64_t>(outcome.code) : outcome.code;
  }

  static constexpr wchar_t kPackage[] = L"C:\\dist\\tarvex-win32.msi";
  int decision = 1;
  std::wstring installed;  // the installed version the check read
};

TEST_F(CheckPackageVersionTest, NewerPackageAsksWithProductAndBothVersions) {
  os.strings[153] = L"Будет произведено обновление %s %s до версии %s. Обновить?";
  Install(kInstalledCode, L"2.0.12900 %s");  // inserted texts are not formatted again
  EXPECT_EQ(Check(), 0);
  EXPECT_EQ(decision, 1);
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text,
            L"Будет произведено обновление Solvarn EDS Browser plug-in 2.0.12900 %s до версии 2.0.13000. Обновить?");
  EXPECT_EQ(os.boxes[0].owner, nullptr);
  EXPECT_EQ(os.boxes[0].caption, L"[128]");
  EXPECT_EQ(os.boxes[0].style, 0x4u);
}

TEST_F(CheckPackageVersionTest, NoToTheUpdateStopsTheRunWithOne) {
  os.answers = {kIdNo};
  EXPECT_EQ(Check(), -1);
  EXPECT_EQ(os.boxes.size(), 1u);
}

TEST_F(CheckPackageVersionTest, DecidesWithoutAQuestionWhenNotNewerSilentOrNotToAsk) {
  os.answers = {kIdNo};  // an answer that must never be asked for
  EXPECT_EQ(Check(/*askUpdate=*/false), 0);
  EXPECT_EQ(decision, 1);
  decision = 7;
  EXPECT_EQ(Check(/*askUpdate=*/true, /*silent=*/true), 0);
  EXPECT_EQ(decision, 1);
  Install(kInstalledCode, L"2.0.13000");
  EXPECT_EQ(Check(), 0);
  EXPECT_EQ(decision, 0);
  Install(kInstalledCode, L"2.0.14000");
  EXPECT_EQ(Check(), 0);
  EXPECT_EQ(decision, -1);
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(CheckPackageVersionTest, EachFailureHasItsMessageAndResultAndLeavesTheDecision) {
  Install(kInstalledCode, L"2.0.14000");  // a decision of -1 would show if one were made
  FakeProduct& installed = os.products[kInstalledCode];
  FakePackage& package = os.packages[kPackage];
  for (bool silent : {false, true}) {
    installed.versionSizeStatus = 1605;
    EXPECT_EQ(Check(true, silent), 1);  // one, not the platform's status
    if (!silent) ExpectLookupError(L"[131]");
    installed.versionSizeStatus = 0;
    installed.versionStatus = 1608;
    EXPECT_EQ(Check(true, silent), 1608);
    if (!silent) ExpectLookupError(L"[131]");
    installed.versionStatus = 0;
    package.readStatus[L"ProductVersion"] = 1627;
    packages = PackageReads(platform);  // each change of the file stands for a new run
    EXPECT_EQ(Check(true, silent), 1627);
    if (!silent) ExpectLookupError(L"[134]");
    package.readStatus.clear();
    package.openStatus = 1620;
    packages = PackageReads(platform);
    EXPECT_EQ(Check(true, silent), 1620);
    if (!silent) ExpectLookupError(L"[133]");
    package.openStatus = 0;
    packages = PackageReads(platform);
  }
  os.modulePath = L"C:\\elsewhere\\Setup.exe";
  os.AddFile(os.modulePath);
  EXPECT_EQ(Check(true, true), static_cast<std::int64_t>(kErrorNoData));
  EXPECT_EQ(Check(), static_cast<std::int64_t>(kErrorNoData));
  ExpectLookupError(L"[135]");
  EXPECT_EQ(decision, 1);
}

TEST_F(CheckPackageVersionTest, UnreadableProductNameEndsWithItsOwnMessage) {
  os.packages[L"C:\\dist\\lang\\eng-tarvex-win32.msi"].readStatus[L"ProductName"] = 1627;
  packages = PackageReads(platform);  // the file changed: a new run reads it anew
  EXPECT_EQ(Check(), 1627);
  ExpectLookupError(L"[134]");
  EXPECT_EQ(decision, 1);
}

}  // namespace
}  // namespace setup::testing
