// How the program ends when the runtime fails under it: memory exhausted, or a string asked for a
// length no string can have.
#pragma once

#include <windows.h>

#include "platform/exit_codes.h"

namespace setup::platform {

// Ends the process at once with ERROR_NOT_ENOUGH_MEMORY (8), an exit code no other outcome has, and no
// box: msvcrt's abort shows "Runtime Error!", even to a -silent run, and ends with 3, which scripts
// read as "Windows 2000 without SP4". Nothing else runs in the process any more, since whatever ran
// might need memory itself.
[[noreturn]] inline void EndOnRuntimeFailure() {
  ::TerminateProcess(::GetCurrentProcess(), kExitRuntimeFailure);
  ::ExitProcess(kExitRuntimeFailure);  // not reached: terminating the own process does not return
}

}  // namespace setup::platform
