// How one run conducts itself towards whoever started it: what it may show, whether it may restart
// Windows, and where it records what it does. The start-up flow makes it once from the options and hands
// it to every step, so no step reads the options for it.
#pragma once

#include <initializer_list>
#include <string_view>

#include "base/run_log.h"

namespace setup {

struct RunConduct {
  // No message box of the program's own; a question counts as answered Yes.
  bool silent = false;
  // For a deployment agent: silent as well, no installer interface, never a restart, and exit codes
  // in msiexec's terms (3010 for a restart still to be made, 1638, 1639).
  bool quiet = false;
  // The restart an installer asked for is neither offered nor made; the pending-restart marker stays.
  bool noRestart = false;
  // No window of the program's own at all, not even the usage box: a quiet run, or one that nobody can
  // see (its window station is not the interactive one). A command line it cannot accept ends with
  // msiexec's code for one instead of a box.
  bool windowless = false;
  // The run's own log, when one was asked for.
  RunLog* log = nullptr;

  // One line of the log, if there is one, of these pieces.
  void Log(std::initializer_list<std::wstring_view> pieces) const {
    if (log != nullptr) {
      log->Write(pieces);
    }
  }
};

}  // namespace setup
