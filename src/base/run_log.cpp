#include "base/run_log.h"

#include <cwchar>
#include <vector>

#include "base/console.h"
#include "base/messages.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

constexpr wchar_t kByteOrderMark = 0xFEFF;

std::wstring LineStamp() {
  const std::tm local = Os().LocalTime();
  wchar_t buffer[32] = {};
  return std::wstring(buffer, std::wcsftime(buffer, 32, L"%Y-%m-%d %H:%M:%S", &local));
}

// Windows' wide strings are UTF-16LE already and go out as they are; where wchar_t is wider (the unit
// tests' build), each character is cut to its 16-bit code unit, low byte first.
bool WriteUtf16(platform::KernelHandle file, const std::wstring& text) {
  std::uint32_t written = 0;
  if constexpr (sizeof(wchar_t) == 2) {
    const auto size = static_cast<std::uint32_t>(text.size() * 2);
    return Os().WriteFile(file, text.data(), size, &written) && written == size;
  } else {
    std::vector<unsigned char> bytes;
    for (wchar_t c : text) {
      bytes.push_back(static_cast<unsigned char>(c & 0xFF));
      bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    const auto size = static_cast<std::uint32_t>(bytes.size());
    return Os().WriteFile(file, bytes.data(), size, &written) && written == size;
  }
}

}  // namespace

void RunLog::Open(const std::wstring& path) {
  path_ = path;
  // Readable while the run writes it, so that a run that hangs can be looked into.
  file_.reset(Os().CreateFileW(path.c_str(), kGenericWrite, kFileShareRead, kCreateAlways));
  if (!file_) {
    Report(Os().GetLastError());
    return;
  }
  if (!WriteUtf16(file_.get(), std::wstring(1, kByteOrderMark))) {
    Report(Os().GetLastError());
  }
}

void RunLog::Write(std::initializer_list<std::wstring_view> pieces) {
  if (!file_) {
    return;
  }
  std::wstring line = LineStamp() + L" ";
  for (std::wstring_view piece : pieces) {
    for (wchar_t c : piece) {
      line += c == L'\n' ? std::wstring_view(L"\\n") : std::wstring_view(&c, 1);
    }
  }
  if (!WriteUtf16(file_.get(), line + L"\r\n")) {
    Report(Os().GetLastError());
  }
}

void RunLog::Report(std::uint32_t error) {
  file_.reset();
  PrintLine(L"Setup.exe: the log " + path_ + L" cannot be written (error " + FormatUnsigned(error) +
            L"); the run goes on without it.");
}

}  // namespace setup
