#include "ui/config_dialog.h"

#include "platform/win32_constants.h"
#include "test_support.h"

namespace setup::testing {
namespace {

constexpr std::uint32_t kWmInitDialog = 0x0110;
constexpr std::uint32_t kWmCommand = 0x0111;

class ConfigDialogTest : public PlatformTest {
 protected:
  ConfigDialogTest() {
    // The template's starting state: the welcome panel.
    for (int id : {1006, 1007, 1008, 1009, 1010, 1012, 1013}) {
      os.controls[id].visible = false;
    }
    os.controls[1015].text = L"Опции";
  }
  std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam = 0) {
    // The flow shows the dialog with the run's options as its parameter.
    return ConfigDialogProc(os, dialog, message, wParam,
                            message == kWmInitDialog ? reinterpret_cast<std::intptr_t>(&parameter) : 0);
  }
  std::intptr_t Press(int id, std::uint16_t notification = 0) {
    return Send(kWmCommand, (static_cast<std::uintptr_t>(notification) << 16) | static_cast<std::uint16_t>(id));
  }
  // Clicking a radio button of a group, as the dialog manager does for auto radio buttons.
  void Choose(int id, std::initializer_list<int> group) {
    for (int other : group) {
      os.controls[other].checked = other == id ? 1 : 0;
    }
  }
  bool OptionsPanelShowing() {
    for (int id : {1006, 1007, 1008, 1009, 1010, 1012, 1013}) {
      if (!os.controls[id].visible) return false;
    }
    return !os.controls[1011].visible && !os.controls[1014].visible;
  }
  bool WelcomePanelShowing() {
    for (int id : {1006, 1007, 1008, 1009, 1010, 1012, 1013}) {
      if (os.controls[id].visible) return false;
    }
    return os.controls[1011].visible && os.controls[1014].visible;
  }

  platform::WindowHandle dialog = reinterpret_cast<platform::WindowHandle>(0xD1A);
  BootstrapOptions options;
  ConfigDialogParameter parameter{&options, &platform};
};

TEST_F(ConfigDialogTest, OpensWithTheBigIconAndLanguageDefaultFromTheSystem) {
  EXPECT_EQ(Send(kWmInitDialog), 1);
  ASSERT_EQ(os.sentMessages.size(), 1u);
  EXPECT_EQ(os.sentMessages[0].first, 0x0080u);  // WM_SETICON
  EXPECT_NE(os.sentMessages[0].second, 0);
  EXPECT_EQ(os.controls[1007].checked, 1u);
  EXPECT_EQ(os.controls[1006].checked, 0u);
  EXPECT_EQ(os.controls[1008].checked, 1u);
}

TEST_F(ConfigDialogTest, OnlyRussianAsUsedInRussiaDefaultsToRussian) {
  os.uiLanguage = 0x0419;
  Send(kWmInitDialog);
  EXPECT_EQ(os.controls[1006].checked, 1u);
  os.controls.clear();
  os.uiLanguage = 0x0819;  // Russian (Moldova)
  Send(kWmInitDialog);
  EXPECT_EQ(os.controls[1006].checked, 0u);
  EXPECT_EQ(os.controls[1007].checked, 1u);
}

TEST_F(ConfigDialogTest, NextWithoutOpeningOptionsRecordsTheDefaults) {
  os.uiLanguage = 0x0419;
  Send(kWmInitDialog);
  EXPECT_EQ(Press(140), 1);
  EXPECT_EQ(options.kcMask, L"kc1*");
  EXPECT_EQ(options.langMask, L"rus*");
  EXPECT_TRUE(os.dialogEnded);
  EXPECT_EQ(os.dialogResult, kIdOk);
}

TEST_F(ConfigDialogTest, ChoicesAreAppendedBehindCommandLineValues) {
  options.kcMask = L"*KC2*";
  options.langMask = L"*eng*";
  Send(kWmInitDialog);
  Press(1015);
  Choose(1010, {1008, 1009, 1010});
  Choose(1006, {1006, 1007});
  Press(140);
  EXPECT_EQ(options.kcMask, L"*KC2*kc3*");
  EXPECT_EQ(options.langMask, L"*eng*rus*");
}

TEST_F(ConfigDialogTest, ToggleSwitchesPanelsAndItsOwnText) {
  Send(kWmInitDialog);
  EXPECT_EQ(Press(1015), 0);
  EXPECT_TRUE(OptionsPanelShowing());
  EXPECT_EQ(os.controls[1015].text, L"Скрыть");
  Press(1015, 0 /* BN_CLICKED */);
  EXPECT_TRUE(WelcomePanelShowing());
  EXPECT_EQ(os.controls[1015].text, L"Опции");
  EXPECT_FALSE(os.dialogEnded);
}

TEST_F(ConfigDialogTest, CancelEndsTheDialogAsCancelledAndRecordsNothing) {
  Send(kWmInitDialog);
  EXPECT_EQ(Press(2), 0);
  EXPECT_TRUE(os.dialogEnded);
  EXPECT_EQ(os.dialogResult, kIdCancel);
  EXPECT_TRUE(options.kcMask.empty());
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(ConfigDialogTest, OtherMessagesAndControlsAreLeftToTheDialogManager) {
  EXPECT_EQ(Send(0x0002 /* WM_DESTROY */), 0);
  EXPECT_EQ(Press(1006), 0);
  EXPECT_FALSE(os.dialogEnded);
}

}  // namespace
}  // namespace setup::testing
