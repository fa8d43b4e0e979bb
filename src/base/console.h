// Lines for whoever started the program from a command prompt.
#pragma once

#include <string>

#include "platform/platform.h"

namespace setup {

// Writes the text and a line end to standard output, or, when the program has none, to the console of
// the process that started it (if that has one). Line feeds in the text start new lines.
void PrintLine(const platform::Platform& os, const std::wstring& text);

}  // namespace setup
