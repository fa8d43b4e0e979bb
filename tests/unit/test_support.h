// Shared fixture: a fresh fake platform and a fresh options record for every test.
#pragma once

#include <gtest/gtest.h>

#include "bootstrap/flow.h"
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

// Runs the whole program, as a fresh process, with that command-line tail: the exit code, whether it
// was returned or the process was ended; nullopt when the run would never end.
inline std::optional<std::uint32_t> RunSetup(FakePlatform& os, const std::wstring& tail) {
  RunOptions() = {};
  os.commandLine = L"Setup.exe " + tail;
  std::optional<std::uint32_t> result;
  try {
    std::optional<std::uint32_t> exited = ExitCodeOf([&] { result = RunBootstrap(nullptr, tail); });
    return exited ? exited : result;
  } catch (const WaitNeverEnds&) {
    return std::nullopt;
  }
}

// The texts of the boxes shown so far, in order.
inline std::vector<std::wstring> BoxTexts(const FakePlatform& os) {
  std::vector<std::wstring> texts;
  for (const ShownBox& box : os.boxes) {
    texts.push_back(box.text);
  }
  return texts;
}

}  // namespace setup::testing
