#include "bootstrap/windows_version.h"

#include <optional>

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

// Asks the platform whether it is Windows 5.minor, and, with a limit, whether its service pack is below it.
bool IsWindows5(std::uint32_t minor, std::optional<std::uint16_t> servicePackLimit) {
  platform::OsVersionInfoEx version;
  version.majorVersion = 5;
  version.minorVersion = minor;
  std::uint32_t typeMask = kVerMajorVersion | kVerMinorVersion;
  std::uint64_t conditions = Os().VerSetConditionMask(0, kVerMajorVersion, kVerEqual);
  conditions = Os().VerSetConditionMask(conditions, kVerMinorVersion, kVerEqual);
  if (servicePackLimit) {
    version.servicePackMajor = *servicePackLimit;
    typeMask |= kVerServicePackMajor;
    conditions = Os().VerSetConditionMask(conditions, kVerServicePackMajor, kVerLess);
  }
  return Os().VerifyVersionInfoW(version, typeMask, conditions);
}

}  // namespace

std::uint32_t CheckWindowsVersion(bool silent) {
  for (const Requirement& requirement : kRequirements) {
    if (IsWindows5(requirement.minor, requirement.minimumServicePack)) {
      ShowMessage(box::kFlowError, requirement.messageId, silent);
      return requirement.result;
    }
  }
  return 0;
}

bool IsExactWindowsVersion(std::uint32_t minor) { return IsWindows5(minor, std::nullopt); }

}  // namespace setup
