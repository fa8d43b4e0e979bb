#include "packages/package_identity.h"

#include "base/messages.h"
#include "packages/msi_access.h"
#include "packages/package_lookups.h"
#include "packages/package_search.h"
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
std::wstring UiLanguageMask(SystemFacts& system) {
  return LanguageMaskOf(system.GetSystemDefaultUILanguage() == kLangRussian);
}

// A lookup's pick, opened: its log line, and its messages where it fails unless the caller shows its own.
Status LookUp(LookupKind kind, PackageReads& packages, const RunConduct& conduct, std::wstring& packagePath,
              bool showMessages) {
  const PackageLookup& lookup = LookupOf(kind);
  const auto failed = [&](Status status, unsigned message) {
    if (showMessages && message != 0) {
      ShowMessage(conduct, box::kLookupError, message);
    }
    return status;
  };
  const Platform& os = packages.os();
  if (const Status found = LookUpPackageFile(os, conduct, lookup.purpose, LookupMasks(os, kind), packagePath);
      found != 0) {
    return failed(found, lookup.notFoundMessage);
  }
  if (const Status opened = OpenPackage(packages, conduct, packagePath); opened != 0) {
    return failed(opened, lookup.unopenableMessage);
  }
  return 0;
}

}  // namespace

// A fresh process's state, for the unit tests (tests/unit/process_state.h).
void ForgetIsWow64Process() { Slot() = Wow64Slot{}; }

std::vector<std::wstring> LookupMasks(const Platform& os, LookupKind kind) {
  return MasksOf(kind, ArchMask(os), UiLanguageMask(os.system));
}

std::wstring ArchMask(const Platform& os) {
  // IsWow64Process answers FALSE to a 64-bit program, which is on 64-bit Windows all the same.
  if constexpr (platform::kWin64Build) {
    return ArchMaskOf(true);
  }
  Wow64Slot& slot = Slot();
  if (!slot.lookedUp) {
    platform::ModuleHandle kernel = os.modules.GetModuleHandleW(L"kernel32");
    if (kernel == nullptr) {
      return ArchMaskOf(false);
    }
    slot.isWow64Process = os.modules.GetProcAddress(kernel, "IsWow64Process");
    slot.lookedUp = true;
  }
  bool isWow64 = false;
  return ArchMaskOf(slot.isWow64Process != nullptr &&
                    os.modules.CallIsWow64Process(slot.isWow64Process, os.processes.GetCurrentProcess(), &isWow64) &&
                    isWow64);
}

namespace {

// The platform package, found and opened: every failure is passed on without a message.
Status OpenIdentityPackage(PackageReads& packages, const RunConduct& conduct, std::wstring& packagePath) {
  return LookUp(LookupKind::kIdentity, packages, conduct, packagePath, false);
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
  const Status status = FindRelatedProduct(packages.os().installer, upgradeCode, productCode);
  if (status == 0) {
    conduct.Log({L"installed product of that upgrade code: ", productCode});
  } else {
    conduct.Log({L"installed product of that upgrade code: none, error ", FormatUnsigned(status)});
  }
  return status;
}

std::vector<std::wstring> EveryLookupMask(const Platform& os) {
  std::vector<std::wstring> masks;
  for (const PackageLookup& lookup : PackageLookups()) {
    const std::vector<std::wstring> own = LookupMasks(os, lookup.kind);
    masks.insert(masks.end(), own.begin(), own.end());
  }
  return masks;
}

Status ReadLookedUpProperty(LookupKind kind, PackageReads& packages, const RunConduct& conduct, std::wstring& value) {
  std::wstring packagePath;
  if (const Status status = LookUp(kind, packages, conduct, packagePath, true); status != 0) {
    return status;
  }
  const PackageLookup& lookup = LookupOf(kind);
  const Status status = ReadPackageProperty(packages, conduct, packagePath, lookup.properties.front(), value);
  if (status != 0 && lookup.unreadableMessage != 0) {
    ShowMessage(conduct, box::kLookupError, lookup.unreadableMessage);
  }
  return status;
}

}  // namespace setup
