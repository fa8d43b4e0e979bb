#include "base/run_log.h"

#include <cwchar>
#include <string>

#include "base/console.h"
#include "base/fresh_file.h"
#include "base/messages.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

constexpr wchar_t kByteOrderMark = 0xFEFF;

std::wstring LineStamp(SystemFacts& system) {
  const std::tm local = system.LocalTime();
  wchar_t buffer[32] = {};
  return std::wstring(buffer, std::wcsftime(buffer, 32, L"%Y-%m-%d %H:%M:%S", &local));
}

// Windows' wide strings are UTF-16LE already and go out as they are; where wchar_t is wider (the unit
// tests' build), each character is cut to its 16-bit code unit, low byte first.
std::string Utf16Bytes(const std::wstring& text) {
  if constexpr (sizeof(wchar_t) == 2) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  } else {
    std::string bytes;
    for (wchar_t c : text) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return bytes;
  }
}

// Line feeds and carriage returns as C writes them, the other C0 characters and DEL as \xNN.
void AppendEscaped(std::wstring& line, wchar_t c) {
  if (c == L'\n') {
    line += L"\\n";
  } else if (c == L'\r') {
    line += L"\\r";
  } else if (c < 0x20 || c == 0x7F) {
    constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    line += L"\\x";
    line += kHex[(c >> 4) & 0xF];
    line += kHex[c & 0xF];
  } else {
    line += c;
  }
}

}  // namespace

void RunLog::Open(const std::wstring& path) {
  if (path.empty()) {
    PrintLine(os_, L"Setup.exe: -log names no file; the run goes on without a log.");
    return;
  }
  path_ = path;
  // Readable while the run writes it, so that a run that hangs can be looked into; DELETE, so that a
  // file that is not the one asked for can be removed through its handle.
  FreshFile made = CreateFileAnew(os_, path, kGenericWrite | kDelete, kFileShareRead, true);
  if (!made.refusal.empty()) {
    Refuse(path, L"is not used: " + made.refusal);
    return;
  }
  if (!made.handle) {
    Refuse(path, L"cannot be written (error " + FormatUnsigned(made.error) + L")");
    return;
  }
  file_ = std::move(made.handle);
  WriteText(std::wstring(1, kByteOrderMark));
}

void RunLog::Refuse(const std::wstring& path, std::wstring_view why) {
  file_.reset();
  PrintLine(os_, L"Setup.exe: the log " + path + L" " + std::wstring(why) + L"; the run goes on without it.");
}

void RunLog::Write(std::initializer_list<std::wstring_view> pieces) {
  if (!file_) {
    return;
  }
  std::wstring line = LineStamp(os_.system) + L" ";
  for (std::wstring_view piece : pieces) {
    for (wchar_t c : piece) {
      AppendEscaped(line, c);
    }
  }
  WriteText(line + L"\r\n");
}

// A write that reports success with fewer bytes (a full disk may do that) leaves no error of its own
// behind, so the count is the cause given.
void RunLog::WriteText(const std::wstring& text) {
  const std::string bytes = Utf16Bytes(text);
  const auto size = static_cast<std::uint32_t>(bytes.size());
  std::uint32_t written = 0;
  if (!os_.files.WriteFile(file_.get(), bytes.data(), size, &written)) {
    Refuse(path_, L"cannot be written (error " + FormatUnsigned(os_.files.GetLastError()) + L")");
  } else if (written != size) {
    Refuse(path_,
           L"cannot be written (" + FormatUnsigned(written) + L" of " + FormatUnsigned(size) + L" bytes written)");
  }
}

}  // namespace setup
