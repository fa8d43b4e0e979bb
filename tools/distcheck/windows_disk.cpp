#include "windows_disk.h"

#include <windows.h>
// windows.h first: the headers below depend on it.
#include <msi.h>
#include <msiquery.h>
#include <wincrypt.h>

#include <memory>

#include "platform/system_library.h"
#include "system_functions.h"

namespace distcheck {
namespace {

constexpr DWORD kChunk = 1 << 16;
constexpr UINT kTemplateProperty = 7;  // PID_TEMPLATE
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct FindCloser {
  void operator()(HANDLE find) const { ::FindClose(find); }
};
using FindPtr = std::unique_ptr<void, FindCloser>;

struct FileCloser {
  void operator()(HANDLE file) const { ::CloseHandle(file); }
};
using FilePtr = std::unique_ptr<void, FileCloser>;

std::wstring ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length != 0 ? std::wstring(text, length) : L"error " + std::to_wstring(error);
  ::LocalFree(text);
  message.erase(message.find_last_not_of(L" \r\n.") + 1);
  return message;
}

FilePtr OpenForReading(const std::wstring& path, std::wstring& error) {
  HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = ErrorText(::GetLastError());
    return nullptr;
  }
  return FilePtr(file);
}

// Hands the file to consume chunk by chunk; false with error set when it cannot be read to its end.
template <typename Consume>
bool ReadAll(const std::wstring& path, std::wstring& error, Consume consume) {
  FilePtr file = OpenForReading(path, error);
  if (!file) {
    return false;
  }
  std::string chunk(kChunk, '\0');
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk.data(), kChunk, &got, nullptr)) {
      error = ErrorText(::GetLastError());
      return false;
    }
    if (got == 0) {
      return true;
    }
    consume(chunk.data(), got);
  }
}

// The msi.dll functions the check calls, found in the module loaded from the system folder.
class MsiHandle {
 public:
  MsiHandle(const SystemFunctions& msi) : close_(msi.Get<decltype(::MsiCloseHandle)>("MsiCloseHandle")) {}
  ~MsiHandle() {
    if (handle_ != 0 && close_ != nullptr) {
      close_(handle_);
    }
  }
  MsiHandle(const MsiHandle&) = delete;
  MsiHandle& operator=(const MsiHandle&) = delete;
  MSIHANDLE get() const { return handle_; }
  MSIHANDLE* put() { return &handle_; }

 private:
  decltype(::MsiCloseHandle)* close_;
  MSIHANDLE handle_ = 0;
};

// The size query first, then the text: the shape of every msi.dll string getter.
template <typename Getter>
std::wstring ReadMsiText(Getter get) {
  wchar_t none[1] = {};
  DWORD size = 0;
  if (get(none, &size) != ERROR_MORE_DATA) {
    return {};
  }
  std::wstring text(++size, L'\0');
  if (get(text.data(), &size) != ERROR_SUCCESS) {
    return {};
  }
  text.resize(size);
  return text;
}

}  // namespace

WindowsDisk::WindowsDisk(std::wstring folder, const setup::platform::Platform& os)
    : folder_(std::move(folder)),
      msi_(setup::platform::LoadSystemLibrary(os.modules, os.system, L"msi.dll")),
      wintrust_(setup::platform::LoadSystemLibrary(os.modules, os.system, L"wintrust.dll")),
      crypt32_(setup::platform::LoadSystemLibrary(os.modules, os.system, L"crypt32.dll")) {}

std::wstring WindowsDisk::FullPath(const std::wstring& path) const {
  return path.empty() ? folder_ : folder_ + L"\\" + path;
}

Listing WindowsDisk::List(const std::wstring& folder) {
  Listing listing;
  WIN32_FIND_DATAW found{};
  HANDLE first = ::FindFirstFileW((FullPath(folder) + L"\\*").c_str(), &found);
  if (first == INVALID_HANDLE_VALUE) {
    // A drive's root has no "." entry, so an empty one lists nothing at all.
    if (const DWORD error = ::GetLastError(); error != ERROR_FILE_NOT_FOUND) {
      listing.error = ErrorText(error);
    }
    return listing;
  }
  const FindPtr find(first);
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") {
      DiskEntry entry{name, found.cAlternateFileName, false};
      entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      entry.folder = !entry.link && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      listing.entries.push_back(std::move(entry));
    }
  } while (::FindNextFileW(find.get(), &found));
  return listing;
}

