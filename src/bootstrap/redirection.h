// What beside the program could make Windows load code the program never asked for, before or while
// it starts.
#pragma once

#include "platform/platform.h"

namespace setup {

// True when the program must refuse to run, showing nothing: a "<program>.local" redirection folder
// or file lies beside it; an external "<program>.manifest" lies there on a Windows that takes it
// instead of the program's own; or a DLL from the program's folder is already loaded.
bool HasDllRedirection(const platform::Platform& os);

}  // namespace setup
