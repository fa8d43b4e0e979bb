// Turns fuzzer bytes into the wide texts the bootstrapper takes in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace setup::fuzzing {

// Reads the input as a sequence of texts: each code unit is two little-endian bytes, and a unit of
// 0 ends one text. Units are kept within the Basic Multilingual Plane, as Windows' UTF-16 would
// give them to the program one unit at a time.
inline std::vector<std::wstring> SplitTexts(const std::uint8_t* data, std::size_t size) {
  std::vector<std::wstring> texts(1);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) {
      texts.emplace_back();
    } else {
      texts.back() += unit;
    }
  }
  return texts;
}

// A broken invariant is a finding: abort so that libFuzzer keeps the input.
inline void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

inline std::wstring TextAt(const std::vector<std::wstring>& texts, std::size_t index) {
  return index < texts.size() ? texts[index] : std::wstring();
}

}  // namespace setup::fuzzing
