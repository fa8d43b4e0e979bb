// The process-wide cache of the IsWow64Process entry point behind ArchMask().
#pragma once

namespace setup {

// Puts the cache back in its first state (not looked up), as in a process that has just started.
// Only for tests, each of which stands in for a fresh process.
void ForgetIsWow64Process();

}  // namespace setup
