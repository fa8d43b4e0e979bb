// GCC's default terminate handler prints the demangled type of an uncaught exception, and so links
// the whole demangler (about 36 KB) into the program. The only exception this program can meet is
// the string layer's out-of-memory failure, and nothing reads a console here: ending the process is
// all a terminate can do. Linked as an object of its own, so the runtime's handler is never pulled in.
#include "platform/win/runtime_failure.h"

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __verbose_terminate_handler() { setup::platform::EndOnRuntimeFailure(); }
}  // namespace __gnu_cxx
#endif
