// The parser that fills the run's options from the process command line, and the usage text.
#pragma once

#include <cstdint>
#include <string>

#include "base/bootstrap_options.h"
#include "platform/platform.h"

namespace setup {

// What the command line asks for besides the options.
struct ParsedCommandLine {
  enum class Usage : std::uint8_t {
    kNone,     // the options are all there is
    kHelp,     // a help option: the usage text
    kInvalid,  // an argument it cannot place: the usage text as well
  };
  Usage usage = Usage::kNone;
  // For the flags seen before the argument that asked for it.
  std::wstring usageText;
  // Where the command line could not be accepted (kInvalid): an argument it cannot place, or an option
  // that stands last without its value.
  std::wstring refused;
};

// Fills the options from the process command line (the program name skipped), from left to right. The
// first argument that asks for the usage text or cannot be placed decides the usage request.
ParsedCommandLine ParseCommandLine(const platform::Platform& os, BootstrapOptions& options);

// The usage text for the flags set so far.
std::wstring BuildUsageText(const BootstrapOptions& options);

}  // namespace setup
