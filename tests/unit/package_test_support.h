// Distribution folders for the package tests: package files the fake can both list and open.
#pragma once

#include <map>
#include <string>

#include "packages/msi_access.h"
#include "test_support.h"

namespace setup::testing {

inline constexpr wchar_t kUpgradeCode[] = L"{5D3C9A41-7E0B-4F62-9C18-2B7A6E4D0F93}";
inline constexpr wchar_t kInstalledCode[] = L"{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}";

class PackageTest : public PlatformTest {
 protected:
  // A package file in the folder, opening and reading without failure unless the test says otherwise.
  FakePackage& AddPackage(const std::wstring& path, std::map<std::wstring, std::wstring> properties = {}) {
    os.AddFile(path);
    packages = PackageReads(platform);  // a new or changed file: the run reads it anew
    FakePackage& package = os.packages[path] = {};
    package.properties = std::move(properties);
    return package;
  }
  void Install(const std::wstring& productCode, const std::wstring& version) {
    os.products[productCode] = FakeProduct{kUpgradeCode, version};
  }
  PackageReads packages{platform};  // what the run under test has read

  // Checks that exactly one error box of the lookups was shown, with that text, and forgets it.
  void ExpectLookupError(const std::wstring& text) {
    ASSERT_EQ(os.boxes.size(), 1u) << text;
    EXPECT_EQ(os.boxes[0].text, text);
    EXPECT_EQ(os.boxes[0].owner, nullptr);
    EXPECT_EQ(os.boxes[0].caption, L"[129]");
    EXPECT_EQ(os.boxes[0].style, 0x10u);
    os.boxes.clear();
  }
};

}  // namespace setup::testing
