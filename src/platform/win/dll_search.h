// Keeping a downloaded Setup.exe from loading DLLs planted beside it.
#pragma once

namespace setup::platform {

// Restricts the DLL search of the process to the system directory. Called first, before anything
// can load a DLL.
void RestrictDllSearchToSystemDirectory();

}  // namespace setup::platform
