// Shared test support: the fixture with a fresh fake platform, and runs of the whole program.
#pragma once

#include <gtest/gtest.h>

#include "base/run_conduct.h"
#include "bootstrap/flow.h"
#include "bootstrap/options.h"
#include "fake_platform.h"

namespace setup::testing {

// The conduct of a run that is silent or not, and otherwise plain.
inline RunConduct Conduct(bool silent) {
  RunConduct conduct;
  conduct.silent = silent;
  return conduct;
}

// The conduct of a -quiet run, as the flow makes it.
inline RunConduct Quiet() {
  RunConduct conduct;
  conduct.agentExitCodes = conduct.installersWithoutInterface = conduct.warningsToConsole = true;
  conduct.silent = conduct.noRestart = conduct.windowless = true;
  return conduct;
}

// Shared fixture: a fresh fake platform for every test.
class PlatformTest : public ::testing::Test {
 protected:
  FakePlatform os;
  // The whole fake as the flow and the steps are handed it.
  platform::Platform platform{os};

  // Conducts whose boxes go through the fake.
  RunConduct Conduct(bool silent) { return Voiced(testing::Conduct(silent)); }
  RunConduct Quiet() { return Voiced(testing::Quiet()); }
  RunConduct Voiced(RunConduct conduct) {
    conduct.windows = &os;
    conduct.modules = &os;
    return conduct;
  }
};

// Runs the whole program, as a fresh process, with that command-line tail: the exit code; nullopt when
// the run would never end.
inline std::optional<std::uint32_t> RunSetup(FakePlatform& os, const std::wstring& tail) {
  os.commandLine = L"Setup.exe " + tail;
  try {
    return RunBootstrap(os, nullptr, tail);
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
