#include "packages/package_identity.h"

#include "base/messages.h"
#include "packages/msi_access.h"
#include "packages/package_masks.h"
#include "packages/package_search.h"
#include "packages/wow64_slot.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

// Not looked up until kernel32 has been found once; after that it holds the entry point or null
// for the rest of the process.
struct Wow64Slot {
  bool lookedUp = false;
  platform::ProcAddress isWow64Process = nullptr;
};

Wow64Slot& Slot() {
  static Wow64Slot slot;
  return slot;
}

// Only Russian as used in Russia counts; every other language, Russian variants included, is English.
std::wstring UiLanguageMask() { return LanguageMaskOf(Os().GetSystemDefaultUILanguage() == kLangRussian); }

}  // namespace

void ForgetIsWow64Process() { Slot() = Wow64Slot{}; }

std::wstring ArchMask() {
  // IsWow64Process answers FALSE to a 64-bit program, which is on 64-bit Windows all the same.
  if constexpr (platform::kWin64Build) {
    return ArchMaskOf(true);
  }
  Wow64Slot& slot = Slot();
  if (!slot.lookedUp) {
    platform::ModuleHandle kernel = Os().GetModuleHandleW(L"kernel32");
    if (kernel == nullptr) {
      return ArchMaskOf(false);
    }
    slot.isWow64Process = Os().GetProcAddress(kernel, "IsWow64Process");
    slot.lookedUp = true;
  }
  bool isWow64 = false;
  return ArchMaskOf(slot.isWow64Process != nullptr &&
                    Os().CallIsWow64Process(slot.isWow64Process, Os().GetCurrentProcess(), &isWow64) && isWow64);
}

namespace {

// The platform package, found and opened: every failure is passed on without a message.
Status OpenIdentityPackage(PackageReads& packages, const RunConduct& conduct, std::wstring& packagePath) {
  const Status found =
      LookUpPackageFile(conduct, L"package of the product codes", IdentityMasks(ArchMask()), packagePath);
  return found != 0 ? found : OpenPackage(packages, conduct, packagePath);
}

}  // namespace

Status LookUpPackageProductCode(PackageReads& packages, const RunConduct& conduct, std::wstring& productCode) {
  std::wstring packagePath;
  if (const Status status = OpenIdentityPackage(packages, conduct, packagePath); status != 0) {
    return status;
  }
  return ReadPackageProperty(packages, conduct, packagePath, L"ProductCode", productCode);
}

Status LookUpInstalledProductCode(PackageReads& packages, const RunConduct& conduct, std::wstring& productCode) {
  std::wstring packagePath;
  if (const Status status = OpenIdentityPackage(packages, conduct, packagePath); status != 0) {
    return status;
  }
  // An unreadable upgrade code stays empty and lets the platform refuse the lookup.
  std::wstring upgradeCode;
  ReadPackageProperty(packages, conduct, packagePath, L"UpgradeCode", upgradeCode);
  const Status status = FindRelatedProduct(upgradeCode, productCode);
  if (status == 0) {
    conduct.Log({L"installed product of that upgrade code: ", productCode});
  } else {
    conduct.Log({L"installed product of that upgrade code: none, error ", FormatUnsigned(status)});
  }
  return status;
}

std::vector<std::wstring> EveryLookupMask() {
  const std::wstring archMask = ArchMask();
  std::vector<std::wstring> masks = IdentityMasks(archMask);
  for (const std::wstring& mask : ProductNameMasks(UiLanguageMask(), VersionMask())) {
    masks.push_back(mask);
  }
  masks.push_back(InstallationMask(archMask));
  return masks;
}

Status ReadLocalizedProductName(PackageReads& packages, const RunConduct& conduct, std::wstring mask,
                                std::wstring& productName) {
  std::wstring packagePath;
  Status status =
      LookUpPackageFile(conduct, L"package of the product name", ProductNameMasks(UiLanguageMask(), mask), packagePath);
  if (status != 0) {
    ShowMessage(conduct, box::kLookupError, IDS_PACKAGE_NOT_FOUND);
    return status;
  }
  if (status = OpenPackage(packages, conduct, packagePath); status != 0) {
    ShowMessage(conduct, box::kLookupError, IDS_PACKAGE_UNOPENABLE);
    return status;
  }
  if (status = ReadPackageProperty(packages, conduct, packagePath, L"ProductName", productName); status != 0) {
    ShowMessage(conduct, box::kLookupError, IDS_PACKAGE_VERSION_UNREADABLE);
    return status;
  }
  return 0;
}

}  // namespace setup
