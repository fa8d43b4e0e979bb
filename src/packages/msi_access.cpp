#include "packages/msi_access.h"

#include "base/messages.h"
#include "platform/handles.h"
#include "platform/win32_constants.h"

#include <algorithm>
#include <cwchar>

namespace setup {

using namespace platform;

namespace {

using PackageProperty = PackageReads::Property;

constexpr std::size_t kProductCodeBuffer = 39;  // a braced GUID and its terminator

// Every property any step of a run reads from a package file.
constexpr const wchar_t* kPropertiesUsed[] = {L"UpgradeCode", L"ProductCode", L"ProductName", L"ProductVersion"};

// The platform may leave the text shorter than the room it was given.
void TrimAtTerminator(std::wstring& text) { text.resize(std::wcslen(text.c_str())); }

// The size query first; only ERROR_MORE_DATA leads to the read itself.
void ReadInto(Installer& installer, platform::MsiHandle package, PackageProperty& property) {
  // With a size of 0 nothing is written, so the size query can point at a constant.
  static const wchar_t kNoRoom[] = L"";
  std::uint32_t size = 0;
  property.status = installer.MsiGetPropertyW(package, property.name.c_str(), const_cast<wchar_t*>(kNoRoom), &size);
  if (property.status != kErrorMoreData) {
    return;
  }
  ++size;
  property.value.assign(size, L'\0');
  property.status = installer.MsiGetPropertyW(package, property.name.c_str(), property.value.data(), &size);
  property.read = property.status == 0;
  TrimAtTerminator(property.value);
}

// Opens the file, reads the properties named there and closes it again before returning.
Status OpenAndRead(Installer& installer, const std::wstring& path, std::vector<PackageProperty>& properties) {
  platform::UniqueMsiHandle package(installer);
  const Status status = installer.MsiOpenPackageExW(path.c_str(), kMsiOpenPackageIgnoreMachineState, package.put());
  if (status == 0) {
    for (PackageProperty& property : properties) {
      ReadInto(installer, package.get(), property);
    }
  }
  return status;
}

}  // namespace

PackageReads::File& PackageReads::FileOf(const std::wstring& packagePath) {
  for (File& file : files_) {
    if (file.path == packagePath) {
      return file;
    }
  }
  File& file = files_.emplace_back();
  file.path = packagePath;
  for (const wchar_t* name : kPropertiesUsed) {
    file.properties.emplace_back().name = name;
  }
  file.openStatus = OpenAndRead(os_->installer, packagePath, file.properties);
  return file;
}

Status PackageReads::Open(const std::wstring& packagePath) { return FileOf(packagePath).openStatus; }

Status PackageReads::ReadProperty(const std::wstring& packagePath, const wchar_t* name, std::wstring& value) {
  File& file = FileOf(packagePath);
  if (file.openStatus != 0) {
    return file.openStatus;
  }
  auto found = std::find_if(file.properties.begin(), file.properties.end(),
                            [&](const PackageProperty& property) { return property.name == name; });
  if (found == file.properties.end()) {
    std::vector<PackageProperty> other(1);
    other.front().name = name;
    if (const Status status = OpenAndRead(os_->installer, packagePath, other); status != 0) {
      return status;
    }
    file.properties.push_back(std::move(other.front()));
    found = file.properties.end() - 1;
  }
  // Only a text that was really read replaces the caller's value.
  if (found->read) {
    value = found->value;
  }
  return found->status;
}

Status OpenPackage(PackageReads& packages, const RunConduct& conduct, const std::wstring& packagePath) {
  const Status status = packages.Open(packagePath);
  if (status != 0) {
    conduct.Log({packagePath, L": cannot be opened as a package, error ", FormatUnsigned(status)});
  }
  return status;
}

Status ReadPackageProperty(PackageReads& packages, const RunConduct& conduct, const std::wstring& packagePath,
                           const wchar_t* name, std::wstring& value) {
  const Status status = packages.ReadProperty(packagePath, name, value);
  if (status == 0) {
    conduct.Log({packagePath, L": ", name, L" = ", value});
  } else {
    conduct.Log({packagePath, L": ", name, L" cannot be read, error ", FormatUnsigned(status)});
  }
  return status;
}

Status FindRelatedProduct(Installer& installer, const std::wstring& upgradeCode, std::wstring& productCode) {
  // Whatever the string held before stays in front of the padding, so a failed lookup keeps it.
  productCode.resize(kProductCodeBuffer, L'\0');
  const Status status = installer.MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, 0, productCode.data());
  TrimAtTerminator(productCode);
  return status;
}

}  // namespace setup
