// The Windows layer: version, language, clock and environment.
#include "platform/win/win_shared.h"

namespace setup::platform {

using namespace win;

std::uint32_t WinSystemFacts::GetLastError() { return ::GetLastError(); }

void WinSystemFacts::SetLastError(std::uint32_t error) { ::SetLastError(error); }

std::uint16_t WinSystemFacts::GetSystemDefaultUILanguage() { return ::GetSystemDefaultUILanguage(); }

std::uint32_t WinSystemFacts::GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, std::uint32_t size) {
  return ::GetEnvironmentVariableW(name, buffer, size);
}

std::optional<std::wstring> WinSystemFacts::WGetEnv(const wchar_t* name) {
  const wchar_t* value = ::_wgetenv(name);
  if (value == nullptr) {
    return std::nullopt;
  }
  return std::wstring(value);
}

std::uint32_t WinSystemFacts::GetSystemDirectoryW(wchar_t* buffer, std::uint32_t size) {
  return ::GetSystemDirectoryW(buffer, size);
}

std::tm WinSystemFacts::LocalTime() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  return local != nullptr ? *local : std::tm{};
}

std::uint64_t WinSystemFacts::GetSystemTimeAsFileTime() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return FileTimeNumber(now);
}

std::optional<std::uint64_t> WinSystemFacts::GetTickCount64() {
  auto ticks = Kernel32Function<fn::GetTickCount64>("GetTickCount64");
  return ticks != nullptr ? std::optional<std::uint64_t>(ticks()) : std::nullopt;
}

std::uint64_t WinSystemFacts::VerSetConditionMask(std::uint64_t conditionMask, std::uint32_t typeMask,
                                                  std::uint8_t condition) {
  return ::VerSetConditionMask(conditionMask, typeMask, condition);
}

bool WinSystemFacts::VerifyVersionInfoW(const OsVersionInfoEx& versionInfo, std::uint32_t typeMask,
                                        std::uint64_t conditionMask) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = versionInfo.osVersionInfoSize;
  info.dwMajorVersion = versionInfo.majorVersion;
  info.dwMinorVersion = versionInfo.minorVersion;
  info.wServicePackMajor = versionInfo.servicePackMajor;
  return ::VerifyVersionInfoW(&info, typeMask, conditionMask) != FALSE;
}

bool WinSystemFacts::GetVersionExW(OsVersion& version) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  // Deprecated for deciding anything, which the program does with VerifyVersionInfoW; for the log
  // it says what the manifest lets the program see, up to Windows 10 (11 reports itself as 10).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
    return false;
  }
#pragma GCC diagnostic pop
  version.majorVersion = info.dwMajorVersion;
  version.minorVersion = info.dwMinorVersion;
  version.buildNumber = info.dwBuildNumber;
  version.servicePackMajor = info.wServicePackMajor;
  return true;
}

}  // namespace setup::platform
