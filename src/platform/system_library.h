// Loading the system's own DLLs so that nothing planted beside a downloaded program is loaded instead.
#pragma once

#include "platform/modules.h"
#include "platform/system_facts.h"

namespace setup::platform {

// Loads fileName from the system directory by its full path, with the DLL's own imports looked for
// in the system directory first, on every Windows the program starts on. Null when it cannot be
// loaded; nothing is then looked for anywhere else.
ModuleHandle LoadSystemLibrary(Modules& modules, SystemFacts& system, const wchar_t* fileName);

}  // namespace setup::platform
