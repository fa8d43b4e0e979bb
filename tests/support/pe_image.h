// A small reader of 32-bit PE images (PE32), portable so that native tests can inspect the Windows build:
// its resources and the DLLs it imports. Every offset, size and count read from the file is checked
// against the data, so a damaged file throws pe::Error instead of reading out of bounds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace pe {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Well-known resource types (RT_*).
inline constexpr std::uint16_t kRtIcon = 3;
inline constexpr std::uint16_t kRtDialog = 5;
inline constexpr std::uint16_t kRtString = 6;
inline constexpr std::uint16_t kRtGroupIcon = 14;
inline constexpr std::uint16_t kRtManifest = 24;

// A resource type or name: an integer id, or a string for the named entries.
struct ResourceKey {
  std::optional<std::uint16_t> id;
  std::u16string name;  // meaningful only when id is empty

  static ResourceKey Id(std::uint16_t value) { return {value, {}}; }
  static ResourceKey Name(std::u16string value) { return {std::nullopt, std::move(value)}; }
  bool operator==(const ResourceKey&) const = default;
};

// One leaf of the resource tree: type / name / language and where its data lies.
struct Resource {
  ResourceKey type;
  ResourceKey name;
  std::uint16_t language = 0;
  std::uint32_t dataRva = 0;
  std::uint32_t size = 0;
  std::uint32_t codePage = 0;
};

struct Section {
  std::string name;
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawOffset = 0;
  std::uint32_t rawSize = 0;
};

class Image {
 public:
  // Throws Error when the file cannot be read or its headers are not those of a PE32 image.
  static Image Load(const std::filesystem::path& path);
  static Image Parse(std::vector<std::uint8_t> bytes);

  std::uint16_t Machine() const { return machine_; }
  std::uint16_t Subsystem() const { return subsystem_; }
  std::uint32_t ImageBase() const { return imageBase_; }
  const std::vector<Section>& Sections() const { return sections_; }

  // The file offset that holds the `size` bytes at `rva`; throws when they are not all in the file.
  std::uint32_t RvaToOffset(std::uint32_t rva, std::uint32_t size) const;
  std::span<const std::uint8_t> BytesAt(std::uint32_t rva, std::uint32_t size) const;

  // Every leaf of the resource tree, in directory order. Empty when the image has no resources.
  std::vector<Resource> Resources() const;
  // The data of the one resource with this type, name and language, or nothing when there is none.
  std::optional<std::vector<std::uint8_t>> FindResource(const ResourceKey& type, const ResourceKey& name,
                                                        std::uint16_t language) const;

  // DLL names as written in the import directory and in the delay-load import directory.
  std::vector<std::string> ImportedDlls() const;
  std::vector<std::string> DelayImportedDlls() const;

 private:
  struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
  };

  std::string CString(std::uint32_t rva) const;

  std::vector<std::uint8_t> bytes_;
  std::uint16_t machine_ = 0;
  std::uint16_t subsystem_ = 0;
  std::uint32_t imageBase_ = 0;
  std::uint32_t sizeOfHeaders_ = 0;
  std::vector<Section> sections_;
  std::vector<DataDirectory> directories_;
};

// Little-endian reads with bounds checks, for the resource formats decoded by the tests as well.
class Reader {
 public:
  // Throws Error when position lies beyond the data.
  explicit Reader(std::span<const std::uint8_t> data, std::size_t position = 0);

  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U32();
  // A NUL-terminated UTF-16 string; the terminator is consumed, not returned.
  std::u16string Sz16();
  std::span<const std::uint8_t> Bytes(std::size_t count);
  void Skip(std::size_t count) { Bytes(count); }
  void AlignTo(std::size_t alignment);  // relative to the start of the data

  std::size_t Position() const { return position_; }
  std::size_t Remaining() const { return data_.size() - position_; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_;
};

}  // namespace pe
