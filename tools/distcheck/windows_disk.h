// A distribution folder as Windows itself lists it (FindFirstFileW, with the 8.3 names this disk keeps),
// its packages read with the system's msi.dll, its signatures checked by WinVerifyTrust.
#pragma once

#include "disk.h"
#include "platform/platform.h"

namespace distcheck {

class WindowsDisk final : public Disk {
 public:
  // folder: a full path without a trailing backslash; msi.dll is loaded through os from the system folder.
  WindowsDisk(std::wstring folder, const setup::platform::Platform& os);

  Listing List(const std::wstring& folder) override;
  bool ReadDatabase(const std::wstring& file, Entry& entry) override;
  std::wstring Probe(const std::wstring& file) override;
  std::string Sha256(const std::wstring& file, std::wstring& error) override;
  std::string ReadBytes(const std::wstring& file, std::wstring& error) override;
  std::wstring DecodeName(const std::string& utf8) override;
  Signature ReadSignature(const std::wstring& file) override;
  Signature ReadDetachedSignature(const std::wstring& signature, const std::wstring& content) override;

 private:
  std::wstring FullPath(const std::wstring& path) const;

  std::wstring folder_;
  void* msi_;  // HMODULE of msi.dll, null when it could not be loaded
  void* wintrust_;
  void* crypt32_;
};

}  // namespace distcheck
