// The fake Windows: version, language, clock and environment.
#include <algorithm>
#include <cstring>
#include <utility>

#include "fake_parts.h"
#include "platform/win32_constants.h"

namespace setup::testing {

using namespace fake;

void FakePlatform::SetLastError(std::uint32_t error) { lastError_ = error; }

std::uint16_t FakePlatform::GetSystemDefaultUILanguage() { return uiLanguage; }

std::uint32_t FakePlatform::GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, std::uint32_t size) {
  envQueries.push_back(name);
  auto found = environment.find(name);
  if (found == environment.end()) {
    lastError_ = kErrorEnvvarNotFound;
    return 0;
  }
  const std::wstring& value = found->second;
  if (size <= value.size() || buffer == nullptr) {
    return static_cast<std::uint32_t>(value.size() + 1);
  }
  std::copy(value.begin(), value.end(), buffer);
  buffer[value.size()] = L'\0';
  return static_cast<std::uint32_t>(value.size());
}

std::optional<std::wstring> FakePlatform::WGetEnv(const wchar_t* name) {
  auto found = environment.find(name);
  if (found == environment.end()) {
    return std::nullopt;
  }
  return found->second;
}

std::uint32_t FakePlatform::GetSystemDirectoryW(wchar_t* buffer, std::uint32_t size) {
  if (systemDirectoryError != 0) {
    lastError_ = systemDirectoryError;
    return 0;
  }
  if (size <= systemDirectory.size()) {
    return static_cast<std::uint32_t>(systemDirectory.size() + 1);
  }
  std::copy(systemDirectory.begin(), systemDirectory.end(), buffer);
  buffer[systemDirectory.size()] = L'\0';
  return static_cast<std::uint32_t>(systemDirectory.size());
}

std::tm FakePlatform::LocalTime() { return now; }

std::uint64_t FakePlatform::GetSystemTimeAsFileTime() { return systemTime; }

std::optional<std::uint64_t> FakePlatform::GetTickCount64() {
  return getTickCount64Exported ? std::optional<std::uint64_t>(ticksSinceStart) : std::nullopt;
}

std::uint64_t FakePlatform::VerSetConditionMask(std::uint64_t conditionMask, std::uint32_t typeMask,
                                                std::uint8_t condition) {
  for (int bit = 0; bit < 8; ++bit) {
    if (typeMask & (1u << bit)) {
      conditionMask |= static_cast<std::uint64_t>(condition & 7u) << (bit * 3);
    }
  }
  return conditionMask;
}

bool FakePlatform::VerifyVersionInfoW(const OsVersionInfoEx& info, std::uint32_t typeMask,
                                      std::uint64_t conditionMask) {
  if (info.osVersionInfoSize != 284) {
    lastError_ = kErrorInvalidParameter;
    return false;
  }
  auto holds = [&](int bit, std::uint32_t actual, std::uint32_t wanted) {
    if (!(typeMask & (1u << bit))) {
      return true;
    }
    switch ((conditionMask >> (bit * 3)) & 7u) {
      case 1:
        return actual == wanted;
      case 2:
        return actual > wanted;
      case 3:
        return actual >= wanted;
      case 4:
        return actual < wanted;
      case 5:
        return actual <= wanted;
      default:
        return false;
    }
  };
  const bool accepted = holds(0, osMinor, info.minorVersion) && holds(1, osMajor, info.majorVersion) &&
                        holds(5, osServicePackMajor, info.servicePackMajor);
  if (!accepted) {
    lastError_ = kErrorOldWinVersion;
  }
  return accepted;
}

bool FakePlatform::GetVersionExW(OsVersion& version) {
  version = {osMajor, osMinor, osBuild, osServicePackMajor};
  return true;
}

}  // namespace setup::testing
