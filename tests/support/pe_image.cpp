#include "pe_image.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace pe {

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::size_t kDirectoryImport = 1;
constexpr std::size_t kDirectoryResource = 2;
constexpr std::size_t kDirectoryDelayImport = 13;
constexpr std::uint32_t kHighBit = 0x80000000u;

// A damaged directory could point many entries at the same subdirectory; without a cap the tree
// "expands" to billions of leaves.
constexpr std::size_t kMaxResources = 1 << 16;
constexpr std::size_t kMaxImportDescriptors = 4096;
constexpr std::size_t kMaxNameLength = 4096;

}  // namespace

Reader::Reader(std::span<const std::uint8_t> data, std::size_t position) : data_(data), position_(position) {
  if (position > data.size()) throw Error("read position beyond the data");
}

std::span<const std::uint8_t> Reader::Bytes(std::size_t count) {
  if (count > Remaining()) throw Error("read past the end of the data");
  auto bytes = data_.subspan(position_, count);
  position_ += count;
  return bytes;
}

std::uint8_t Reader::U8() { return Bytes(1)[0]; }

std::uint16_t Reader::U16() {
  auto b = Bytes(2);
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::uint32_t Reader::U32() {
  auto b = Bytes(4);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::u16string Reader::Sz16() {
  std::u16string text;
  for (char16_t c = static_cast<char16_t>(U16()); c != 0; c = static_cast<char16_t>(U16())) text.push_back(c);
  return text;
}

void Reader::AlignTo(std::size_t alignment) {
  std::size_t misalignment = position_ % alignment;
  if (misalignment != 0) Skip(alignment - misalignment);
}

Image Image::Load(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw Error("cannot open " + path.string());
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) throw Error("cannot read " + path.string());
  return Parse(std::move(bytes));
}

Image Image::Parse(std::vector<std::uint8_t> bytes) {
  Image image;
  image.bytes_ = std::move(bytes);
  std::span<const std::uint8_t> data(image.bytes_);

  Reader dos(data);
  if (dos.U16() != 0x5A4D) throw Error("no MZ signature");
  Reader lfanew(data, 0x3C);
  const std::uint32_t peOffset = lfanew.U32();
  if (peOffset > data.size()) throw Error("PE header offset beyond the file");

  Reader header(data, peOffset);
  if (header.U32() != 0x00004550) throw Error("no PE signature");
  image.machine_ = header.U16();
  const std::uint16_t sectionCount = header.U16();
  header.Skip(12);  // time stamp, symbol table pointer and count
  const std::uint16_t optionalHeaderSize = header.U16();
  header.Skip(2);  // characteristics

  const std::size_t optionalHeaderStart = header.Position();
  Reader optional(header.Bytes(optionalHeaderSize));
  if (optional.U16() != kPe32Magic) throw Error("not a PE32 image");
  optional.Skip(26);
  image.imageBase_ = optional.U32();
  optional.Skip(28);
  image.sizeOfHeaders_ = optional.U32();
  optional.Skip(4);  // checksum
  image.subsystem_ = optional.U16();
  optional.Skip(22);
  const std::uint32_t directoryCount = optional.U32();
  if (directoryCount > 16) throw Error("too many data directories");
  for (std::uint32_t i = 0; i < directoryCount; ++i) {
    DataDirectory directory;
    directory.rva = optional.U32();
    directory.size = optional.U32();
    image.directories_.push_back(directory);
  }

  Reader sectionTable(data, optionalHeaderStart + optionalHeaderSize);
  for (std::uint16_t i = 0; i < sectionCount; ++i) {
    auto name = sectionTable.Bytes(8);
    Section section;
    section.name.assign(name.begin(), std::find(name.begin(), name.end(), 0));
    section.virtualSize = sectionTable.U32();
    section.virtualAddress = sectionTable.U32();
    section.rawSize = sectionTable.U32();
    section.rawOffset = sectionTable.U32();
    sectionTable.Skip(16);  // relocations, line numbers, characteristics
    image.sections_.push_back(section);
  }
  return image;
}

std::uint32_t Image::RvaToOffset(std::uint32_t rva, std::uint32_t size) const {
  const std::uint64_t end = std::uint64_t{rva} + size;
  if (end <= sizeOfHeaders_ && end <= bytes_.size()) return rva;
  for (const Section& section : sections_) {
    // Only the part of a section that the file holds can be read; the rest is zero-filled at load.
    const std::uint32_t fileBacked =
        section.virtualSize == 0 ? section.rawSize : std::min(section.virtualSize, section.rawSize);
    if (rva < section.virtualAddress || end > std::uint64_t{section.virtualAddress} + fileBacked) continue;
    const std::uint64_t offset = std::uint64_t{section.rawOffset} + (rva - section.virtualAddress);
    if (offset + size > bytes_.size()) throw Error("section data beyond the end of the file");
    return static_cast<std::uint32_t>(offset);
  }
  throw Error("RVA range not held in the file");
}

std::span<const std::uint8_t> Image::BytesAt(std::uint32_t rva, std::uint32_t size) const {
  return std::span<const std::uint8_t>(bytes_).subspan(RvaToOffset(rva, size), size);
}

std::string Image::CString(std::uint32_t rva) const {
  std::string text;
  for (std::uint32_t i = 0;; ++i) {
    if (i == kMaxNameLength) throw Error("unterminated name");
    if (rva + std::uint64_t{i} > 0xFFFFFFFFu) throw Error("name beyond the address space");
    const char c = static_cast<char>(BytesAt(rva + i, 1)[0]);
    if (c == '\0') return text;
    text.push_back(c);
  }
}

std::vector<Resource> Image::Resources() const {
  std::vector<Resource> resources;
  if (directories_.size() <= kDirectoryResource || directories_[kDirectoryResource].rva == 0) return resources;
  const std::uint32_t root = directories_[kDirectoryResource].rva;

  // Offsets inside the tree are relative to its root.
  auto at = [&](std::uint32_t offset, std::uint32_t size) {
    if (std::uint64_t{root} + offset > 0xFFFFFFFFu) throw Error("resource offset beyond the address space");
    return BytesAt(root + offset, size);
  };
  struct Entry {
    ResourceKey key;
    std::uint32_t target;
    bool subdirectory;
  };
  auto entries = [&](std::uint32_t offset) {
    Reader header(at(offset, 16));
    header.Skip(12);
    const std::uint32_t count = std::uint32_t{header.U16()} + header.U16();
    Reader reader(at(offset + 16, count * 8));
    std::vector<Entry> list;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t name = reader.U32();
      const std::uint32_t target = reader.U32();
      Entry entry{{}, target & ~kHighBit, (target & kHighBit) != 0};
      if (name & kHighBit) {
        Reader length(at(name & ~kHighBit, 2));
        const std::uint16_t units = length.U16();
        Reader text(at((name & ~kHighBit) + 2, units * 2u));
        for (std::uint16_t u = 0; u < units; ++u) entry.key.name.push_back(static_cast<char16_t>(text.U16()));
      } else {
        if (name > 0xFFFF) throw Error("resource id wider than 16 bits");
        entry.key.id = static_cast<std::uint16_t>(name);
      }
      list.push_back(std::move(entry));
    }
    return list;
  };

  for (const Entry& type : entries(0)) {
    if (!type.subdirectory) throw Error("resource type entry is not a directory");
    for (const Entry& name : entries(type.target)) {
      if (!name.subdirectory) throw Error("resource name entry is not a directory");
      for (const Entry& language : entries(name.target)) {
        if (language.subdirectory) throw Error("resource language entry is a directory");
        if (!language.key.id) throw Error("resource language is a name");
        if (resources.size() == kMaxResources) throw Error("too many resources");
        Reader leaf(at(language.target, 16));
        Resource resource{type.key, name.key, *language.key.id, 0, 0, 0};
        resource.dataRva = leaf.U32();
        resource.size = leaf.U32();
        resource.codePage = leaf.U32();
        BytesAt(resource.dataRva, resource.size);  // the data must be in the file too
        resources.push_back(std::move(resource));
      }
    }
  }
  return resources;
}

