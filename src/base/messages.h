// The message catalogue and the one set of message-box conventions every subsystem follows.
#pragma once

#include <cstdint>
#include <string>

#include "base/resource_ids.h"
#include "base/run_conduct.h"
#include "platform/platform.h"
#include "platform/win32_constants.h"

namespace setup {

// Message-box styles (MB_* flag combinations).
namespace box_style {
using namespace platform;
// Every box of the program's own comes to the front and stays on top.
inline constexpr std::uint32_t kInFront = kMbSetForeground | kMbTopmost;
inline constexpr std::uint32_t kError = kMbOk | kMbIconHand | kInFront;                      // 0x50010
inline constexpr std::uint32_t kQuestion = kMbYesNo | kInFront;                              // 0x50004
inline constexpr std::uint32_t kRestartQuestion = kMbYesNo | kMbIconExclamation | kInFront;  // 0x50034
inline constexpr std::uint32_t kInformation = kMbOk | kInFront;                              // 0x50000
inline constexpr std::uint32_t kUsage = kMbOk | kMbIconAsterisk | kInFront;                  // 0x50040
// The package lookups' boxes: no owner, plain styles.
inline constexpr std::uint32_t kPlainError = kMbOk | kMbIconHand;  // 0x10
inline constexpr std::uint32_t kPlainQuestion = kMbYesNo;          // 0x4
}  // namespace box_style

// Who owns a box, what its caption is and how it looks: one of the kinds below.
struct BoxKind {
  bool owned;               // owned by the hidden owner window, or by nobody
  std::uint16_t captionId;  // 0: no text from the table
  const wchar_t* fixedCaption;
  std::uint32_t style;
  bool shownWhenSilent = false;  // the usage text: a silent run asks for it too
};

namespace box {
// Start-up flow and Windows version check.
inline constexpr BoxKind kFlowError{true, IDS_PRODUCT_CAPTION, L"", box_style::kError};
inline constexpr BoxKind kFlowQuestion{true, IDS_PRODUCT_CAPTION, L"", box_style::kQuestion};
inline constexpr BoxKind kFlowRestartQuestion{true, IDS_PRODUCT_CAPTION, L"", box_style::kRestartQuestion};
inline constexpr BoxKind kFlowInformation{true, IDS_PRODUCT_CAPTION, L"", box_style::kInformation};
// The usage text.
inline constexpr BoxKind kUsage{true, 0, L"Справка", box_style::kUsage, true};
// Package lookups and the version decision: no owner, plain styles.
inline constexpr BoxKind kLookupError{false, IDS_ERROR_CAPTION, L"", box_style::kPlainError};
inline constexpr BoxKind kUpdateQuestion{false, IDS_UPDATE_CAPTION, L"", box_style::kPlainQuestion};
// Plug-in installation, installer invocation and log naming.
inline constexpr BoxKind kInstallError{true, IDS_ERROR_CAPTION, L"", box_style::kError};
inline constexpr BoxKind kReinstallQuestion{true, IDS_UPDATE_CAPTION, L"", box_style::kQuestion};
inline constexpr BoxKind kNewerInstalled{true, IDS_UPDATE_CAPTION, L"", box_style::kError};
// Provider installation: an empty caption.
inline constexpr BoxKind kProviderError{true, 0, L"", box_style::kError};
}  // namespace box

// The number in unsigned decimal, so that a code at or above 0x80000000 never reads as negative.
std::wstring FormatUnsigned(std::uint32_t value);

// Replaces text with the string table's entry and returns true; returns false and leaves text as it
// was when the id is absent or its entry is empty.
bool LoadMessage(platform::Modules& modules, std::uint16_t id, std::wstring& text);

// The hidden, disabled STATIC window that owns every owned box for the rest of the run, made when the
// first box needs it: a run that shows none makes no window at all.
platform::WindowHandle OwnerWindow(platform::UserWindows& windows, platform::Modules& modules);

// Shows a box of the given kind unless the run is silent; then nothing is shown and the answer is
// IDYES. Returns the answer. Shown through the conduct's windows, with its texts.
int ShowBox(const RunConduct& conduct, const BoxKind& kind, const std::wstring& text);
// The same with the text loaded by id (an absent id shows an empty text).
int ShowMessage(const RunConduct& conduct, const BoxKind& kind, std::uint16_t textId);

}  // namespace setup

namespace setup {

// The text of an installation failure: the message, ": <code>" in unsigned decimal, ".\n", and
// "Install log: <path>" only when a log path was arranged and something exists under it.
std::wstring FormatInstallFailure(const platform::Platform& os, std::uint16_t textId, std::uint32_t code,
                                  const std::wstring& logPath);

}  // namespace setup
