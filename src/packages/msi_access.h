// The Windows Installer wrappers used more than once: the package handle, the two-call property
// read and the related-product lookup.
#pragma once

#include <string>
#include <utility>

#include "platform/handles.h"

namespace setup {

// A package opened for reading its properties.
//
// Windows Installer copies the whole package file on every open, and one run reads several
// properties of the same file in different steps. So the first open of a file in a run reads every
// property the program uses and closes the package at once; later opens and reads of that file in
// the same run are answered from what was read, with the same statuses the platform gave.
class PackageHandle {
 public:
  // MsiOpenPackageExW with MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE; 0 when the package is open.
  platform::Status Open(const std::wstring& packagePath);
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// Reads a property with the size query first; value is left unchanged unless the read succeeds.
platform::Status ReadPackageProperty(const PackageHandle& package, const wchar_t* name, std::wstring& value);

// The first installed product with that upgrade code (index 0 of the enumeration).
platform::Status FindRelatedProduct(const std::wstring& upgradeCode, std::wstring& productCode);

// Forgets what this run has read from package files, as a new process would. For tests, each of
// which stands in for a fresh run.
void ForgetReadPackages();

}  // namespace setup
