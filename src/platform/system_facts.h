// What the system says of itself: its version, language, clock, environment and folders.
#pragma once

#include "platform/types.h"

namespace setup::platform {

class SystemFacts {
 public:
  virtual ~SystemFacts() = default;

  virtual std::uint16_t GetSystemDefaultUILanguage() = 0;
  virtual std::uint64_t VerSetConditionMask(std::uint64_t conditionMask, std::uint32_t typeMask,
                                            std::uint8_t condition) = 0;
  virtual bool VerifyVersionInfoW(const OsVersionInfoEx& versionInfo, std::uint32_t typeMask,
                                  std::uint64_t conditionMask) = 0;
  virtual bool GetVersionExW(OsVersion& version) = 0;
  virtual std::uint32_t GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, std::uint32_t size) = 0;
  // _wgetenv: nullopt when the variable is not set.
  virtual std::optional<std::wstring> WGetEnv(const wchar_t* name) = 0;
  virtual std::uint32_t GetSystemDirectoryW(wchar_t* buffer, std::uint32_t size) = 0;
  // time() followed by localtime().
  virtual std::tm LocalTime() = 0;
  // GetSystemTimeAsFileTime: UTC, in 100-nanosecond intervals since 1601, as one number.
  virtual std::uint64_t GetSystemTimeAsFileTime() = 0;
  // GetTickCount64, looked up at run time: nullopt where it is missing (before Vista).
  virtual std::optional<std::uint64_t> GetTickCount64() = 0;
  // The error the last failed call of this interface left (on Windows, the thread's).
  virtual std::uint32_t GetLastError() = 0;
  virtual void SetLastError(std::uint32_t error) = 0;
};

}  // namespace setup::platform
