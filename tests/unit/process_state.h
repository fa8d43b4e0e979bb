// The product's process-wide state put back as in a process that has just started: each test stands in
// for a fresh process. Defined beside the state they reset; declared only here, so that no product code
// can call them.
#pragma once

namespace setup {

// The cache of the IsWow64Process entry point behind ArchMask().
void ForgetIsWow64Process();
// The hidden owner window of the boxes.
void ForgetOwnerWindow();

}  // namespace setup
