// The parser that fills the run's options from the process command line, and the usage text.
#pragma once

#include <string>

#include "base/bootstrap_options.h"

namespace setup {

// Fills the options from the process command line (the program name skipped). An argument it cannot
// place, or a help request, shows the usage text and ends the process with exit code 0.
void ParseCommandLine(BootstrapOptions& options);

// The usage text for the flags set so far.
std::wstring BuildUsageText(const BootstrapOptions& options);

// Shows the usage text (even in silent mode) and ends the process with exit code 0.
[[noreturn]] void ShowUsage(const BootstrapOptions& options);

}  // namespace setup
