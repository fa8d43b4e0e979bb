// The run's options: filled from the command line, read by every step, appended to by the dialog.
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

}  // namespace setup
