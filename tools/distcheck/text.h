// Text between the disk, the packages, the terminal and the program's wide strings. Linux (glib) and
// Windows (kernel32) each implement it.
#pragma once

#include <string>

namespace distcheck {

// The upper case of one character, as NTFS compares names.
wchar_t UpperCase(wchar_t c);

// UTF-8 for the terminal or a file; the text holds no lone surrogates (names are shown escaped first).
std::string Utf8(const std::wstring& text);

}  // namespace distcheck
