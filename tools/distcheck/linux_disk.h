// A distribution folder on a Linux file system, its packages read with libmsi.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "disk.h"

namespace distcheck {

class LinuxDisk final : public Disk {
 public:
  explicit LinuxDisk(std::filesystem::path folder);

  Listing List(const std::wstring& folder) override;
  bool ReadDatabase(const std::wstring& file, Entry& entry) override;
  std::wstring Probe(const std::wstring& file) override;
  std::string Sha256(const std::wstring& file, std::wstring& error) override;
  std::string ReadBytes(const std::wstring& file, std::wstring& error) override;
  Signature ReadSignature(const std::wstring& file) override;
  Signature ReadDetachedSignature(const std::wstring& signature, const std::wstring& content) override;
  std::wstring DecodeName(const std::string& utf8) override;

 private:
  std::filesystem::path LinuxPath(const std::wstring& path) const;

  std::filesystem::path folder_;
};

// The SHA-256 thumbprint of a certificate file (PEM or DER); nullopt when it holds none.
std::optional<std::string> CertificateThumbprint(const std::filesystem::path& file);

}  // namespace distcheck
