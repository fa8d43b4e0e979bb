// The message catalogue and the one set of message-box conventions every subsystem follows.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace setup {

// Ids of the string table (res/strings.rc).
enum MessageId : std::uint16_t {
  kMsgNotAdministrator = 101,
  kMsgConfirmCsp = 102,
  kMsgConfirmPlugin = 103,
  kMsgProductCaption = 104,
  kMsgProviderFailed = 105,
  kMsgPluginFailed = 106,
  kMsgRestartCsp = 107,
  kMsgRestartPlugin = 108,
  kMsgDoneCsp = 109,
  kMsgDonePlugin = 110,
  kMsgRestartFailed = 111,
  kMsgNeedWindows2000Sp4 = 117,
  kMsgNeedWindowsXpSp2 = 118,
  kMsgNeedWindows2003Sp1 = 119,
  kMsgConfirmUcsp = 122,
  kMsgRestartUcsp = 123,
  kMsgDoneUcsp = 124,
  kMsgConfirmBoth = 125,
  kMsgRestartBoth = 126,
  kMsgDoneBoth = 127,
  kMsgUpdateCaption = 128,
  kMsgErrorCaption = 129,
  kMsgInstalledVersionUnreadable = 131,
  kMsgPackageUnopenable = 133,
  kMsgPackageVersionUnreadable = 134,
  kMsgPackageNotFound = 135,
  kMsgPluginPackageNotFound = 139,
  kMsgHidePanel = 142,
  kMsgOptionsPanel = 143,
  kMsgEnvironmentUnreadable = 144,
  kMsgAlreadyInstalled = 147,
  kMsgNewerInstalled = 150,
  kMsgProductCodeUnreadable = 151,
  kMsgSystemDirectoryUnreadable = 152,
  kMsgUpdateQuestion = 153,
};

// MessageBoxW answers.
inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Message-box styles (MB_* flag combinations).
namespace box_style {
inline constexpr std::uint32_t kError = 0x50010;            // MB_OK|MB_ICONHAND|MB_SETFOREGROUND|MB_TOPMOST
inline constexpr std::uint32_t kQuestion = 0x50004;         // MB_YESNO|MB_SETFOREGROUND|MB_TOPMOST
inline constexpr std::uint32_t kRestartQuestion = 0x50034;  // ... |MB_ICONEXCLAMATION
inline constexpr std::uint32_t kInformation = 0x50000;      // MB_OK|MB_SETFOREGROUND|MB_TOPMOST
inline constexpr std::uint32_t kUsage = 0x50040;            // MB_OK|MB_ICONASTERISK|MB_SETFOREGROUND|MB_TOPMOST
inline constexpr std::uint32_t kPlainError = 0x10;          // MB_OK|MB_ICONHAND
inline constexpr std::uint32_t kPlainQuestion = 0x4;        // MB_YESNO
}  // namespace box_style

// Who owns a box, what its caption is and how it looks: one of the kinds below.
struct BoxKind {
  bool owned;               // owned by the hidden owner window, or by nobody
  std::uint16_t captionId;  // 0: no text from the table
  const wchar_t* fixedCaption;
  std::uint32_t style;
};

namespace box {
// Start-up flow and Windows version check.
inline constexpr BoxKind kFlowError{true, kMsgProductCaption, L"", box_style::kError};
inline constexpr BoxKind kFlowQuestion{true, kMsgProductCaption, L"", box_style::kQuestion};
inline constexpr BoxKind kFlowRestartQuestion{true, kMsgProductCaption, L"", box_style::kRestartQuestion};
inline constexpr BoxKind kFlowInformation{true, kMsgProductCaption, L"", box_style::kInformation};
// The usage text.
inline constexpr BoxKind kUsage{true, 0, L"Справка", box_style::kUsage};
// Package lookups and the version decision: no owner, plain styles.
inline constexpr BoxKind kLookupError{false, kMsgErrorCaption, L"", box_style::kPlainError};
inline constexpr BoxKind kUpdateQuestion{false, kMsgUpdateCaption, L"", box_style::kPlainQuestion};
// Plug-in installation, installer invocation and log naming.
inline constexpr BoxKind kInstallError{true, kMsgErrorCaption, L"", box_style::kError};
inline constexpr BoxKind kReinstallQuestion{true, kMsgUpdateCaption, L"", box_style::kQuestion};
inline constexpr BoxKind kNewerInstalled{true, kMsgUpdateCaption, L"", box_style::kError};
// Provider installation: an empty caption.
inline constexpr BoxKind kProviderError{true, 0, L"", box_style::kError};
}  // namespace box

// Returns the first resource module whose string table holds a non-empty entry for the id, or null.
platform::ModuleHandle FindStringModule(std::uint16_t id);
// Replaces text with the entry's text and returns true; returns false and leaves text as it was when
// the id is absent.
bool LoadText(platform::ModuleHandle module, std::uint16_t id, std::wstring& text);
// The usual pattern: find the module and, when one holds the id, load the text into `text`.
void LoadMessage(std::uint16_t id, std::wstring& text);

// The hidden, disabled STATIC window that owns every owned box for the whole run.
void CreateOwnerWindow(platform::InstanceHandle instance);
platform::WindowHandle OwnerWindow();

// Shows a box of the given kind unless silent; in silent mode nothing is shown and the answer is
// IDYES. Returns the answer.
int ShowBox(const BoxKind& kind, const std::wstring& text, bool silent);
// The same with the text loaded by id (an absent id shows an empty text).
int ShowMessage(const BoxKind& kind, std::uint16_t textId, bool silent);

}  // namespace setup

namespace setup {

// The text of an installation failure: the message, ": <code>" in unsigned decimal, ".\n", and
// "Install log: <path>" only when a log path was arranged and something exists under it.
std::wstring FormatInstallFailure(std::uint16_t textId, std::uint32_t code, const std::wstring& logPath);

}  // namespace setup
