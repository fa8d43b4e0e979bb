// What a lookup's pick is, and the properties of a Windows Installer package read with libmsi.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace distcheck {

enum class EntryKind { kFolder, kNotAPackage, kPackage };

struct Entry {
  EntryKind kind = EntryKind::kNotAPackage;
  // Property name to value, from the package's Property table.
  std::map<std::wstring, std::wstring> properties;
};

// A folder, a file that opens as a Windows Installer database with a Property table, or anything else.
Entry ReadEntry(const std::filesystem::path& path);

}  // namespace distcheck
