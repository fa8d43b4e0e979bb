// The Windows layer: Windows Installer.
#include "platform/win/win_shared.h"

namespace setup::platform {

using namespace win;

std::uint32_t WinInstaller::MsiSetInternalUI(std::uint32_t uiLevel, WindowHandle* window) {
  auto setInternalUi = Msi().Function<fn::MsiSetInternalUI>("MsiSetInternalUI");
  if (setInternalUi == nullptr) {
    return INSTALLUILEVEL_NOCHANGE;
  }
  HWND previousWindow = window != nullptr ? Hwnd(*window) : nullptr;
  const INSTALLUILEVEL previous =
      setInternalUi(static_cast<INSTALLUILEVEL>(uiLevel), window != nullptr ? &previousWindow : nullptr);
  if (window != nullptr) {
    *window = previousWindow;
  }
  return static_cast<std::uint32_t>(previous);
}

Status WinInstaller::MsiOpenPackageExW(const wchar_t* packagePath, std::uint32_t options, MsiHandle* handle) {
  auto openPackage = Msi().Function<fn::MsiOpenPackageExW>("MsiOpenPackageExW");
  if (openPackage == nullptr) {
    return kMsiUnavailable;
  }
  MSIHANDLE opened = 0;
  const UINT status = openPackage(packagePath, options, &opened);
  *handle = opened;
  return status;
}

Status WinInstaller::MsiGetPropertyW(MsiHandle handle, const wchar_t* name, wchar_t* buffer, std::uint32_t* size) {
  auto getProperty = Msi().Function<fn::MsiGetPropertyW>("MsiGetPropertyW");
  if (getProperty == nullptr) {
    return kMsiUnavailable;
  }
  DWORD length = *size;
  const UINT status = getProperty(handle, name, buffer, &length);
  *size = length;
  return status;
}

Status WinInstaller::MsiCloseHandle(MsiHandle handle) {
  auto closeHandle = Msi().Function<fn::MsiCloseHandle>("MsiCloseHandle");
  return closeHandle != nullptr ? closeHandle(handle) : kMsiUnavailable;
}

Status WinInstaller::MsiEnumRelatedProductsW(const wchar_t* upgradeCode, std::uint32_t reserved, std::uint32_t index,
                                             wchar_t* productBuffer) {
  auto enumRelated = Msi().Function<fn::MsiEnumRelatedProductsW>("MsiEnumRelatedProductsW");
  return enumRelated != nullptr ? enumRelated(upgradeCode, reserved, index, productBuffer) : kMsiUnavailable;
}

Status WinInstaller::MsiGetProductInfoW(const wchar_t* product, const wchar_t* property, wchar_t* buffer,
                                        std::uint32_t* size) {
  auto getProductInfo = Msi().Function<fn::MsiGetProductInfoW>("MsiGetProductInfoW");
  if (getProductInfo == nullptr) {
    return kMsiUnavailable;
  }
  DWORD length = *size;
  const UINT status = getProductInfo(product, property, buffer, &length);
  *size = length;
  return status;
}

int WinInstaller::MsiQueryProductStateW(const wchar_t* product) {
  auto queryProductState = Msi().Function<fn::MsiQueryProductStateW>("MsiQueryProductStateW");
  return queryProductState != nullptr ? queryProductState(product) : INSTALLSTATE_UNKNOWN;
}

int WinInstaller::MsiQueryFeatureStateW(const wchar_t* product, const wchar_t* feature) {
  auto queryFeatureState = Msi().Function<fn::MsiQueryFeatureStateW>("MsiQueryFeatureStateW");
  return queryFeatureState != nullptr ? queryFeatureState(product, feature) : INSTALLSTATE_UNKNOWN;
}

Status WinInstaller::MsiSourceListClearAllW(const wchar_t* product, const wchar_t* userName, std::uint32_t reserved) {
  auto clearAll = Msi().Function<fn::MsiSourceListClearAllW>("MsiSourceListClearAllW");
  return clearAll != nullptr ? clearAll(product, userName, reserved) : kMsiUnavailable;
}

Status WinInstaller::MsiSourceListSetInfoW(const wchar_t* product, const wchar_t* userSid, std::uint32_t context,
                                           std::uint32_t options, const wchar_t* property, const wchar_t* value) {
  auto setInfo = Msi().Function<fn::MsiSourceListSetInfoW>("MsiSourceListSetInfoW");
  return setInfo != nullptr
             ? setInfo(product, userSid, static_cast<MSIINSTALLCONTEXT>(context), options, property, value)
             : kMsiUnavailable;
}

}  // namespace setup::platform
