// The Windows Installer wrappers used more than once: what a run reads from package files, the
// two-call property read and the related-product lookup.
#pragma once

#include <string>
#include <vector>

#include "base/run_conduct.h"
#include "platform/platform.h"

namespace setup {

// What one run has read from package files.
//
// Windows Installer copies the whole package file on every open, and one run reads several
// properties of the same file in different steps. So the first open of a file reads every property
// the program uses and closes the package at once; later opens and reads of that file through the
// same object are answered from what was read, with the statuses the platform gave. The run owns
// one and hands it to the steps that read packages.
class PackageReads {
 public:
  // The packages are read through that platform, which the steps that look them up use as well; it
  // outlives the reads.
  explicit PackageReads(const platform::Platform& os) : os_(&os) {}
  explicit PackageReads(const platform::Platform&& os) = delete;

  const platform::Platform& os() const { return *os_; }

  // MsiOpenPackageExW with MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE; 0 when the file opens as a package.
  platform::Status Open(const std::wstring& packagePath);
  // The size query first, then the read; value is left unchanged unless the read succeeds. A property
  // no step of a run uses opens the file again.
  platform::Status ReadProperty(const std::wstring& packagePath, const wchar_t* name, std::wstring& value);

  // What was read of one property, with the platform's status.
  struct Property {
    std::wstring name;
    platform::Status status = 0;
    bool read = false;  // the text was read, not only its size asked for
    std::wstring value;
  };
  struct File {
    std::wstring path;
    platform::Status openStatus = 0;
    std::vector<Property> properties;
  };

 private:
  File& FileOf(const std::wstring& packagePath);
  const platform::Platform* os_;
  std::vector<File> files_;
};

// packages.Open and packages.ReadProperty, with what they found in the run's log.
platform::Status OpenPackage(PackageReads& packages, const RunConduct& conduct, const std::wstring& packagePath);
platform::Status ReadPackageProperty(PackageReads& packages, const RunConduct& conduct, const std::wstring& packagePath,
                                     const wchar_t* name, std::wstring& value);

// The first installed product with that upgrade code (index 0 of the enumeration).
platform::Status FindRelatedProduct(platform::Installer& installer, const std::wstring& upgradeCode,
                                    std::wstring& productCode);

}  // namespace setup
