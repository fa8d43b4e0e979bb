// distcheck.exe [--signer THUMBPRINT]... DIR: the distribution check on Windows, over the real file system
// (its listing, its 8.3 names), the system's msi.dll and WinVerifyTrust. Exit 0 sound, 1 problems, 2 usage.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "bootstrap/flow.h"
#include "bootstrap/redirection.h"
#include "distribution_check.h"
#include "packages/package_search.h"
#include "platform/win/dll_search.h"
#include "platform/win/win_platform.h"
#include "signature_rules.h"
#include "text.h"
#include "windows_disk.h"

namespace distcheck {
namespace {

void Print(HANDLE output, const std::wstring& line) {
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(output, &mode)) {
    const std::wstring text = line + L"\r\n";
    ::WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else {
    const std::string text = Utf8(line + L"\r\n");
    ::WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

std::wstring FullFolderPath(const wchar_t* folder) {
  const DWORD size = ::GetFullPathNameW(folder, 0, nullptr, nullptr);
  std::wstring path(size, L'\0');
  path.resize(::GetFullPathNameW(folder, size, path.data(), nullptr));
  path.erase(path.find_last_not_of(L'\\') + 1);
  return path;
}

}  // namespace
}  // namespace distcheck

int wmain(int argc, wchar_t** argv) {
  setup::platform::RestrictDllSearchToSystemDirectory();
  const HANDLE errors = ::GetStdHandle(STD_ERROR_HANDLE);
  setup::platform::WinPlatform windows;
  const setup::platform::Platform os = windows.Whole();
  // What could make Setup.exe load DLLs from beside itself could do the same to the tool the admin
  // trusts to check a folder: the same refusal, with a line, since a console tool loads nothing to say it.
  if (setup::HasDllRedirection(os)) {
    distcheck::Print(errors,
                     L"distcheck: a .local, a .manifest or a DLL beside distcheck.exe could redirect its DLLs; "
                     L"run a copy kept elsewhere");
    return static_cast<int>(setup::kExitDllRedirection);
  }
  std::vector<std::string> signers;
  int next = 1;
  for (; next + 1 < argc && std::wstring(argv[next]) == L"--signer"; next += 2) {
    const std::wstring given = argv[next + 1];
    const bool ascii = std::all_of(given.begin(), given.end(), [](wchar_t c) { return c < 0x80; });
    const std::optional<std::string> signer =
        ascii ? distcheck::ParseThumbprint(std::string(given.begin(), given.end())) : std::nullopt;
    if (!signer) {
      distcheck::Print(errors, L"distcheck: --signer " + given + L" is not a SHA-1 or SHA-256 thumbprint");
      return distcheck::kExitUsage;
    }
    signers.push_back(*signer);
  }
  if (next + 1 != argc) {
    distcheck::Print(errors, L"usage: distcheck [--signer THUMBPRINT]... DIR");
    return distcheck::kExitUsage;
  }
  const DWORD attributes = ::GetFileAttributesW(argv[next]);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    distcheck::Print(errors, std::wstring(L"distcheck: no such folder: ") + argv[next]);
    return distcheck::kExitUsage;
  }
  const std::wstring folder = distcheck::FullFolderPath(argv[next]);
  distcheck::WindowsDisk disk(folder, os);
  // The program's own search over the real folder, with the listing Windows gives.
  const distcheck::SearchHere searchHere = [&](const std::vector<std::wstring>& masks) -> std::optional<std::wstring> {
    std::wstring path;
    const bool found = setup::FindFirstPackageFile(windows.files, folder + L"\\", masks, path) == 0;
    return found ? std::optional<std::wstring>(path.substr(folder.size() + 1)) : std::nullopt;
  };
  std::vector<std::wstring> report;
  const int verdict = distcheck::CheckDistribution(disk, folder, searchHere, signers, report);
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  for (const std::wstring& line : report) {
    distcheck::Print(output, line);
  }
  return verdict;
}
