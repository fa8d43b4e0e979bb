#include "package_properties.h"

#include <libmsi.h>

#include <memory>

#include "text.h"

namespace distcheck {
namespace {

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
  void operator()(gchar* text) const { g_free(text); }
};

// libmsi logs a warning for every file it cannot open; that a file is no package is reported here instead.
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

std::wstring RecordText(LibmsiRecord* record, guint field) {
  std::unique_ptr<gchar, GFree> text(libmsi_record_get_string(record, field));
  return text ? Widen(text.get()) : std::wstring();
}

// Every row of the Property table; false when the file is no package or has no such table.
bool ReadPropertyTable(const std::filesystem::path& path, std::map<std::wstring, std::wstring>& properties) {
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
    properties[RecordText(record.get(), 1)] = RecordText(record.get(), 2);
  }
  return true;
}

}  // namespace

Entry ReadEntry(const std::filesystem::path& path) {
  Entry entry;
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    entry.kind = EntryKind::kFolder;
  } else if (ReadPropertyTable(path, entry.properties)) {
    entry.kind = EntryKind::kPackage;
  }
  return entry;
}

}  // namespace distcheck
