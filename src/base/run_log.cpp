#include "base/run_log.h"

#include <cwchar>

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

// UTF-16LE, whatever the byte order of the machine the logic runs on.
std::string Utf16Bytes(const std::wstring& text) {
  std::string bytes;
  for (wchar_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>((c >> 8) & 0xFF);
  }
  return bytes;
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
  const std::string mark = Utf16Bytes(std::wstring(1, kByteOrderMark));
  std::uint32_t written = 0;
  if (!Os().WriteFile(file_.get(), mark.data(), static_cast<std::uint32_t>(mark.size()), &written)) {
    Report(Os().GetLastError());
  }
}

void RunLog::Write(const std::wstring& text) {
  if (!file_) {
    return;
  }
  std::wstring line = LineStamp() + L" ";
  for (wchar_t c : text) {
    line += c == L'\n' ? std::wstring(L"\\n") : std::wstring(1, c);
  }
  const std::string bytes = Utf16Bytes(line + L"\r\n");
  std::uint32_t written = 0;
  if (!Os().WriteFile(file_.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written) ||
      written != bytes.size()) {
    Report(Os().GetLastError());
  }
}

void RunLog::Report(std::uint32_t error) {
  file_.reset();
  PrintLine(L"Setup.exe: the log " + path_ + L" cannot be written (error " + FormatUnsigned(error) +
            L"); the run goes on without it.");
}

}  // namespace setup
