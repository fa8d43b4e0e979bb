#include "base/messages.h"

#include "test_support.h"

namespace setup::testing {
namespace {

using MessagesTest = PlatformTest;

TEST_F(MessagesTest, LoadsEveryEntryOfABlockAndOnlyPresentOnes) {
  os.strings = {{96, L"first of block 7"}, {101, L"entry five"}, {111, L"last of block 7"}, {153, L"block 10"}};
  for (auto [id, expected] : os.strings) {
    std::wstring text = L"previous";
    EXPECT_TRUE(LoadMessage(os, id, text)) << id;
    EXPECT_EQ(text, expected);
  }
  std::wstring text = L"kept";
  EXPECT_FALSE(LoadMessage(os, 100, text));  // an empty entry between two present ones
  EXPECT_FALSE(LoadMessage(os, 112, text));  // a block that does not exist
  EXPECT_EQ(text, L"kept");
}

TEST_F(MessagesTest, AbsentIdLeavesTheTextAsItWas) {
  constexpr std::uint16_t kAbsentId = 132;  // a gap in the table
  std::wstring text = L"kept";
  EXPECT_FALSE(LoadMessage(os, kAbsentId, text));
  EXPECT_EQ(text, L"kept");
}

TEST_F(MessagesTest, LoadedTextReplacesALongerOne) {
  std::wstring text(200, L'x');
  LoadMessage(os, IDS_ERROR_CAPTION, text);
  EXPECT_EQ(text, L"[129]");
}

TEST_F(MessagesTest, SilentBoxesAreNotShownAndCountAsYes) {
  EXPECT_EQ(ShowMessage(Conduct(true), box::kFlowQuestion, IDS_CONFIRM_PLUGIN), kIdYes);
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(MessagesTest, EachKindHasItsOwnerCaptionAndStyle) {
  ShowMessage(Conduct(false), box::kLookupError, IDS_PACKAGE_UNOPENABLE);
  ShowMessage(Conduct(false), box::kProviderError, IDS_PROVIDER_FAILED);
  ShowMessage(Conduct(false), box::kReinstallQuestion, IDS_ALREADY_INSTALLED);
  ShowBox(Conduct(true), box::kUsage, L"usage");
  ASSERT_EQ(os.boxes.size(), 4u);
  EXPECT_EQ(os.boxes[0].owner, nullptr);
  EXPECT_EQ(os.boxes[0].caption, L"[129]");
  EXPECT_EQ(os.boxes[0].style, 0x10u);
  EXPECT_EQ(os.boxes[1].owner, os.ownerWindowCreated);
  EXPECT_EQ(os.boxes[1].caption, L"");
  EXPECT_EQ(os.boxes[1].style, 0x50010u);
  EXPECT_EQ(os.boxes[2].caption, L"[128]");
  EXPECT_EQ(os.boxes[2].style, 0x50004u);
  EXPECT_EQ(os.boxes[3].caption, L"Справка");
  EXPECT_EQ(os.boxes[3].style, 0x50040u);
}

TEST_F(MessagesTest, OwnerWindowIsAHiddenDisabledStatic) {
  EXPECT_EQ(OwnerWindow(os, os), os.ownerWindowCreated);
  EXPECT_EQ(os.ownerWindowClass, L"STATIC");
  EXPECT_EQ(os.ownerWindowStyle, 0x08000000u);
}

TEST_F(MessagesTest, FailureTextCarriesTheCodeUnsignedAndTheLogOnlyWhenItExists) {
  EXPECT_EQ(FormatInstallFailure(os, IDS_PLUGIN_FAILED, 1603, L"C:\\Temp\\missing.log"), L"[106]: 1603.\n");
  EXPECT_EQ(FormatInstallFailure(os, IDS_PLUGIN_FAILED, 0xC0000005u, L""), L"[106]: 3221225477.\n");
  os.AddFile(L"C:\\Temp\\x.log");
  EXPECT_EQ(FormatInstallFailure(os, IDS_PROVIDER_FAILED, 3010, L"C:\\Temp\\x.log"),
            L"[105]: 3010.\nInstall log: C:\\Temp\\x.log");
}

}  // namespace
}  // namespace setup::testing
