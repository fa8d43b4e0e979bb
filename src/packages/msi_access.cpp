#include "packages/msi_access.h"

#include <cwchar>

namespace setup {
namespace {

using platform::Os;
using platform::Status;

constexpr std::uint32_t kIgnoreMachineState = 1;  // MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE
constexpr Status kErrorMoreData = 234;
constexpr std::size_t kProductCodeBuffer = 39;  // a braced GUID and its terminator

// The platform may leave the text shorter than the room it was given.
void TrimAtTerminator(std::wstring& text) { text.resize(std::wcslen(text.c_str())); }

}  // namespace

Status PackageHandle::Open(const std::wstring& packagePath) {
  return Os().MsiOpenPackageExW(packagePath.c_str(), kIgnoreMachineState, handle_.put());
}

Status ReadPackageProperty(const PackageHandle& package, const wchar_t* name, std::wstring& value) {
  // With a size of 0 nothing is written, so the size query can point at a constant.
  static const wchar_t kNoRoom[] = L"";
  std::uint32_t size = 0;
  const Status query = Os().MsiGetPropertyW(package.get(), name, const_cast<wchar_t*>(kNoRoom), &size);
  if (query != kErrorMoreData) {
    return query;
  }
  ++size;
  // A failed second read must not leave a half-overwritten value behind.
  std::wstring buffer(size, L'\0');
  const Status read = Os().MsiGetPropertyW(package.get(), name, buffer.data(), &size);
  if (read == 0) {
    TrimAtTerminator(buffer);
    value = std::move(buffer);
  }
  return read;
}

Status FindRelatedProduct(const std::wstring& upgradeCode, std::wstring& productCode) {
  // Whatever the string held before stays in front of the padding, so a failed lookup keeps it.
  productCode.resize(kProductCodeBuffer, L'\0');
  const Status status = Os().MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, 0, productCode.data());
  TrimAtTerminator(productCode);
  return status;
}

}  // namespace setup
