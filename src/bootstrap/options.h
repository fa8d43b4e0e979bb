// The run's options and the parser that fills them from the process command line.
#pragma once

#include <string>

namespace setup {

struct BootstrapOptions {
  int installCsp = 0;
  int installUcsp = 0;
  int selectDlg = 0;
  int silent = 0;
  int reinstall = 0;
  int noRestart = 0;
  std::wstring cspArgs;
  std::wstring ucspArgs;
  std::wstring cadesArgs;
  std::wstring kcMask;
  std::wstring langMask;
};

// The record of this run. The configuration dialog appends to its masks, so it is reachable
// process-wide; everything else reads the copies the start-up flow hands out.
BootstrapOptions& RunOptions();

// Fills the options from the process command line (the program name skipped). An argument it cannot
// place, or a help request, shows the usage text and ends the process with exit code 0.
void ParseCommandLine(BootstrapOptions& options);

// The usage text for the flags set so far.
std::wstring BuildUsageText(const BootstrapOptions& options);

// Shows the usage text (even in silent mode) and ends the process with exit code 0.
[[noreturn]] void ShowUsage(const BootstrapOptions& options);

}  // namespace setup
