// How one run conducts itself towards whoever started it: what it may show, whether it may restart
// Windows, and where it records what it does. The start-up flow makes it once from the options and hands
// it to every step, so no step reads the options for it.
#pragma once

#include <initializer_list>
#include <string_view>

#include "base/run_log.h"
#include "platform/modules.h"
#include "platform/user_windows.h"

namespace setup {

struct RunConduct {
  // No message box of the program's own; a question counts as answered Yes.
  bool silent = false;
  // Exit codes in msiexec's terms, for a deployment agent: 3010 for a restart still to be made (the
  // program restarts nothing), 1638 for a newer version installed, a provider's 3010 and 1641 taken as a
  // chained package's.
  bool agentExitCodes = false;
  // The installers get no interface: /qn unless the caller's arguments carry a level of their own, read
  // as msiexec reads its options.
  bool installersWithoutInterface = false;
  // Warnings go to the console too, where whoever started the run reads them.
  bool warningsToConsole = false;
  // The window station is not the interactive one: nobody could see a box.
  bool unseen = false;
  // The restart an installer asked for is neither offered nor made; the pending-restart marker stays.
  bool noRestart = false;
  // No window of the program's own at all, not even the usage box: a quiet run, or one that nobody can
  // see (its window station is not the interactive one). A command line it cannot accept ends with
  // msiexec's code for one instead of a box.
  bool windowless = false;
  // The run's own log, when one was asked for.
  RunLog* log = nullptr;
  // What the run's boxes are shown through, and where their texts come from.
  platform::UserWindows* windows = nullptr;
  platform::Modules* modules = nullptr;

  // One line of the log, if there is one, of these pieces.
  void Log(std::initializer_list<std::wstring_view> pieces) const {
    if (log != nullptr) {
      log->Write(pieces);
    }
  }
};

}  // namespace setup
