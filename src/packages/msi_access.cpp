#include "packages/msi_access.h"
#include "platform/win32_constants.h"

#include <cwchar>

namespace setup {

using namespace platform;
namespace {

using platform::Os;
using platform::Status;

constexpr std::size_t kProductCodeBuffer = 39;  // a braced GUID and its terminator

// Every property any step of a run reads from a package file.
constexpr const wchar_t* kPropertiesUsed[] = {L"UpgradeCode", L"ProductCode", L"ProductName", L"ProductVersion"};

struct PropertyRead {
  Status status = 0;
  bool read = false;  // the text was read, not only its size asked for
  std::wstring value;
};

struct PackageRead {
  Status openStatus = 0;
  std::map<std::wstring, PropertyRead> properties;
};

std::map<std::wstring, PackageRead>& PackagesRead() {
  static std::map<std::wstring, PackageRead> packages;
  return packages;
}

// The platform may leave the text shorter than the room it was given.
void TrimAtTerminator(std::wstring& text) { text.resize(std::wcslen(text.c_str())); }

// The size query first; only ERROR_MORE_DATA leads to the read itself.
PropertyRead ReadProperty(platform::MsiHandle package, const wchar_t* name) {
  // With a size of 0 nothing is written, so the size query can point at a constant.
  static const wchar_t kNoRoom[] = L"";
  std::uint32_t size = 0;
  PropertyRead result;
  result.status = Os().MsiGetPropertyW(package, name, const_cast<wchar_t*>(kNoRoom), &size);
  if (result.status != kErrorMoreData) {
    return result;
  }
  ++size;
  result.value.assign(size, L'\0');
  result.status = Os().MsiGetPropertyW(package, name, result.value.data(), &size);
  result.read = result.status == 0;
  TrimAtTerminator(result.value);
  return result;
}

// Opens the file, reads the given properties and closes it again before returning.
Status OpenAndRead(const std::wstring& path, PackageRead& read, const wchar_t* const* names, std::size_t count) {
  platform::UniqueMsiHandle package;
  const Status status = Os().MsiOpenPackageExW(path.c_str(), kMsiOpenPackageIgnoreMachineState, package.put());
  if (status == 0) {
    for (std::size_t i = 0; i < count; ++i) {
      read.properties[names[i]] = ReadProperty(package.get(), names[i]);
    }
  }
  return status;
}

}  // namespace

Status PackageHandle::Open(const std::wstring& packagePath) {
  path_ = packagePath;
  auto [entry, isNew] = PackagesRead().try_emplace(packagePath);
  if (isNew) {
    entry->second.openStatus = OpenAndRead(packagePath, entry->second, kPropertiesUsed, std::size(kPropertiesUsed));
  }
  return entry->second.openStatus;
}

Status ReadPackageProperty(const PackageHandle& package, const wchar_t* name, std::wstring& value) {
  PackageRead& read = PackagesRead()[package.path()];
  auto property = read.properties.find(name);
  if (property == read.properties.end()) {
    // A property no step reads in a run: the file is opened again for it.
    const Status status = OpenAndRead(package.path(), read, &name, 1);
    if (status != 0) {
      return status;
    }
    property = read.properties.find(name);
  }
  // Only a text that was really read replaces the caller's value.
  if (property->second.read) {
    value = property->second.value;
  }
  return property->second.status;
}

Status FindRelatedProduct(const std::wstring& upgradeCode, std::wstring& productCode) {
  // Whatever the string held before stays in front of the padding, so a failed lookup keeps it.
  productCode.resize(kProductCodeBuffer, L'\0');
  const Status status = Os().MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, 0, productCode.data());
  TrimAtTerminator(productCode);
  return status;
}

void ForgetReadPackages() { PackagesRead().clear(); }

}  // namespace setup
