#include "base/console.h"

#include "platform/handles.h"
#include "platform/win32_constants.h"

namespace setup {

using namespace platform;

namespace {

// Lines as a console and a text file on Windows end them: a carriage return and a line feed.
std::wstring TextLines(const std::wstring& text) {
  std::wstring lines;
  for (wchar_t c : text) {
    if (c == L'\n') {
      lines += L'\r';
    }
    lines += c;
  }
  return lines + L"\r\n";
}

// The screen buffer of a console the process joined is reached through CONOUT$, which the console
// opens only for both kinds of sharing ("CreateFile", Consoles): any other open fails with a sharing
// violation. Read access too, as that page prefers.
void WriteToConsole(const Platform& os, const std::wstring& text) {
  platform::UniqueFile console(os.files, os.files.CreateFileW(L"CONOUT$", (kGenericRead | kGenericWrite),
                                                              (kFileShareRead | kFileShareWrite), kOpenExisting, 0));
  if (console) {
    os.processes.WriteConsoleW(console.get(), text);
  }
}

}  // namespace

// A GUI program started from a console window has no standard output of its own: it joins its
// parent's console for the one line and leaves it again at once. Ctrl+C, Ctrl+Break and the closing of
// the window reach every process attached to a console; staying attached would let them end the run
// in the middle of an installation while msiexec goes on alone.
void PrintLine(const Platform& os, const std::wstring& text) {
  if (os.processes.HasStandardOutput()) {
    os.processes.WriteStandardOutput(TextLines(text));
  } else if (os.processes.AttachConsole(kAttachParentProcess)) {
    WriteToConsole(os, TextLines(text));
    os.processes.FreeConsole();
  }
}

}  // namespace setup
