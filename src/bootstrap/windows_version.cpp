#include "bootstrap/windows_version.h"

#include "bootstrap/messages.h"
#include "platform/platform.h"

namespace setup {
namespace {

using platform::Os;

constexpr std::uint32_t kVerMinorVersion = 0x1;
constexpr std::uint32_t kVerMajorVersion = 0x2;
constexpr std::uint32_t kVerServicePackMajor = 0x20;
constexpr std::uint8_t kVerEqual = 1;
constexpr std::uint8_t kVerLess = 4;

struct Requirement {
  std::uint32_t minor;
  std::uint16_t minimumServicePack;
  std::uint16_t messageId;
  std::uint32_t result;
};

// Windows 2000, XP and 2003 (all major version 5); every other release passes.
constexpr Requirement kRequirements[] = {
    {0, 4, kMsgNeedWindows2000Sp4, 3},
    {1, 2, kMsgNeedWindowsXpSp2, 4},
    {2, 1, kMsgNeedWindows2003Sp1, 5},
};

// True when this is exactly Windows 5.minor with a service pack below the limit.
bool IsVersionWithoutServicePack(std::uint32_t minor, std::uint16_t servicePackLimit) {
  platform::OsVersionInfoEx version;
  version.majorVersion = 5;
  version.minorVersion = minor;
  version.servicePackMajor = servicePackLimit;
  std::uint64_t conditions = Os().VerSetConditionMask(0, kVerMajorVersion, kVerEqual);
  conditions = Os().VerSetConditionMask(conditions, kVerMinorVersion, kVerEqual);
  conditions = Os().VerSetConditionMask(conditions, kVerServicePackMajor, kVerLess);
  return Os().VerifyVersionInfoW(version, kVerMajorVersion | kVerMinorVersion | kVerServicePackMajor, conditions);
}

}  // namespace

std::uint32_t CheckWindowsVersion(bool silent) {
  for (const Requirement& requirement : kRequirements) {
    if (IsVersionWithoutServicePack(requirement.minor, requirement.minimumServicePack)) {
      ShowMessage(box::kFlowError, requirement.messageId, silent);
      return requirement.result;
    }
  }
  return 0;
}

}  // namespace setup
