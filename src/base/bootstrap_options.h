// The run's options: filled from the command line, appended to by the configuration dialog, and
// handed by the start-up flow to the steps that need them.
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
  int quiet = 0;
  int uninstall = 0;  // "-uninstall": remove the installed plug-in instead
  int logGiven = 0;   // "-log", even with an empty path
  std::wstring cspArgs;
  std::wstring ucspArgs;
  std::wstring cadesArgs;
  std::wstring kcMask;
  std::wstring langMask;
  std::wstring logPath;  // "-log": the run's own log
};

}  // namespace setup
