#include "install/installer_arguments.h"

#include "base/text_match.h"
#include "platform/platform.h"

namespace setup {

using namespace platform;

namespace {

bool IsInterfaceLevel(const std::wstring& argument) {
  if (argument.size() < 2 || (argument[0] != L'/' && argument[0] != L'-')) {
    return false;
  }
  return FoldAscii(argument[1]) == L'q' || EqualsIgnoringCase(std::wstring_view(argument).substr(1), L"passive");
}

}  // namespace

bool CarriesQuietOption(Processes& processes, const std::wstring& arguments, const RunConduct& conduct) {
  if (!conduct.installersWithoutInterface) {
    return arguments.find(L"/q") != std::wstring::npos;
  }
  // CommandLineToArgvW reads its first argument as a program name, by other rules, and makes one of an
  // empty line: the arguments go after a name of their own. A line it cannot split carries no level
  // that counts, and gets /qn.
  const auto split = processes.CommandLineToArgvW(L"msiexec " + arguments);
  if (!split) {
    return false;
  }
  for (std::size_t i = 1; i < split->size(); ++i) {
    if (IsInterfaceLevel((*split)[i])) {
      return true;
    }
  }
  return false;
}

}  // namespace setup
