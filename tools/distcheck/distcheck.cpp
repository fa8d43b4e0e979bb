// distcheck [--signer THUMBPRINT|CERTIFICATE]... DIR: which entries each package lookup of Setup.exe can
// pick in a distribution folder on Linux, who signed what, and the problems of the folder. Exit 0 sound,
// 1 problems, 2 usage.
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "distribution_check.h"
#include "linux_disk.h"
#include "signature_rules.h"
#include "text.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: distcheck [--signer THUMBPRINT|CERTIFICATE]... DIR\n");
  return distcheck::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> signers;
  int next = 1;
  for (; next + 1 < argc && std::strcmp(argv[next], "--signer") == 0; next += 2) {
    std::error_code error;
    const std::optional<std::string> signer = std::filesystem::is_regular_file(argv[next + 1], error)
                                                  ? distcheck::CertificateThumbprint(argv[next + 1])
                                                  : distcheck::ParseThumbprint(argv[next + 1]);
    if (!signer) {
      std::fprintf(stderr, "distcheck: --signer %s is neither a certificate file nor a SHA-1 or SHA-256 thumbprint\n",
                   argv[next + 1]);
      return distcheck::kExitUsage;
    }
    signers.push_back(*signer);
  }
  if (next + 1 != argc) {
    return Usage();
  }
  std::error_code error;
  if (!std::filesystem::is_directory(argv[next], error)) {
    std::fprintf(stderr, "distcheck: no such folder: %s\n", argv[next]);
    return distcheck::kExitUsage;
  }
  distcheck::LinuxDisk disk(argv[next]);
  std::vector<std::wstring> report;
  const int verdict = distcheck::CheckDistribution(disk, disk.DecodeName(argv[next]), nullptr, signers, report);
  for (const std::wstring& line : report) {
    std::puts(distcheck::Utf8(line).c_str());
  }
  return verdict;
}
