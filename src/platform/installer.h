// Windows Installer (msi.dll).
#pragma once

#include "platform/types.h"

namespace setup::platform {

class Installer {
 public:
  virtual ~Installer() = default;

  virtual std::uint32_t MsiSetInternalUI(std::uint32_t uiLevel, WindowHandle* window) = 0;
  virtual Status MsiOpenPackageExW(const wchar_t* packagePath, std::uint32_t options, MsiHandle* handle) = 0;
  virtual Status MsiGetPropertyW(MsiHandle handle, const wchar_t* name, wchar_t* buffer, std::uint32_t* size) = 0;
  virtual Status MsiCloseHandle(MsiHandle handle) = 0;
  virtual Status MsiEnumRelatedProductsW(const wchar_t* upgradeCode, std::uint32_t reserved, std::uint32_t index,
                                         wchar_t* productBuffer) = 0;
  virtual Status MsiGetProductInfoW(const wchar_t* product, const wchar_t* property, wchar_t* buffer,
                                    std::uint32_t* size) = 0;
  virtual int MsiQueryProductStateW(const wchar_t* product) = 0;
  virtual int MsiQueryFeatureStateW(const wchar_t* product, const wchar_t* feature) = 0;
  virtual Status MsiSourceListClearAllW(const wchar_t* product, const wchar_t* userName, std::uint32_t reserved) = 0;
  virtual Status MsiSourceListSetInfoW(const wchar_t* product, const wchar_t* userSid, std::uint32_t context,
                                       std::uint32_t options, const wchar_t* property, const wchar_t* value) = 0;
};

}  // namespace setup::platform
