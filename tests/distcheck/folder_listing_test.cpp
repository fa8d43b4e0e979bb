#include <gtest/gtest.h>

#include "folder_platform.h"

namespace distcheck {
namespace {

struct Order {
  const wchar_t* first;
  const wchar_t* second;
};

TEST(FolderListingTest, NamesComeInNtfsOrder) {
  const Order cases[] = {
      {L"tarvex-x64-readme.txt", L"tarvex-x64.msi"},  // '-' before '.'
      {L"a.msi", L"B.msi"},                           // letter case ignored
      {L"b.msi", L"C.msi"},
      {L"a", L"_"},                // upper-cased, not lower-cased: 'A' < '_' < 'a'
      {L"\U0001F600", L"\uFF21"},  // UTF-16 units: a surrogate before U+FF21
  };
  for (const Order& order : cases) {
    EXPECT_TRUE(PrecedesOnNtfs(order.first, order.second)) << order.first << " " << order.second;
    EXPECT_FALSE(PrecedesOnNtfs(order.second, order.first)) << order.first << " " << order.second;
  }
}

TEST(FolderListingTest, WildcardsMatchAsFindFirstFileDoes) {
  const struct {
    const wchar_t* name;
    const wchar_t* mask;
    bool matches;
  } cases[] = {
      {L"TARVEX-X64.MSI", L"tarvex*x64*", true},
      {L"tarvex.msi", L"tarvex*.msi", true},
      {L"tarvex-x64.msi.txt", L"*.msi", false},
      {L"a1", L"a?", true},
      {L"a", L"a?", false},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(MatchesWildcard(row.name, row.mask), row.matches) << row.name << " " << row.mask;
  }
}

}  // namespace
}  // namespace distcheck
