// The naming rule of every installer log: %TMP%\<prefix>_<local time stamp>.log.
#pragma once

#include <cstdint>
#include <string>

#include "base/run_conduct.h"

namespace setup {

// "%Y-%m-%d-%H-%M-%S" in local time; also written as a line to standard output.
std::wstring MakeTimeStamp();

// 0 and logPath set; otherwise the error of the TMP query (message 144 shown unless the run is silent)
// and logPath unchanged.
std::uint32_t MakeLogPath(const RunConduct& conduct, const std::wstring& prefix, std::wstring& logPath);

}  // namespace setup
