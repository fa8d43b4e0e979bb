// The naming rule of every installer log: %TMP%\<prefix>_<local time stamp>.log.
#pragma once

#include <cstdint>
#include <string>

namespace setup {

// "%Y-%m-%d-%H-%M-%S" in local time; also written as a line to standard output.
std::wstring MakeTimeStamp();

// 0 and logPath set; otherwise the error of the TMP query (message 144 shown unless silent) and
// logPath unchanged.
std::uint32_t MakeLogPath(bool silent, const std::wstring& prefix, std::wstring& logPath);

}  // namespace setup
