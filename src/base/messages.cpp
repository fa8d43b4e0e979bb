#include "base/messages.h"
#include "platform/win32_constants.h"

#include <iterator>
#include <optional>

namespace setup {

using namespace platform;

namespace {

// Made once; a failed creation leaves a null owner, and the boxes are shown without one.
bool ownerWindowMade = false;
platform::WindowHandle ownerWindow = nullptr;

std::wstring AnswerName(int answer) {
  switch (answer) {
    case kIdOk:
      return L"OK";
    case kIdCancel:
      return L"Cancel";
    case kIdYes:
      return L"Yes";
    case kIdNo:
      return L"No";
    default:
      return FormatUnsigned(static_cast<std::uint32_t>(answer));
  }
}

std::uint16_t BlockOf(std::uint16_t id) { return static_cast<std::uint16_t>(id / 16 + 1); }

// Walks a string-table block to the entry of the id: each entry is a count followed by that many
// UTF-16 code units. Absent when the walk leaves the block or the entry is empty.
std::optional<std::wstring> EntryOf(Modules& modules, platform::ModuleHandle module, platform::ResourceHandle resource,
                                    std::uint16_t id) {
  if (resource == nullptr) {
    return std::nullopt;
  }
  platform::GlobalHandle loaded = modules.LoadResource(module, resource);
  const void* locked = loaded != nullptr ? modules.LockResource(loaded) : nullptr;
  if (locked == nullptr) {
    return std::nullopt;
  }
  const auto* units = static_cast<const std::uint16_t*>(locked);
  const std::size_t count = modules.SizeofResource(module, resource) / sizeof(std::uint16_t);
  std::size_t position = 0;
  for (unsigned entry = 0; entry < id % 16u; ++entry) {
    if (position >= count) {
      return std::nullopt;
    }
    position += 1u + units[position];
  }
  if (position >= count || units[position] == 0 || position + 1u + units[position] > count) {
    return std::nullopt;
  }
  std::wstring text(units[position], L'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<wchar_t>(units[position + 1 + i]);
  }
  return text;
}

}  // namespace

// Not printf's "%u": it would bring the runtime's whole formatting into the program for one number.
std::wstring FormatUnsigned(std::uint32_t value) {
  wchar_t digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  return std::wstring(std::make_reverse_iterator(digits + count), std::make_reverse_iterator(digits));
}

bool LoadMessage(Modules& modules, std::uint16_t id, std::wstring& text) {
  // The program carries its texts in its own image; there is no other resource module.
  platform::ModuleHandle module = modules.GetModuleHandleW(nullptr);
  std::optional<std::wstring> entry =
      EntryOf(modules, module, modules.FindResourceW(module, BlockOf(id), kRtString), id);
  if (!entry) {
    return false;
  }
  text = std::move(*entry);
  return true;
}

// The window's first creation connects the program to the display (under Wine it loads the graphics
// driver), so it is put off until a box needs an owner.
platform::WindowHandle OwnerWindow(UserWindows& windows, Modules& modules) {
  if (!ownerWindowMade) {
    ownerWindowMade = true;
    ownerWindow = windows.CreateWindowExW(0, L"STATIC", nullptr, kWsDisabled, kCwUseDefault, 0, kCwUseDefault, 0,
                                          nullptr, modules.GetModuleHandleW(nullptr));
  }
  return ownerWindow;
}

// A fresh process's state, for the unit tests (tests/unit/process_state.h).
void ForgetOwnerWindow() {
  ownerWindowMade = false;
  ownerWindow = nullptr;
}

int ShowBox(const RunConduct& conduct, const BoxKind& kind, const std::wstring& text) {
  if ((conduct.silent && !kind.shownWhenSilent) || conduct.windowless) {
    conduct.Log({L"message not shown (silent): ", text});
    return kIdYes;
  }
  std::wstring caption = kind.fixedCaption;
  if (kind.captionId != 0) {
    LoadMessage(*conduct.modules, kind.captionId, caption);
  }
  UserWindows& windows = *conduct.windows;
  const int answer = windows.MessageBoxW(kind.owned ? OwnerWindow(windows, *conduct.modules) : nullptr, text.c_str(),
                                         caption.c_str(), kind.style);
  conduct.Log({L"message: ", text, L" -> ", AnswerName(answer)});
  return answer;
}

int ShowMessage(const RunConduct& conduct, const BoxKind& kind, std::uint16_t textId) {
  std::wstring text;
  LoadMessage(*conduct.modules, textId, text);
  return ShowBox(conduct, kind, text);
}

std::wstring FormatInstallFailure(const Platform& os, std::uint16_t textId, std::uint32_t code,
                                  const std::wstring& logPath) {
  std::wstring text;
  LoadMessage(os.modules, textId, text);
  text += L": " + FormatUnsigned(code) + L".\n";
  if (!logPath.empty() && os.files.WStat(logPath) == 0) {
    text += L"Install log: " + logPath;
  }
  return text;
}

}  // namespace setup
