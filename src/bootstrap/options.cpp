#include "bootstrap/options.h"

#include <cstddef>
#include <optional>
#include <vector>

#include "base/text_match.h"
#include "platform/platform.h"

namespace setup {

using namespace platform;

namespace {

using Usage = ParsedCommandLine::Usage;

class ArgumentScanner {
 public:
  ArgumentScanner(const std::vector<std::wstring>& arguments, BootstrapOptions& options)
      : arguments_(arguments), options_(options) {}

  // Every argument is placed, even after one that asked for the usage text: "-quiet" decides how the
  // usage is given wherever it stands.
  ParsedCommandLine Scan() {
    for (next_ = 1; next_ < arguments_.size();) {
      PlaceArgument(arguments_[next_++]);
    }
    // The providers' distributions are removed with their own setups: a removal that also names one
    // would leave the caller believing it gone.
    if (options_.uninstall && (options_.installCsp || options_.installUcsp)) {
      AskForUsage(Usage::kInvalid, L"-uninstall");
    }
    return std::move(parsed_);
  }

 private:
  // The first request counts, with the flags seen before it.
  void AskForUsage(Usage usage, const std::wstring& refused = std::wstring()) {
    if (parsed_.usage == Usage::kNone) {
      parsed_.usage = usage;
      parsed_.usageText = BuildUsageText(options_);
      parsed_.refused = refused;
    }
  }

  void PlaceArgument(const std::wstring& argument) {
    // The usage text itself offers "-?"; "/?" is how Windows programs are asked.
    if (EqualsIgnoringCase(argument, L"-help") || EqualsIgnoringCase(argument, L"--help") ||
        EqualsIgnoringCase(argument, L"/help") || argument == L"-?" || argument == L"/?") {
      AskForUsage(Usage::kHelp);
    } else if (EqualsIgnoringCase(argument, L"-csp")) {
      options_.installCsp = 1;
    } else if (EqualsIgnoringCase(argument, L"-ucsp")) {
      options_.installUcsp = 1;
    } else if (EqualsIgnoringCase(argument, L"-selectDlg")) {
      options_.selectDlg = 1;
    } else if (EqualsIgnoringCase(argument, L"-silent")) {
      options_.silent = 1;
    } else if (argument == L"-reinstall") {
      options_.reinstall = 1;
    } else if (EqualsIgnoringCase(argument, L"-norestart")) {
      options_.noRestart = 1;
    } else if (EqualsIgnoringCase(argument, L"-quiet")) {
      options_.quiet = 1;
    } else if (EqualsIgnoringCase(argument, L"-uninstall")) {
      options_.uninstall = 1;
    } else if (options_.installCsp && EqualsIgnoringCase(argument, L"-CSPArgs")) {
      AppendValue(options_.cspArgs, L"", L" ");
    } else if (options_.installCsp && EqualsIgnoringCase(argument, L"-KC")) {
      AppendValue(options_.kcMask, L"*", L"*");
    } else if (options_.installCsp && EqualsIgnoringCase(argument, L"-Lang")) {
      AppendValue(options_.langMask, L"*", L"*");
    } else if (options_.installUcsp && EqualsIgnoringCase(argument, L"-UCSPArgs")) {
      AppendValue(options_.ucspArgs, L"", L" ");
    } else if (EqualsIgnoringCase(argument, L"-CadesArgs")) {
      AppendValue(options_.cadesArgs, L" ", L" ");
    } else if (EqualsIgnoringCase(argument, L"-log")) {
      // One file: the last one named counts.
      options_.logPath.clear();
      options_.logGiven = 1;
      AppendValue(options_.logPath, L"", L"");
    } else {
      AskForUsage(Usage::kInvalid, argument);
    }
  }

  // Appends the next argument, whatever it looks like, between the two texts. An option that stands
  // last has no value: the command line is not accepted.
  void AppendValue(std::wstring& target, const wchar_t* before, const wchar_t* after) {
    if (next_ >= arguments_.size()) {
      AskForUsage(Usage::kInvalid, arguments_[next_ - 1]);
      return;
    }
    target += before + arguments_[next_++] + after;
  }

  const std::vector<std::wstring>& arguments_;
  BootstrapOptions& options_;
  std::size_t next_ = 1;
  ParsedCommandLine parsed_;
};

}  // namespace

ParsedCommandLine ParseCommandLine(const Platform& os, BootstrapOptions& options) {
  std::optional<std::vector<std::wstring>> arguments = os.processes.CommandLineToArgvW(os.processes.GetCommandLineW());
  if (!arguments) {
    return {};
  }
  return ArgumentScanner(*arguments, options).Scan();
}

std::wstring BuildUsageText(const BootstrapOptions& options) {
  std::wstring text =
      L"Установщик Solvarn ЭЦП Browser plug-in.\n"
      L"При запуске без параметров осуществляет установку с параметрами по умолчанию.\n"
      L"\n"
      L"Возможные параметры командной строки:\n"
      L"  -?\t\t\tвывести данную справку\n"
      L"  -cadesargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки(<args>) для\n"
      L"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI плагина\n"
      L"  -reinstall\t\t\tпереустановка продукта\n"
      L"  -uninstall\t\tудаление продукта\n"
      L"  -silent\t\t\tподавить диалоговые окна\n\t\t\tбутстраппера\n"
      L"  -norestart\t\tподавить перезагрузку, если она\n\t\t\tбудет необходима\n"
      L"  -quiet\t\t\tдля агентов: без окон\n\t\t\tи без перезагрузки\n"
      L"  -log <file>\t\tжурнал установщика\n";
  if (options.installCsp) {
    text +=
        L"  -cspargs \"<args>\"\tдополнителные параметры\n\t\t\tкомандной строки (<args>) для\n"
        L"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI Solvarn CSP\n";
  }
  if (options.installUcsp) {
    text +=
        L"  -ucspargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки (<args>) для\n"
        L"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI Solvarn УЭК CSP\n";
  }
  if (options.installCsp) {
    text +=
        L"  -selectDlg\tвывести диалог выбора конфигурации Solvarn CSP\n"
        L"  -KC\t\t\tуровень KC Solvarn CSP\n"
        L"  -Lang\t\t\tязык Solvarn CSP\n";
  }
  return text;
}

}  // namespace setup
