// The Windows Installer wrappers used more than once: the package handle, the two-call property
// read and the related-product lookup.
#pragma once

#include <string>

#include "platform/handles.h"

namespace setup {

// Owns one package opened for reading its properties; closed on every return path of its owner.
class PackageHandle {
 public:
  // MsiOpenPackageExW with MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE; 0 when the package is open.
  platform::Status Open(const std::wstring& packagePath);
  platform::MsiHandle get() const { return handle_.get(); }

 private:
  platform::UniqueMsiHandle handle_;
};

// Reads a property with the size query first; value is left unchanged unless the read succeeds.
platform::Status ReadPackageProperty(const PackageHandle& package, const wchar_t* name, std::wstring& value);

// The first installed product with that upgrade code (index 0 of the enumeration).
platform::Status FindRelatedProduct(const std::wstring& upgradeCode, std::wstring& productCode);

}  // namespace setup
