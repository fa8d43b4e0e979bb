// The run's own log (-log <file>): one line for each step, what it found and what it decided, so that a
// deployment can be read afterwards.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/handles.h"

namespace setup {

// Lines are "YYYY-MM-DD hh:mm:ss <text>" in local time, ended by CR LF, in UTF-16 with a byte-order
// mark: Notepad reads it, and so does cmd's type, which writes such a file to the console as Unicode in
// whatever code page the console has, where UTF-8 comes out right only after chcp 65001 (and not at
// all on Windows 2000 and XP). It is also the program's own text form, so nothing is converted.
class RunLog {
 public:
  explicit RunLog(const platform::Platform& os) : os_(os), file_(os.files) {}

  // Creates the file anew (fresh_file.h): an agent's log often lies in a folder every user may write
  // to. A file that cannot be made, or not as asked, is reported on the console; the run goes on
  // without a log.
  void Open(const std::wstring& path);
  // Says on the console why the log is not made there; the run goes on without it.
  void Refuse(const std::wstring& path, std::wstring_view why);
  bool IsOpen() const { return static_cast<bool>(file_); }
  // Writes one line of these pieces (joined out of line, so that a call costs the program little), its
  // control characters escaped: a path or a package property cannot start a line of its own. A failed
  // write is reported on the console once, and the log is closed.
  void Write(std::initializer_list<std::wstring_view> pieces);

 private:
  void WriteText(const std::wstring& text);

  platform::Platform os_;
  std::wstring path_;
  platform::UniqueFile file_;
};

}  // namespace setup
