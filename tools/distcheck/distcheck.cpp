// distcheck DIR: which entries each package lookup of Setup.exe can pick in a distribution folder on Linux,
// and the problems of the folder. Exit 0 sound, 1 problems, 2 usage.
#include <cstdio>
#include <filesystem>

#include "distribution_check.h"
#include "linux_disk.h"
#include "text.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: distcheck DIR\n");
    return distcheck::kExitUsage;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(argv[1], error)) {
    std::fprintf(stderr, "distcheck: no such folder: %s\n", argv[1]);
    return distcheck::kExitUsage;
  }
  distcheck::LinuxDisk disk(argv[1]);
  std::vector<std::wstring> report;
  const int verdict = distcheck::CheckDistribution(disk, disk.DecodeName(argv[1]), nullptr, report);
  for (const std::wstring& line : report) {
    std::puts(distcheck::Utf8(line).c_str());
  }
  return verdict;
}
