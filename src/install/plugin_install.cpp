#include "install/plugin_install.h"

#include "base/messages.h"
#include "install/installer_arguments.h"
#include "install/package_installer.h"
#include "packages/package_identity.h"
#include "packages/package_lookups.h"
#include "packages/package_version.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

constexpr const wchar_t* kPluginFeature = L"PLUGVEX";

constexpr const wchar_t* kFirstInstallation = L" ADDPLUGVEX=1";
constexpr const wchar_t* kReinstallation = L" REINSTALL=ALL REINSTALLMODE=vomus";
constexpr const wchar_t* kAddPluginComponent = L" COMPADDLOCAL={6B0E2F47-91C3-4A8D-B5E2-7C4F10D39A61}";
constexpr const wchar_t* kAddAllFeatures = L" ADDLOCAL=ALL";

enum class Verdict { kInstall, kSkip, kDeclined, kNewerInstalled };

// What the version comparison means for this run; the update question has already been asked by the
// comparison itself. A silent run never refuses a downgrade: the installer decides what becomes of the
// newer product. A quiet one does, with msiexec's own code for it, rather than fail the installer.
Verdict Judge(int decision, bool reinstall, const RunConduct& conduct) {
  if (decision > 0 || (decision == 0 && reinstall)) {
    return Verdict::kInstall;
  }
  if (decision == 0) {
    if (conduct.silent) {
      return Verdict::kSkip;
    }
    return ShowMessage(conduct, box::kReinstallQuestion, IDS_ALREADY_INSTALLED) == kIdYes ? Verdict::kInstall
                                                                                          : Verdict::kDeclined;
  }
  if (conduct.agentExitCodes) {
    return Verdict::kNewerInstalled;
  }
  if (conduct.silent) {
    return Verdict::kInstall;
  }
  ShowMessage(conduct, box::kNewerInstalled, IDS_NEWER_INSTALLED);
  return Verdict::kSkip;
}

std::wstring Describe(Verdict verdict, int decision) {
  switch (verdict) {
    case Verdict::kInstall:
      return decision > 0 ? L"update" : decision == 0 ? L"reinstallation" : L"installation over a newer version";
    case Verdict::kSkip:
      return decision == 0 ? L"nothing to do, the same version is installed"
                           : L"nothing installed, a newer version is installed";
    case Verdict::kDeclined:
      return L"reinstallation declined";
    case Verdict::kNewerInstalled:
      break;
  }
  return L"refused, a newer version is installed";
}

}  // namespace

StepOutcome InstallPluginPackage(const Platform& os, const RunConduct& conduct, bool reinstall, std::wstring cadesArgs,
                                 std::wstring& logPath) {
  // Each property goes in front, so the user's own arguments stay last and can override ours.
  std::wstring installerArgs = std::move(cadesArgs);

  PackageReads packages(os);
  // A failed lookup leaves the code empty, which Windows Installer never reports as installed: the run
  // then takes the first-installation path.
  std::wstring installedProductCode;
  LookUpInstalledProductCode(packages, conduct, installedProductCode);
  std::wstring packageProductCode;
  if (const platform::Status status = LookUpPackageProductCode(packages, conduct, packageProductCode)) {
    ShowMessage(conduct, box::kInstallError, LookupOf(LookupKind::kIdentity).unreadableMessage);
    return StepOutcome::Failed(status);
  }

  std::wstring installedVersion;
  const int productState = os.installer.MsiQueryProductStateW(installedProductCode.c_str());
  if (!installedProductCode.empty()) {
    conduct.Log({L"state of ", installedProductCode, L": ", FormatUnsigned(static_cast<std::uint32_t>(productState)),
                 productState == kInstallStateDefault ? L" (installed)" : L" (not installed)"});
  }
  if (productState != kInstallStateDefault) {
    conduct.Log({L"decision: first installation"});
    installerArgs = kFirstInstallation + installerArgs;
  } else {
    int decision = 1;
    const StepOutcome versions =
        CheckPackageVersion(packages, decision, true, installedProductCode, conduct, installedVersion);
    if (versions.EndsRun()) {
      return versions;
    }
    const Verdict verdict = Judge(decision, reinstall, conduct);
    conduct.Log({L"decision: ", Describe(verdict, decision)});
    switch (verdict) {
      case Verdict::kSkip:
        return StepOutcome::Done();
      case Verdict::kDeclined:
        return StepOutcome::Stopped(kErrorInstallUserExit);
      case Verdict::kNewerInstalled:
        return StepOutcome::Stopped(kErrorProductVersion);
      case Verdict::kInstall:
        break;
    }
    // Both codes are braced GUID texts as Windows Installer spells them, so they are compared exactly; a
    // code that differs only in letter case counts as another product.
    const bool sameProduct = installedProductCode == packageProductCode;
    if (sameProduct) {
      installerArgs = kReinstallation + installerArgs;
    }
    if (os.installer.MsiQueryFeatureStateW(installedProductCode.c_str(), kPluginFeature) == kInstallStateAbsent) {
      installerArgs = (sameProduct ? kAddPluginComponent : kAddAllFeatures) + installerArgs;
    }
  }

  // Any interface level of the user's (/qn, /qb, /quiet) decides.
  if (!CarriesQuietOption(os.processes, installerArgs, conduct)) {
    installerArgs = L" " + (InterfaceLevel(conduct) + installerArgs);
  }
  return RunPackageInstaller(os, conduct, logPath, packages, installedProductCode, installedVersion,
                             std::move(installerArgs));
}

StepOutcome RemovePluginPackage(const Platform& os, const RunConduct& conduct, std::wstring cadesArgs,
                                std::wstring& logPath, bool& installed) {
  PackageReads packages(os);
  std::wstring productCode;
  const platform::Status related = LookUpInstalledProductCode(packages, conduct, productCode);
  installed = related != kErrorNoMoreItems;
  if (!installed) {
    conduct.Log({L"decision: nothing to remove, no product of the upgrade code is installed"});
    return StepOutcome::Done();
  }
  // Without the package's upgrade code there is no telling what belongs to the family.
  if (related != 0) {
    ShowMessage(conduct, box::kInstallError, IDS_PRODUCT_CODE_UNREADABLE);
    return StepOutcome::Failed(related);
  }
  // Only the log line needs it: the product goes whatever its version.
  std::wstring version;
  ReadProductVersion(os.installer, productCode, conduct, version);
  conduct.Log({L"decision: removal"});
  if (!CarriesQuietOption(os.processes, cadesArgs, conduct)) {
    cadesArgs = L" " + (InterfaceLevel(conduct) + cadesArgs);
  }
  return RunProductRemoval(os, conduct, logPath, productCode, version, std::move(cadesArgs));
}

}  // namespace setup
