// Keeping a downloaded Setup.exe from loading DLLs planted beside it.
#pragma once

namespace setup::platform {

// Restricts the DLL search of the process to the system directory. Called first, before anything
// can load a DLL.
void RestrictDllSearchToSystemDirectory();

// True when a "<program>.local" redirection folder or file lies beside the program: the loader would
// take any DLL from there, even one asked for by its full system path.
bool HasDllRedirection();

}  // namespace setup::platform
