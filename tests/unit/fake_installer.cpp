// The fake Windows: Windows Installer.
#include <algorithm>
#include <cstring>
#include <utility>

#include "fake_parts.h"
#include "platform/win32_constants.h"

namespace setup::testing {

using namespace fake;

std::uint32_t FakePlatform::MsiSetInternalUI(std::uint32_t uiLevel, WindowHandle*) {
  internalUiLevels.push_back(uiLevel);
  return 5;
}

Status FakePlatform::MsiOpenPackageExW(const wchar_t* packagePath, std::uint32_t options, MsiHandle* handle) {
  openedPackages.push_back(packagePath);
  openedPackageOptions.push_back(options);
  auto found = packages.find(packagePath);
  if (found == packages.end()) {
    return 1619;  // ERROR_INSTALL_PACKAGE_OPEN_FAILED
  }
  if (found->second.openStatus != 0) {
    return found->second.openStatus;
  }
  *handle = nextPackageHandle_++;
  packageHandles_[*handle] = packagePath;
  return 0;
}

Status FakePlatform::MsiGetPropertyW(MsiHandle handle, const wchar_t* name, wchar_t* buffer, std::uint32_t* size) {
  auto open = packageHandles_.find(handle);
  if (open == packageHandles_.end()) {
    return kErrorInvalidHandle;
  }
  const FakePackage& package = packages.at(open->second);
  const auto& failures = *size == 0 ? package.sizeQueryStatus : package.readStatus;
  if (auto failure = failures.find(name); failure != failures.end()) {
    return failure->second;
  }
  auto found = package.properties.find(name);
  return CopyOut(found == package.properties.end() ? std::wstring() : found->second, buffer, size);
}

Status FakePlatform::MsiCloseHandle(MsiHandle handle) {
  return packageHandles_.erase(handle) == 1 ? 0 : kErrorInvalidHandle;
}

Status FakePlatform::MsiEnumRelatedProductsW(const wchar_t* upgradeCode, std::uint32_t, std::uint32_t index,
                                             wchar_t* productBuffer) {
  if (upgradeCode == nullptr || std::wstring(upgradeCode).size() != 38) {
    return kErrorInvalidParameter;
  }
  std::uint32_t seen = 0;
  for (const auto& [code, product] : products) {
    if (product.upgradeCode == upgradeCode && seen++ == index) {
      std::copy(code.begin(), code.end(), productBuffer);
      productBuffer[code.size()] = L'\0';
      return 0;
    }
  }
  return kErrorNoMoreItems;
}

Status FakePlatform::MsiGetProductInfoW(const wchar_t* product, const wchar_t* property, wchar_t* buffer,
                                        std::uint32_t* size) {
  auto found = products.find(product);
  if (found == products.end() || std::wstring(property) != L"VersionString") {
    return kErrorUnknownProduct;
  }
  if (buffer == nullptr) {
    if (found->second.versionSizeStatus != 0) {
      return found->second.versionSizeStatus;
    }
    *size = static_cast<std::uint32_t>(found->second.version.size());
    return 0;
  }
  if (found->second.versionStatus != 0) {
    return found->second.versionStatus;
  }
  return CopyOut(found->second.version, buffer, size);
}

int FakePlatform::MsiQueryProductStateW(const wchar_t* product) {
  auto found = products.find(product);
  return found == products.end() ? -1 : found->second.state;
}

int FakePlatform::MsiQueryFeatureStateW(const wchar_t* product, const wchar_t* feature) {
  auto found = products.find(product);
  if (found == products.end() || std::wstring(feature) != L"PLUGVEX") {
    return -1;
  }
  return found->second.pluginFeatureState;
}

Status FakePlatform::MsiSourceListClearAllW(const wchar_t* product, const wchar_t*, std::uint32_t) {
  sourceListCalls.emplace_back(L"ClearAll", product);
  return 0;
}

Status FakePlatform::MsiSourceListSetInfoW(const wchar_t* product, const wchar_t*, std::uint32_t context,
                                           std::uint32_t options, const wchar_t* property, const wchar_t* value) {
  sourceListCalls.emplace_back(
      L"SetInfo " + std::to_wstring(context) + L" " + std::to_wstring(options) + L" " + property, product);
  sourceListPackageNames.push_back(value);
  return products.count(product) ? 0 : kErrorUnknownProduct;
}

}  // namespace setup::testing
