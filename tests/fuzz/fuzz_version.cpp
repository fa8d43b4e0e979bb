// The version reader and comparison on arbitrary texts: no crash or undefined behaviour, and the
// comparison is an order.
#include <cstdlib>

#include "fuzz_input.h"
#include "packages/package_version.h"

using namespace setup;
using setup::fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::wstring> texts = fuzzing::SplitTexts(data, size);
  const VersionNumber a = ParseVersion(fuzzing::TextAt(texts, 0));
  const VersionNumber b = ParseVersion(fuzzing::TextAt(texts, 1));
  const VersionNumber c = ParseVersion(fuzzing::TextAt(texts, 2));
  Check(CompareVersions(a, a) == 0);
  Check(CompareVersions(a, b) == -CompareVersions(b, a));
  if (CompareVersions(a, b) <= 0 && CompareVersions(b, c) <= 0) {
    Check(CompareVersions(a, c) <= 0);
  }
  // The same text always reads the same.
  const VersionNumber again = ParseVersion(fuzzing::TextAt(texts, 0));
  for (int i = 0; i < 4; ++i) {
    Check(again.parts[i] == a.parts[i]);
  }
  return 0;
}
