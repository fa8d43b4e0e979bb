#include "packages/msi_access.h"

#include <cwchar>
#include <vector>

namespace setup {
namespace {

using platform::Os;
using platform::Status;

constexpr std::uint32_t kIgnoreMachineState = 1;  // MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE
constexpr Status kErrorMoreData = 234;
constexpr std::size_t kProductCodeBuffer = 39;  // a braced GUID and its terminator

// Every property any step of a run reads from a package file.
constexpr const wchar_t* kPropertiesUsed[] = {L"UpgradeCode", L"ProductCode", L"ProductName", L"ProductVersion"};

// A run reads a handful of files and properties: lists searched in order are enough, and keep the
// balanced-tree code of std::map out of the program.
template <typename Value>
using KeyedList = std::vector<std::pair<std::wstring, Value>>;

template <typename Value>
Value* Find(KeyedList<Value>& list, const std::wstring& key) {
  for (auto& [entryKey, value] : list) {
    if (entryKey == key) {
      return &value;
    }
  }
  return nullptr;
}

// The entry of that key, added with a default value when it is new; second is true when it was added.
template <typename Value>
std::pair<Value*, bool> FindOrAdd(KeyedList<Value>& list, const std::wstring& key) {
  if (Value* found = Find(list, key)) {
    return {found, false};
  }
  list.emplace_back(key, Value{});
  return {&list.back().second, true};
}

struct PropertyRead {
  Status status = 0;
  bool read = false;  // the text was read, not only its size asked for
  std::wstring value;
};

struct PackageRead {
  Status openStatus = 0;
  KeyedList<PropertyRead> properties;
};

KeyedList<PackageRead>& PackagesRead() {
  static KeyedList<PackageRead> packages;
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
  const Status status = Os().MsiOpenPackageExW(path.c_str(), kIgnoreMachineState, package.put());
  if (status == 0) {
    for (std::size_t i = 0; i < count; ++i) {
      *FindOrAdd(read.properties, names[i]).first = ReadProperty(package.get(), names[i]);
    }
  }
  return status;
}

}  // namespace

Status PackageHandle::Open(const std::wstring& packagePath) {
  path_ = packagePath;
  auto [entry, isNew] = FindOrAdd(PackagesRead(), packagePath);
  if (isNew) {
    entry->openStatus = OpenAndRead(packagePath, *entry, kPropertiesUsed, std::size(kPropertiesUsed));
  }
  return entry->openStatus;
}

Status ReadPackageProperty(const PackageHandle& package, const wchar_t* name, std::wstring& value) {
  PackageRead& read = *FindOrAdd(PackagesRead(), package.path()).first;
  const PropertyRead* property = Find(read.properties, name);
  if (property == nullptr) {
    // A property no step reads in a run: the file is opened again for it.
    const Status status = OpenAndRead(package.path(), read, &name, 1);
    if (status != 0) {
      return status;
    }
    property = Find(read.properties, name);
  }
  // Only a text that was really read replaces the caller's value.
  if (property->read) {
    value = property->value;
  }
  return property->status;
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
