#include "linux_disk.h"

#include <glib.h>
#include <libmsi.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

namespace distcheck {
namespace {

constexpr std::size_t kChunk = 1 << 16;

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GFree {
  void operator()(void* memory) const { g_free(memory); }
};

// libmsi logs a warning for every file it cannot open; that a file is no package is reported by the check.
class QuietWarnings {
 public:
  QuietWarnings() : previous_(g_log_set_default_handler(&DropWarnings, nullptr)) {}
  ~QuietWarnings() { g_log_set_default_handler(previous_, nullptr); }
  QuietWarnings(const QuietWarnings&) = delete;
  QuietWarnings& operator=(const QuietWarnings&) = delete;

 private:
  static void DropWarnings(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data) {
    if ((level & G_LOG_LEVEL_WARNING) == 0) {
      g_log_default_handler(domain, level, message, data);
    }
  }

  GLogFunc previous_;
};

// Bytes that are not UTF-8 are kept one by one, so that the name leads back to the file.
std::wstring WidenName(const std::string& bytes) {
  std::wstring name;
  for (const char* next = bytes.data(); next < bytes.data() + bytes.size();) {
    const gunichar c = g_utf8_get_char_validated(next, bytes.data() + bytes.size() - next);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      name += static_cast<wchar_t>(kEscapedByte + static_cast<unsigned char>(*next++));
    } else {
      name += static_cast<wchar_t>(c);
      next = g_utf8_next_char(next);
    }
  }
  return name;
}

std::string NarrowName(const std::wstring& name) {
  std::string bytes;
  for (wchar_t c : name) {
    if (IsEscapedByte(c)) {
      bytes += static_cast<char>(c - kEscapedByte);
    } else {
      gchar encoded[6];
      bytes.append(encoded, static_cast<std::size_t>(g_unichar_to_utf8(static_cast<gunichar>(c), encoded)));
    }
  }
  return bytes;
}

std::wstring ErrorText(int error) { return WidenName(std::strerror(error)); }

std::wstring RecordText(LibmsiRecord* record, guint field) {
  std::unique_ptr<gchar, GFree> text(libmsi_record_get_string(record, field));
  return text ? WidenName(text.get()) : std::wstring();
}

// Every row of the Property table and the platform of the Template; false when the file is no package.
bool ReadLibmsiDatabase(const std::filesystem::path& path, Entry& entry) {
  const QuietWarnings quiet;
  GError* openError = nullptr;
  GObjectPtr<LibmsiDatabase> database(libmsi_database_new(path.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &openError));
  const ErrorPtr openErrorOwner(openError);
  if (!database) {
    return false;
  }
  GError* queryError = nullptr;
  GObjectPtr<LibmsiQuery> query(
      libmsi_query_new(database.get(), "SELECT `Property`, `Value` FROM `Property`", &queryError));
  const ErrorPtr queryErrorOwner(queryError);
  if (!query || !libmsi_query_execute(query.get(), nullptr, nullptr)) {
    return false;
  }
  while (GObjectPtr<LibmsiRecord> record{libmsi_query_fetch(query.get(), nullptr)}) {
    entry.properties[RecordText(record.get(), 1)] = RecordText(record.get(), 2);
  }
  GError* summaryError = nullptr;
  GObjectPtr<LibmsiSummaryInfo> summary(libmsi_summary_info_new(database.get(), 0, &summaryError));
  const ErrorPtr summaryErrorOwner(summaryError);
  const gchar* templateText =
      summary ? libmsi_summary_info_get_string(summary.get(), LIBMSI_PROPERTY_TEMPLATE, nullptr) : nullptr;
  const std::wstring platform = templateText != nullptr ? WidenName(templateText) : L"";
  entry.platform = platform.substr(0, platform.find(L';'));
  return true;
}

}  // namespace

LinuxDisk::LinuxDisk(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::filesystem::path LinuxDisk::LinuxPath(const std::wstring& path) const {
  std::filesystem::path linux = folder_;
  std::wstring rest = path;
  for (std::size_t slash; (slash = rest.find(L'\\')) != std::wstring::npos; rest.erase(0, slash + 1)) {
    linux /= NarrowName(rest.substr(0, slash));
  }
  return rest.empty() ? linux : linux / NarrowName(rest);
}

Listing LinuxDisk::List(const std::wstring& folder) {
  Listing listing;
  std::error_code error;
  for (std::filesystem::directory_iterator it(LinuxPath(folder), error), end; !error && it != end;
       it.increment(error)) {
    std::error_code kindError;
    const std::filesystem::file_status status = it->symlink_status(kindError);
    DiskEntry entry{WidenName(it->path().filename().native()), L"", false};
    entry.link = std::filesystem::is_symlink(status);
    entry.folder = !entry.link && std::filesystem::is_directory(status);
    entry.special = !entry.link && !entry.folder && !std::filesystem::is_regular_file(status);
    listing.entries.push_back(std::move(entry));
  }
  if (error) {
    listing.error = WidenName(error.message());
  }
  return listing;
}

std::wstring LinuxDisk::Probe(const std::wstring& file) {
  std::ifstream stream(LinuxPath(file), std::ios::binary);
  return stream ? std::wstring() : ErrorText(errno);
}

bool LinuxDisk::ReadDatabase(const std::wstring& file, Entry& entry) {
  return ReadLibmsiDatabase(LinuxPath(file), entry);
}

std::string LinuxDisk::Sha256(const std::wstring& file, std::wstring& error) {
  std::ifstream stream(LinuxPath(file), std::ios::binary);
  if (!stream) {
    error = ErrorText(errno);
    return {};
  }
  std::unique_ptr<GChecksum, decltype(&g_checksum_free)> checksum(g_checksum_new(G_CHECKSUM_SHA256), &g_checksum_free);
  std::string chunk(kChunk, '\0');
  while (stream.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || stream.gcount() > 0) {
    g_checksum_update(checksum.get(), reinterpret_cast<const guchar*>(chunk.data()), stream.gcount());
  }
  if (stream.bad()) {
    error = ErrorText(errno);
    return {};
  }
  return g_checksum_get_string(checksum.get());
}

std::string LinuxDisk::ReadBytes(const std::wstring& file, std::wstring& error) {
  std::ifstream stream(LinuxPath(file), std::ios::binary);
  if (!stream) {
    error = ErrorText(errno);
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

std::wstring LinuxDisk::DecodeName(const std::string& utf8) { return WidenName(utf8); }

}  // namespace distcheck
