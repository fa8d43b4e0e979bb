#include "base/windows_version.h"

#include <optional>

#include "base/messages.h"
#include "platform/exit_codes.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

struct Requirement {
  std::uint32_t minor;
  std::uint16_t minimumServicePack;
  std::uint16_t messageId;
  std::uint32_t result;
};

// Windows 2000, XP and 2003 (all major version 5); every other release passes.
constexpr Requirement kRequirements[] = {
    {0, 4, IDS_NEED_WINDOWS_2000_SP4, kExitWindows2000WithoutSp4},
    {1, 2, IDS_NEED_WINDOWS_XP_SP2, kExitXpWithoutSp2},
    {2, 1, IDS_NEED_WINDOWS_2003_SP1, kExitServer2003WithoutSp1},
};

// Asks the platform whether it is Windows 5.minor, and, with a limit, whether its service pack is below it.
bool IsWindows5(SystemFacts& system, std::uint32_t minor, std::optional<std::uint16_t> servicePackLimit) {
  platform::OsVersionInfoEx version;
  version.majorVersion = 5;
  version.minorVersion = minor;
  std::uint32_t typeMask = kVerMajorVersion | kVerMinorVersion;
  std::uint64_t conditions = system.VerSetConditionMask(0, kVerMajorVersion, kVerEqual);
  conditions = system.VerSetConditionMask(conditions, kVerMinorVersion, kVerEqual);
  if (servicePackLimit) {
    version.servicePackMajor = *servicePackLimit;
    typeMask |= kVerServicePackMajor;
    conditions = system.VerSetConditionMask(conditions, kVerServicePackMajor, kVerLess);
  }
  return system.VerifyVersionInfoW(version, typeMask, conditions);
}

}  // namespace

std::uint32_t CheckWindowsVersion(SystemFacts& system, const RunConduct& conduct) {
  for (const Requirement& requirement : kRequirements) {
    if (IsWindows5(system, requirement.minor, requirement.minimumServicePack)) {
      ShowMessage(conduct, box::kFlowError, requirement.messageId);
      return requirement.result;
    }
  }
  return 0;
}

bool IsExactWindowsVersion(SystemFacts& system, std::uint32_t minor, std::optional<std::uint16_t> servicePackLimit) {
  return IsWindows5(system, minor, servicePackLimit);
}

}  // namespace setup
