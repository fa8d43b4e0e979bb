#include "bootstrap/options.h"

#include "test_support.h"

namespace setup::testing {
namespace {

using Usage = ParsedCommandLine::Usage;

class OptionsTest : public PlatformTest {
 protected:
  // Parses "Setup.exe <arguments>"; returns what the command line asks for besides the options.
  Usage Parse(const std::wstring& arguments) {
    os.commandLine = L"\"C:\\dist\\Setup.exe\" " + arguments;
    parsed = ParseCommandLine(os, options);
    EXPECT_TRUE(os.boxes.empty()) << "the parser shows nothing itself";
    return parsed.usage;
  }

  BootstrapOptions options;
  ParsedCommandLine parsed;
};

TEST_F(OptionsTest, FlagsIgnoreCaseExceptReinstall) {
  EXPECT_EQ(Parse(L"-CSP -Ucsp -SELECTDLG -SILENT -NoRestart -reinstall"), Usage::kNone);
  EXPECT_EQ(options.installCsp, 1);
  EXPECT_EQ(options.installUcsp, 1);
  EXPECT_EQ(options.selectDlg, 1);
  EXPECT_EQ(options.silent, 1);
  EXPECT_EQ(options.noRestart, 1);
  EXPECT_EQ(options.reinstall, 1);
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(OptionsTest, ReinstallInOtherCaseShowsUsage) {
  EXPECT_EQ(Parse(L"-REINSTALL"), Usage::kInvalid);
  EXPECT_EQ(options.reinstall, 0);
}

TEST_F(OptionsTest, ValueOptionTakesTheNextArgumentWhateverItLooksLike) {
  EXPECT_EQ(Parse(L"-CadesArgs -silent"), Usage::kNone);
  EXPECT_EQ(options.cadesArgs, L" -silent ");
  EXPECT_EQ(options.silent, 0);
}

TEST_F(OptionsTest, ValueOptionStandingLastShowsUsage) { EXPECT_EQ(Parse(L"-silent -CadesArgs"), Usage::kInvalid); }

TEST_F(OptionsTest, ProviderValueOptionsNeedTheirProviderFirst) {
  for (const wchar_t* line :
       {L"-KC KC2 -csp", L"-CSPArgs A -csp", L"-Lang eng", L"-UCSPArgs A -ucsp", L"-csp -UCSPArgs A"}) {
    options = {};
    EXPECT_EQ(Parse(line), Usage::kInvalid) << line;
  }
}

TEST_F(OptionsTest, ValuesAccumulateWithTheirBlanks) {
  EXPECT_EQ(Parse(L"-csp -CSPArgs A -cspargs B -KC 1 -kc 2 -Lang eng -CadesArgs A -CadesArgs B"), Usage::kNone);
  EXPECT_EQ(options.cspArgs, L"A B ");
  EXPECT_EQ(options.kcMask, L"*1**2*");
  EXPECT_EQ(options.langMask, L"*eng*");
  EXPECT_EQ(options.cadesArgs, L" A  B ");
}

TEST_F(OptionsTest, BothProvidersKeepTheirOwnArguments) {
  EXPECT_EQ(Parse(L"-ucsp -UCSPArgs A -csp -CSPArgs B"), Usage::kNone);
  EXPECT_EQ(options.ucspArgs, L"A ");
  EXPECT_EQ(options.cspArgs, L"B ");
}

TEST_F(OptionsTest, QuotedValueIsOneArgument) {
  EXPECT_EQ(Parse(L"-CadesArgs \"/L*v C:\\my log.txt\""), Usage::kNone);
  EXPECT_EQ(options.cadesArgs, L" /L*v C:\\my log.txt ");
}

TEST_F(OptionsTest, UnknownArgumentAsksForUsageEvenWhenSilent) {
  EXPECT_EQ(Parse(L"-silent -x"), Usage::kInvalid);
  EXPECT_EQ(options.silent, 1);
}

TEST_F(OptionsTest, HelpListsOnlyTheLinesOfTheFlagsSeenSoFar) {
  for (const wchar_t* help : {L"-help", L"--HELP", L"/help", L"-?", L"/?"}) {
    options = {};
    EXPECT_EQ(Parse(help), Usage::kHelp) << help;
    EXPECT_EQ(parsed.usageText.find(L"-cspargs"), std::wstring::npos);
  }
  options = {};
  EXPECT_EQ(Parse(L"-csp -help"), Usage::kHelp);
  EXPECT_NE(parsed.usageText.find(L"-cspargs"), std::wstring::npos);
  options = {};
  EXPECT_EQ(Parse(L"-help -csp"), Usage::kHelp);
  EXPECT_EQ(parsed.usageText.find(L"-cspargs"), std::wstring::npos);
}

const std::wstring kUsageHead =
    L"Установщик Solvarn ЭЦП Browser plug-in.\n"
    L"При запуске без параметров осуществляет установку с параметрами по умолчанию.\n"
    L"\n"
    L"Возможные параметры командной строки:\n"
    L"  -?\t\t\tвывести данную справку\n"
    L"  -cadesargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки(<args>) для\n\t\t\tвызова msiexec /i "
    L"при установке\n\t\t\tпакета MSI плагина\n"
    L"  -reinstall\t\t\tпереустановка продукта\n"
    L"  -uninstall\t\tудаление продукта\n"
    L"  -silent\t\t\tподавить диалоговые окна\n\t\t\tбутстраппера\n"
    L"  -norestart\t\tподавить перезагрузку, если она\n\t\t\tбудет необходима\n"
    L"  -quiet\t\t\tдля агентов: без окон\n\t\t\tи без перезагрузки\n"
    L"  -log <file>\t\tжурнал установщика\n";
const std::wstring kUsageCsp =
    L"  -cspargs \"<args>\"\tдополнителные параметры\n\t\t\tкомандной строки (<args>) для\n\t\t\tвызова msiexec /i "
    L"при установке\n\t\t\tпакета MSI Solvarn CSP\n";
const std::wstring kUsageUcsp =
    L"  -ucspargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки (<args>) для\n\t\t\tвызова msiexec /i "
    L"при установке\n\t\t\tпакета MSI Solvarn УЭК CSP\n";
const std::wstring kUsageCspTail =
    L"  -selectDlg\tвывести диалог выбора конфигурации Solvarn CSP\n"
    L"  -KC\t\t\tуровень KC Solvarn CSP\n"
    L"  -Lang\t\t\tязык Solvarn CSP\n";

TEST(UsageText, IsExactForEveryCombinationOfProviders) {
  BootstrapOptions options;
  EXPECT_EQ(BuildUsageText(options), kUsageHead);
  options.installUcsp = 1;
  EXPECT_EQ(BuildUsageText(options), kUsageHead + kUsageUcsp);
  options.installCsp = 1;
  EXPECT_EQ(BuildUsageText(options), kUsageHead + kUsageCsp + kUsageUcsp + kUsageCspTail);
  options.installUcsp = 0;
  EXPECT_EQ(BuildUsageText(options), kUsageHead + kUsageCsp + kUsageCspTail);
}

TEST_F(OptionsTest, EmptyArgumentListKeepsDefaults) {
  os.commandLine = L"";
  ParseCommandLine(os, options);
  EXPECT_EQ(options.installCsp, 0);
  EXPECT_TRUE(os.boxes.empty());
}

}  // namespace
}  // namespace setup::testing
