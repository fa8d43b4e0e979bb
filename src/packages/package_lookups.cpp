#include "packages/package_lookups.h"

#include "base/resource_ids.h"

namespace setup {

namespace {

// Every package of the product has this in its name; the platform's own package also its ArchMaskOf.
constexpr const wchar_t* kFamily = L"tarvex";

}  // namespace

const std::array<PackageLookup, 4>& PackageLookups() {
  static const std::array<PackageLookup, 4> lookups = {{
      // A folder whose only package carries no platform mark still works.
      {LookupKind::kIdentity,
       L"package of the product codes",
       L"identity",
       {L"ProductCode", L"UpgradeCode"},
       true,
       IDS_PRODUCT_CODE_UNREADABLE,
       IDS_PRODUCT_CODE_UNREADABLE,
       IDS_PRODUCT_CODE_UNREADABLE},
      // The name the update question shows: the language's own package first.
      {LookupKind::kName,
       L"package of the product name",
       L"name",
       {L"ProductName"},
       false,
       IDS_PACKAGE_NOT_FOUND,
       IDS_PACKAGE_UNOPENABLE,
       IDS_PACKAGE_VERSION_UNREADABLE},
      {LookupKind::kVersion,
       L"package of the version",
       L"version",
       {L"ProductVersion"},
       false,
       IDS_PACKAGE_NOT_FOUND,
       IDS_PACKAGE_UNOPENABLE,
       IDS_PACKAGE_VERSION_UNREADABLE},
      {LookupKind::kInstallation,
       L"package to install",
       L"installation",
       {L"ProductCode", L"UpgradeCode", L"ProductVersion"},
       true,
       IDS_PLUGIN_PACKAGE_NOT_FOUND,
       0,
       0},
  }};
  return lookups;
}

const PackageLookup& LookupOf(LookupKind kind) { return PackageLookups()[static_cast<std::size_t>(kind)]; }

std::wstring ArchMaskOf(bool windows64) { return windows64 ? L"*x64*" : L"*win32*"; }

std::wstring LanguageMaskOf(bool russian) { return russian ? L"*rus*" : L"*eng*"; }

std::vector<std::wstring> MasksOf(LookupKind kind, const std::wstring& archMask, const std::wstring& languageMask) {
  const std::wstring family = std::wstring(kFamily) + L"*.msi";
  switch (kind) {
    case LookupKind::kIdentity:
      return {archMask + L"*.msi", L"*.msi"};
    case LookupKind::kName:
      // Under the version lookup's wildcard, so that the name shown is of the version compared.
      return {languageMask + family, family};
    case LookupKind::kVersion:
      return {family};
    case LookupKind::kInstallation:
      break;
  }
  return {kFamily + archMask};
}

}  // namespace setup
