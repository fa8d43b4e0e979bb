#include "base/windows_version.h"

#include "base/messages.h"
#include "test_support.h"

namespace setup::testing {
namespace {

struct VersionCase {
  std::uint32_t major, minor;
  std::uint16_t servicePack;
  std::uint32_t result;
  const wchar_t* message;
};

void PrintTo(const VersionCase& c, std::ostream* out) { *out << c.major << "." << c.minor << " SP" << c.servicePack; }

class WindowsVersionTest : public PlatformTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(WindowsVersionTest, RefusesOnlyOld5xReleasesWithoutTheirServicePack) {
  const VersionCase& c = GetParam();
  os.osMajor = c.major;
  os.osMinor = c.minor;
  os.osServicePackMajor = c.servicePack;
  EXPECT_EQ(CheckWindowsVersion(os, Conduct(false)), c.result);
  if (c.message == nullptr) {
    EXPECT_TRUE(os.boxes.empty());
  } else {
    ASSERT_EQ(os.boxes.size(), 1u);
    EXPECT_EQ(os.boxes[0].text, c.message);
    EXPECT_EQ(os.boxes[0].caption, L"[104]");
    EXPECT_EQ(os.boxes[0].style, 0x50010u);
    EXPECT_EQ(os.boxes[0].owner, os.ownerWindowCreated);
  }
  os.boxes.clear();
  EXPECT_EQ(CheckWindowsVersion(os, Conduct(true)), c.result);
  EXPECT_TRUE(os.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Releases, WindowsVersionTest,
                         ::testing::Values(VersionCase{5, 0, 0, 3, L"[117]"}, VersionCase{5, 0, 3, 3, L"[117]"},
                                           VersionCase{5, 0, 4, 0, nullptr}, VersionCase{5, 1, 1, 4, L"[118]"},
                                           VersionCase{5, 1, 2, 0, nullptr}, VersionCase{5, 1, 3, 0, nullptr},
                                           VersionCase{5, 2, 0, 5, L"[119]"}, VersionCase{5, 2, 1, 0, nullptr},
                                           VersionCase{4, 0, 0, 0, nullptr}, VersionCase{6, 0, 0, 0, nullptr},
                                           VersionCase{6, 1, 0, 0, nullptr}, VersionCase{10, 0, 0, 0, nullptr}),
                         [](const ::testing::TestParamInfo<VersionCase>& info) {
                           return "Windows" + std::to_string(info.param.major) + "_" +
                                  std::to_string(info.param.minor) + "_Sp" + std::to_string(info.param.servicePack);
                         });

}  // namespace
}  // namespace setup::testing
