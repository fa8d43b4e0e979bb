// The command lines built for msiexec and for a provider's setup, from arbitrary user arguments,
// TMP values and distribution folders: the program and package stay quoted in front, the run never
// crashes, and every user text reaches the child unchanged.
#include <cstdlib>

#include "fake_platform.h"
#include "fuzz_input.h"
#include "install/plugin_install.h"
#include "install/provider_install.h"

using namespace setup;
using setup::fuzzing::Check;
using namespace setup::testing;

namespace {

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// Texts that cannot stand in a Windows path are replaced, so the folder stays a folder.
std::wstring PathPart(std::wstring text) {
  for (wchar_t& c : text) {
    if (c == L'\\' || c == L'"' || c < 32) {
      c = L'_';
    }
  }
  return text.empty() ? std::wstring(L"d") : text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::wstring> texts = fuzzing::SplitTexts(data, size);
  const std::wstring userArgs = fuzzing::TextAt(texts, 0);
  const std::wstring folder = L"C:\\" + PathPart(fuzzing::TextAt(texts, 1)) + L"\\";
  const std::wstring tmp = fuzzing::TextAt(texts, 2);
  RunConduct conduct;
  conduct.silent = !fuzzing::TextAt(texts, 3).empty();

  FakePlatform os;
  conduct.windows = &os;
  conduct.modules = &os;
  os.modulePath = folder + L"Setup.exe";
  os.AddFile(os.modulePath);
  if (tmp.empty()) {
    os.environment.erase(L"TMP");
  } else {
    os.environment[L"TMP"] = tmp;
  }
  const std::wstring package = folder + L"tarvex-win32.msi";
  os.AddFile(package);
  os.packages[package].properties = {{L"ProductCode", L"{11111111-2222-3333-4444-555555555555}"}};
  os.answers.assign(8, 6);

  std::wstring logPath;
  const std::uint32_t pluginResult = InstallPluginPackage(os, conduct, false, L" " + userArgs + L" ", logPath).code;
  if (!os.processes.empty()) {
    const std::wstring& line = os.processes.back().commandLine;
    Check(line.rfind(L"\"C:\\Windows\\system32\\msiexec.exe\" /i \"" + package + L"\" ", 0) == 0);
    Check(Contains(line, L" REBOOT=R "));
    Check(line.size() >= userArgs.size() + 1 &&
          line.compare(line.size() - userArgs.size() - 1, userArgs.size(), userArgs) == 0);
    Check(logPath.empty() || Contains(line, L"/Lv! \"" + logPath + L"\""));
    Check(pluginResult == 0);
  } else {
    Check(pluginResult != 0);
  }
  Check(os.openHandles() == 0);

  os.processes.clear();
  const std::uint32_t providerResult = InstallProvider(os, conduct, true, L"csp", userArgs + L" ").code;
  if (!os.processes.empty()) {
    const std::wstring& line = os.processes.back().commandLine;
    Check(line.rfind(L"\"" + folder + L"csp\\Setup.exe\" -args \"", 0) == 0);
    Check(Contains(line, userArgs + L" \" -noreboot -root"));
    Check(line.size() >= 11 && line.compare(line.size() - 11, 11, L" -reinstall") == 0);
    Check(providerResult == 0);
  }
  Check(os.openHandles() == 0);
  return 0;
}