std::wstring WindowsDisk::Probe(const std::wstring& file) {
  std::wstring error;
  OpenForReading(FullPath(file), error);
  return error;
}

bool WindowsDisk::ReadDatabase(const std::wstring& file, Entry& entry) {
  const SystemFunctions msi(msi_);
  auto openDatabase = msi.Get<decltype(::MsiOpenDatabaseW)>("MsiOpenDatabaseW");
  auto openView = msi.Get<decltype(::MsiDatabaseOpenViewW)>("MsiDatabaseOpenViewW");
  auto execute = msi.Get<decltype(::MsiViewExecute)>("MsiViewExecute");
  auto fetch = msi.Get<decltype(::MsiViewFetch)>("MsiViewFetch");
  auto recordString = msi.Get<decltype(::MsiRecordGetStringW)>("MsiRecordGetStringW");
  auto summaryInformation = msi.Get<decltype(::MsiGetSummaryInformationW)>("MsiGetSummaryInformationW");
  auto summaryProperty = msi.Get<decltype(::MsiSummaryInfoGetPropertyW)>("MsiSummaryInfoGetPropertyW");
  if (!openDatabase || !openView || !execute || !fetch || !recordString || !summaryInformation || !summaryProperty) {
    return false;
  }
  MsiHandle database(msi);
  MsiHandle view(msi);
  if (openDatabase(FullPath(file).c_str(), MSIDBOPEN_READONLY, database.put()) != ERROR_SUCCESS ||
      openView(database.get(), L"SELECT `Property`, `Value` FROM `Property`", view.put()) != ERROR_SUCCESS ||
      execute(view.get(), 0) != ERROR_SUCCESS) {
    return false;
  }
  for (;;) {
    MsiHandle record(msi);
    if (fetch(view.get(), record.put()) != ERROR_SUCCESS) {
      break;
    }
    const auto field = [&](UINT number) {
      return ReadMsiText(
          [&](wchar_t* buffer, DWORD* size) { return recordString(record.get(), number, buffer, size); });
    };
    entry.properties[field(1)] = field(2);
  }
  MsiHandle summary(msi);
  if (summaryInformation(database.get(), nullptr, 0, summary.put()) == ERROR_SUCCESS) {
    const std::wstring platform = ReadMsiText([&](wchar_t* buffer, DWORD* size) {
      UINT type = 0;
      INT number = 0;
      FILETIME time{};
      return summaryProperty(summary.get(), kTemplateProperty, &type, &number, &time, buffer, size);
    });
    entry.platform = platform.substr(0, platform.find(L';'));
  }
  return true;
}

std::string WindowsDisk::Sha256(const std::wstring& file, std::wstring& error) {
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    error = ErrorText(::GetLastError());
    return {};
  }
  const std::unique_ptr<void, void (*)(void*)> providerOwner(reinterpret_cast<void*>(provider), [](void* owned) {
    ::CryptReleaseContext(reinterpret_cast<HCRYPTPROV>(owned), 0);
  });
  HCRYPTHASH hash = 0;
  if (!::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
    error = ErrorText(::GetLastError());
    return {};
  }
  const std::unique_ptr<void, void (*)(void*)> hashOwner(
      reinterpret_cast<void*>(hash), [](void* owned) { ::CryptDestroyHash(reinterpret_cast<HCRYPTHASH>(owned)); });
  const bool read = ReadAll(FullPath(file), error, [hash](const char* data, DWORD size) {
    ::CryptHashData(hash, reinterpret_cast<const BYTE*>(data), size, 0);
  });
  BYTE digest[32] = {};
  DWORD digestSize = sizeof(digest);
  if (!read || !::CryptGetHashParam(hash, HP_HASHVAL, digest, &digestSize, 0)) {
    return {};
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (BYTE byte : digest) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 0xF];
  }
  return hex;
}

std::string WindowsDisk::ReadBytes(const std::wstring& file, std::wstring& error) {
  std::string bytes;
  const bool read =
      ReadAll(FullPath(file), error, [&bytes](const char* data, DWORD size) { bytes.append(data, size); });
  return read ? bytes : std::string();
}

std::wstring WindowsDisk::DecodeName(const std::string& utf8) {
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring name(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), name.data(), length);
  return name;
}

}  // namespace distcheck
