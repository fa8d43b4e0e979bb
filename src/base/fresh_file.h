// Files the program makes in folders where other users may create files too (C:\Windows\Temp, the TMP
// of SYSTEM): the file is created anew and put in place of whatever stands at the name, so that it
// belongs to the program, and a link planted at the name leads nowhere.
#pragma once

#include <cstdint>
#include <string>

#include "platform/handles.h"

namespace setup {

struct FreshFile {
  platform::UniqueFile handle;
  // Why there is no handle: the error of the last creation, or
  std::uint32_t error = 0;
  // what the file made turned out to be (it has been removed again).
  std::wstring refusal;
};

// The path made full and, for the folder that holds it, long (8.3 names spelt out), as Windows reports a
// handle's final path: how two spellings of one place are compared.
std::wstring FullLongPath(platform::Files& files, const std::wstring& path);

// Creates the file (CREATE_NEW, never through a reparse point) under a name of its own beside the path,
// a few times when another user takes that name first, and renames it to the path: over whatever
// stands there when replace is set, else only where nothing does (ERROR_ALREADY_EXISTS). The file made
// must be the one asked for: reached without a link or junction on the way (where Windows can say,
// Vista and later) and with no second name (a hard link). A file that fails is removed again.
FreshFile CreateFileAnew(const platform::Platform& os, const std::wstring& path, std::uint32_t access,
                         std::uint32_t shareMode, bool replace);

// Removes a file the program made and still holds: by its handle where the handle allows it, else by
// its name once closed.
void RemoveMadeFile(platform::Files& files, platform::UniqueFile& file, const std::wstring& path);

}  // namespace setup
