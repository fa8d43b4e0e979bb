// How one run conducts itself towards whoever started it: what it may show and whether it may restart
// Windows. The start-up flow makes it once from the options and hands it to every step, so no step
// reads the options for it.
#pragma once

namespace setup {

struct RunConduct {
  // No message box of the program's own; a question counts as answered Yes.
  bool silent = false;
  // For a deployment agent: silent as well, no installer interface, never a restart, and exit codes
  // in msiexec's terms (3010 for a restart still to be made, 1638, 1639).
  bool quiet = false;
  // The restart an installer asked for is neither offered nor made; the pending-restart marker stays.
  bool noRestart = false;
};

}  // namespace setup
