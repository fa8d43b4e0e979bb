// How a step of the run ended. Only the start-up flow turns it into the final message and the exit
// code; no step ends the process itself.
#pragma once

#include <cstdint>

namespace setup {

struct StepOutcome {
  enum class Kind : std::uint8_t {
    kDone,           // the run goes on
    kRestartNeeded,  // done, but what was installed needs Windows restarted; the run goes on
    kFailed,         // the run ends with code, reported as a failure
    kStopped,        // the run ends with code and nothing more is shown: a No, or nothing to do
  };
  Kind kind = Kind::kDone;
  std::uint32_t code = 0;  // what the run ends with; for kRestartNeeded the installer's restart code

  static StepOutcome Done() { return {}; }
  static StepOutcome RestartNeeded(std::uint32_t code) { return {Kind::kRestartNeeded, code}; }
  static StepOutcome Failed(std::uint32_t code) { return {Kind::kFailed, code}; }
  static StepOutcome Stopped(std::uint32_t code) { return {Kind::kStopped, code}; }

  bool EndsRun() const { return kind == Kind::kFailed || kind == Kind::kStopped; }
};

}  // namespace setup
