// The option parser on arbitrary command lines: it either fills the options within their rules or
// asks for the usage text, never anything else, and never shows anything itself.
#include <cstdlib>

#include "bootstrap/options.h"
#include "fake_platform.h"
#include "fuzz_input.h"

using namespace setup;
using setup::fuzzing::Check;
using namespace setup::testing;

namespace {

bool IsFlag(int value) { return value == 0 || value == 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FakePlatform os;
  os.commandLine = L"Setup.exe " + fuzzing::TextAt(fuzzing::SplitTexts(data, size), 0);
  BootstrapOptions options;
  const ParsedCommandLine parsed = ParseCommandLine(os, options);
  Check(os.boxes.empty());
  if (parsed.usage != ParsedCommandLine::Usage::kNone) {
    Check(parsed.usageText.rfind(L"Установщик Solvarn ЭЦП Browser plug-in.\n", 0) == 0);
    return 0;
  }
  Check(IsFlag(options.installCsp) && IsFlag(options.installUcsp) && IsFlag(options.selectDlg) &&
        IsFlag(options.silent) && IsFlag(options.reinstall) && IsFlag(options.noRestart));
  // Provider values are only taken after their provider was asked for.
  Check(options.installCsp || (options.cspArgs.empty() && options.kcMask.empty() && options.langMask.empty()));
  Check(options.installUcsp || options.ucspArgs.empty());
  Check(options.cspArgs.empty() || options.cspArgs.back() == L' ');
  Check(options.cadesArgs.empty() || (options.cadesArgs.front() == L' ' && options.cadesArgs.back() == L' '));
  Check(options.kcMask.empty() || (options.kcMask.front() == L'*' && options.kcMask.back() == L'*'));
  return 0;
}