std::optional<std::vector<std::uint8_t>> Image::FindResource(const ResourceKey& type, const ResourceKey& name,
                                                             std::uint16_t language) const {
  for (const Resource& resource : Resources()) {
    if (resource.type == type && resource.name == name && resource.language == language) {
      auto data = BytesAt(resource.dataRva, resource.size);
      return std::vector<std::uint8_t>(data.begin(), data.end());
    }
  }
  return std::nullopt;
}

std::vector<std::string> Image::ImportedDlls() const {
  std::vector<std::string> names;
  if (directories_.size() <= kDirectoryImport || directories_[kDirectoryImport].rva == 0) return names;
  const std::uint32_t start = directories_[kDirectoryImport].rva;
  for (std::uint32_t i = 0;; ++i) {
    if (i == kMaxImportDescriptors) throw Error("import directory without an end");
    const std::uint64_t rva = start + std::uint64_t{i} * 20;
    if (rva > 0xFFFFFFFFu) throw Error("import directory beyond the address space");
    Reader descriptor(BytesAt(static_cast<std::uint32_t>(rva), 20));
    descriptor.Skip(12);  // lookup table, time stamp, forwarder chain
    const std::uint32_t name = descriptor.U32();
    const std::uint32_t addressTable = descriptor.U32();
    if (name == 0 && addressTable == 0) return names;
    names.push_back(CString(name));
  }
}

std::vector<std::string> Image::DelayImportedDlls() const {
  std::vector<std::string> names;
  if (directories_.size() <= kDirectoryDelayImport || directories_[kDirectoryDelayImport].rva == 0) return names;
  const std::uint32_t start = directories_[kDirectoryDelayImport].rva;
  for (std::uint32_t i = 0;; ++i) {
    if (i == kMaxImportDescriptors) throw Error("delay-import directory without an end");
    const std::uint64_t rva = start + std::uint64_t{i} * 32;
    if (rva > 0xFFFFFFFFu) throw Error("delay-import directory beyond the address space");
    Reader descriptor(BytesAt(static_cast<std::uint32_t>(rva), 32));
    const std::uint32_t attributes = descriptor.U32();
    std::uint32_t name = descriptor.U32();
    if (name == 0) return names;
    // Descriptors without the "RVA based" attribute (old Visual C++ ones) hold virtual addresses.
    if ((attributes & 1) == 0) {
      if (name < imageBase_) throw Error("delay-import name below the image base");
      name -= imageBase_;
    }
    names.push_back(CString(name));
  }
}

}  // namespace pe
