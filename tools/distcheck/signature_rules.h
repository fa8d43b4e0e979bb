// Who signed the files Setup.exe runs, and whether each signature still holds: the report names every
// signer (for AppLocker and WDAC publisher rules), and the problems are the files a receiver could not
// tell from the release's own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "disk.h"
#include "folder_platform.h"

namespace distcheck {

// A certificate's SHA-1 or SHA-256 thumbprint as given (hex, blanks and colons allowed), upper-case;
// nullopt when it is neither.
std::optional<std::string> ParseThumbprint(const std::string& text);

// A certificate digest as thumbprints are written: upper-case hex.
std::string ThumbprintHex(const unsigned char* bytes, std::size_t size);

// packages: the packages the lookups can pick. signers: thumbprints every file must be signed by one of
// (none: Setup.exe's signer is the release's). Appends to report and to problems (without "problem: ").
void CheckSignatures(Disk& disk, const Tree& tree, const std::vector<std::wstring>& packages,
                     const std::vector<std::string>& signers, std::vector<std::wstring>& report,
                     std::vector<std::wstring>& problems);

}  // namespace distcheck
