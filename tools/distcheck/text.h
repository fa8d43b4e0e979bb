// File names and package texts between UTF-8 (Linux, libmsi, the terminal) and the program's wide text.
#pragma once

#include <string>

namespace distcheck {

// Bytes that are not UTF-8 become U+FFFD.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

// The upper case of one character, as NTFS compares names.
wchar_t UpperCase(wchar_t c);

}  // namespace distcheck
