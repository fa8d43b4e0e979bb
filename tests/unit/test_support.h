// Shared fixture: a fresh fake platform and a fresh options record for every test.
#pragma once

#include <gtest/gtest.h>

#include "bootstrap/options.h"
#include "fake_platform.h"

namespace setup::testing {

class PlatformTest : public ::testing::Test {
 protected:
  PlatformTest() : use_(os) { RunOptions() = BootstrapOptions{}; }

  FakePlatform os;

 private:
  ScopedFakePlatform use_;
};

// Runs a call that may end the process; returns the exit code, or nullopt when it returned.
template <typename Call>
std::optional<std::uint32_t> ExitCodeOf(Call&& call) {
  try {
    call();
  } catch (const ProcessExited& exited) {
    return exited.code;
  }
  return std::nullopt;
}

}  // namespace setup::testing
