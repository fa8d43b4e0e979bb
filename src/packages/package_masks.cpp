#include "packages/package_masks.h"

namespace setup {

std::wstring ArchMaskOf(bool windows64) { return windows64 ? L"*x64*" : L"*win32*"; }

std::wstring LanguageMaskOf(bool russian) { return russian ? L"*rus*" : L"*eng*"; }

std::vector<std::wstring> IdentityMasks(const std::wstring& archMask) { return {archMask + L"*.msi", L"*.msi"}; }

std::wstring VersionMask() { return L"tarvex*.msi"; }

std::vector<std::wstring> ProductNameMasks(const std::wstring& languageMask, const std::wstring& mask) {
  return {languageMask + mask, mask};
}

std::wstring InstallationMask(const std::wstring& archMask) { return L"tarvex" + archMask; }

}  // namespace setup
