// The PE reader against images built here byte by byte: well-formed ones must read back exactly,
// damaged ones must fail with pe::Error rather than read out of bounds, loop or exhaust memory.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pe_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kImageBase = 0x400000;
constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kSectionFileOffset = 0x200;
constexpr std::uint32_t kHeadersSize = 0x200;

Bytes Ascii(std::string_view text) { return Bytes(text.begin(), text.end()); }

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, static_cast<std::uint16_t>(v));
  Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

std::uint32_t Append16(Bytes& b, std::uint16_t v) {
  const auto at = static_cast<std::uint32_t>(b.size());
  Put16(b, at, v);
  return at;
}

std::uint32_t Append32(Bytes& b, std::uint32_t v) {
  const auto at = static_cast<std::uint32_t>(b.size());
  Put32(b, at, v);
  return at;
}

std::uint32_t AppendBytes(Bytes& b, const Bytes& data) {
  const auto at = static_cast<std::uint32_t>(b.size());
  b.insert(b.end(), data.begin(), data.end());
  return at;
}

void Align(Bytes& b, std::size_t alignment) { b.resize((b.size() + alignment - 1) / alignment * alignment); }

// A PE32 image with a single section at kSectionRva; the tests fill the section and the directories.
struct PeFile {
  Bytes section;
  std::uint32_t directories[16][2] = {};
  std::uint16_t magic = 0x10B;
  std::uint32_t directoryCount = 16;
  std::uint32_t zeroFilledTail = 0;  // virtual size beyond the raw data

  static std::uint32_t Rva(std::uint32_t sectionOffset) { return kSectionRva + sectionOffset; }
  void SetDirectory(int index, std::uint32_t sectionOffset, std::uint32_t size) {
    directories[index][0] = Rva(sectionOffset);
    directories[index][1] = size;
  }

  Bytes Build() const {
    Bytes file(kHeadersSize);
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 0x3C, 0x40);
    Put32(file, 0x40, 0x00004550);
    const std::size_t fileHeader = 0x44;
    Put16(file, fileHeader, 0x014C);
    Put16(file, fileHeader + 2, 1);
    Put16(file, fileHeader + 16, 224);
    Put16(file, fileHeader + 18, 0x0102);
    const std::size_t optional = fileHeader + 20;
    Put16(file, optional, magic);
    Put32(file, optional + 28, kImageBase);
    Put32(file, optional + 32, 0x1000);
    Put32(file, optional + 36, 0x200);
    Put32(file, optional + 56, 0x10000);
    Put32(file, optional + 60, kHeadersSize);
    Put16(file, optional + 68, 2);
    Put32(file, optional + 92, directoryCount);
    for (int i = 0; i < 16; ++i) {
      Put32(file, optional + 96 + i * 8, directories[i][0]);
      Put32(file, optional + 100 + i * 8, directories[i][1]);
    }
    const std::size_t header = optional + 224;
    std::memcpy(&file[header], ".data\0\0\0", 8);
    Bytes raw = section;
    Align(raw, 0x200);
    Put32(file, header + 8, static_cast<std::uint32_t>(section.size()) + zeroFilledTail);
    Put32(file, header + 12, kSectionRva);
    Put32(file, header + 16, static_cast<std::uint32_t>(raw.size()));
    Put32(file, header + 20, kSectionFileOffset);
    Put32(file, header + 36, 0xC0000040);
    file.insert(file.end(), raw.begin(), raw.end());
    return file;
  }
};

// Lays out a resource tree the way a resource compiler does: directories, then data entries, then
// name strings, then the data, with offsets relative to the root and data addresses as RVAs.
struct Leaf {
  pe::ResourceKey type, name;
  std::uint16_t language;
  Bytes data;
};

std::uint32_t AppendResourceTree(Bytes& section, const std::vector<Leaf>& leaves) {
  struct Node {
    pe::ResourceKey key;
    std::vector<Node> children;
    const Bytes* data = nullptr;
  };
  auto child = [](std::vector<Node>& nodes, const pe::ResourceKey& key) -> Node& {
    for (Node& n : nodes) {
      if (n.key == key) return n;
    }
    nodes.push_back(Node{key, {}, nullptr});
    return nodes.back();
  };
  std::vector<Node> types;
  for (const Leaf& leaf : leaves) {
    Node& name = child(child(types, leaf.type).children, leaf.name);
    name.children.push_back(Node{pe::ResourceKey::Id(leaf.language), {}, &leaf.data});
  }

  Align(section, 4);
  const auto root = static_cast<std::uint32_t>(section.size());
  std::vector<std::pair<std::uint32_t, std::u16string>> names;  // entry position, name
  std::vector<std::pair<std::uint32_t, const Bytes*>> data;     // data entry position, bytes
  auto write = [&](auto& self, const std::vector<Node>& nodes) -> std::uint32_t {
    const auto directory = static_cast<std::uint32_t>(section.size()) - root;
    section.resize(section.size() + 12);
    std::uint16_t named = 0;
    for (const Node& n : nodes) named += n.key.id ? 0 : 1;
    Append16(section, named);
    Append16(section, static_cast<std::uint16_t>(nodes.size() - named));
    const auto entries = static_cast<std::uint32_t>(section.size());
    section.resize(section.size() + 8 * nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      const std::uint32_t entry = entries + static_cast<std::uint32_t>(8 * i);
      if (nodes[i].key.id) {
        Put32(section, entry, *nodes[i].key.id);
      } else {
        names.emplace_back(entry, nodes[i].key.name);
      }
      if (nodes[i].data) {
        const auto leafEntry = static_cast<std::uint32_t>(section.size());
        section.resize(section.size() + 16);
        data.emplace_back(leafEntry, nodes[i].data);
        Put32(section, entry + 4, leafEntry - root);
      } else {
        Put32(section, entry + 4, self(self, nodes[i].children) | 0x80000000u);
      }
    }
    return directory;
  };
  write(write, types);
  for (const auto& [entry, name] : names) {
    Put32(section, entry, (static_cast<std::uint32_t>(section.size()) - root) | 0x80000000u);
    Append16(section, static_cast<std::uint16_t>(name.size()));
    for (char16_t c : name) Append16(section, c);
  }
  for (const auto& [entry, bytes] : data) {
    Align(section, 4);
    Put32(section, entry, PeFile::Rva(AppendBytes(section, *bytes)));
    Put32(section, entry + 4, static_cast<std::uint32_t>(bytes->size()));
  }
  return root;
}

// Import descriptors for `dlls`, each with an (empty) address table so the loader would accept it.
std::uint32_t AppendImports(Bytes& section, const std::vector<std::string>& dlls) {
  Align(section, 4);
  const auto table = static_cast<std::uint32_t>(section.size());
  section.resize(section.size() + 20 * (dlls.size() + 1));
  for (std::size_t i = 0; i < dlls.size(); ++i) {
    const auto addresses = Append32(section, 0);
    const auto name = AppendBytes(section, Ascii(dlls[i] + '\0'));
    Put32(section, table + 20 * i + 12, PeFile::Rva(name));
    Put32(section, table + 20 * i + 16, PeFile::Rva(addresses));
  }
  return table;
}

struct DelayDll {
  std::string name;
  bool rvaBased;
};

std::uint32_t AppendDelayImports(Bytes& section, const std::vector<DelayDll>& dlls) {
  Align(section, 4);
  const auto table = static_cast<std::uint32_t>(section.size());
  section.resize(section.size() + 32 * (dlls.size() + 1));
  for (std::size_t i = 0; i < dlls.size(); ++i) {
    const auto name = PeFile::Rva(AppendBytes(section, Ascii(dlls[i].name + '\0')));
    Put32(section, table + 32 * i, dlls[i].rvaBased ? 1 : 0);
    Put32(section, table + 32 * i + 4, dlls[i].rvaBased ? name : kImageBase + name);
  }
  return table;
}

const Bytes kStringsRu = {1, 0, 'A', 0};
const Bytes kStringsEn = {1, 0, 'B', 0, 0, 0};
const Bytes kLogo = {0x89, 'P', 'N', 'G'};
const Bytes kManifest = Ascii("<assembly/>");

std::vector<Leaf> SampleLeaves() {
  return {
      {pe::ResourceKey::Id(pe::kRtString), pe::ResourceKey::Id(7), 0x0419, kStringsRu},
      {pe::ResourceKey::Id(pe::kRtString), pe::ResourceKey::Id(7), 0x0409, kStringsEn},
      {pe::ResourceKey::Name(u"PNG"), pe::ResourceKey::Name(u"LOGO"), 0, kLogo},
      {pe::ResourceKey::Id(pe::kRtManifest), pe::ResourceKey::Id(1), 0, kManifest},
  };
}

// An image with resources, imports and delay imports: the base of the damage tests.
PeFile SampleFile() {
  PeFile file;
  const std::uint32_t resources = AppendResourceTree(file.section, SampleLeaves());
  file.SetDirectory(2, resources, static_cast<std::uint32_t>(file.section.size()) - resources);
  const std::uint32_t imports = AppendImports(file.section, {"KERNEL32.dll", "msvcrt.dll"});
  file.SetDirectory(1, imports, 60);
  const std::uint32_t delayed = AppendDelayImports(file.section, {{"msi.dll", true}, {"VERSION.dll", false}});
  file.SetDirectory(13, delayed, 96);
  return file;
}

// Everything the reader offers, on one image; what is thrown is left to the caller.
void ReadEverything(const Bytes& bytes) {
  const pe::Image image = pe::Image::Parse(bytes);
  for (const pe::Resource& r : image.Resources()) image.FindResource(r.type, r.name, r.language);
  image.ImportedDlls();
  image.DelayImportedDlls();
}

TEST(PeImage, ReadsTheHeadersAndTheSectionTable) {
  const pe::Image image = pe::Image::Parse(SampleFile().Build());
  EXPECT_EQ(image.Machine(), 0x014C);
  EXPECT_EQ(image.Subsystem(), 2);
  EXPECT_EQ(image.ImageBase(), kImageBase);
  ASSERT_EQ(image.Sections().size(), 1u);
  EXPECT_EQ(image.Sections()[0].name, ".data");
  EXPECT_EQ(image.Sections()[0].virtualAddress, kSectionRva);
  EXPECT_EQ(image.Sections()[0].rawOffset, kSectionFileOffset);
}

TEST(PeImage, MapsOnlyRvasWhoseBytesTheFileHolds) {
  PeFile file;
  file.section = Bytes(0x20, 0xAB);
  const pe::Image image = pe::Image::Parse(file.Build());
  EXPECT_EQ(image.RvaToOffset(kSectionRva + 5, 4), kSectionFileOffset + 5);
  EXPECT_EQ(image.RvaToOffset(0x40, 4), 0x40u) << "the headers map to themselves";
  // The file pads the section's raw data to 0x200 bytes, but the image holds only its virtual size.
  EXPECT_THROW(image.RvaToOffset(kSectionRva + 0x20, 1), pe::Error);
  EXPECT_THROW(image.RvaToOffset(kSectionRva + 0x1E, 4), pe::Error) << "a range straddling the end";
  EXPECT_THROW(image.RvaToOffset(0x800, 1), pe::Error) << "between the headers and the section";
  EXPECT_THROW(image.RvaToOffset(0xFFFFFFF0u, 0x20), pe::Error) << "a range that wraps around";

  // With a virtual size beyond the raw data, the raw data is mapped and the rest is zero-filled
  // by the loader: those bytes are not in the file.
  file.zeroFilledTail = 0x400;
  const pe::Image larger = pe::Image::Parse(file.Build());
  EXPECT_EQ(larger.RvaToOffset(kSectionRva + 0x1FC, 4), kSectionFileOffset + 0x1FC);
  EXPECT_THROW(larger.RvaToOffset(kSectionRva + 0x200, 1), pe::Error);
}

TEST(PeResources, WalksTypesNamesAndLanguagesWithIdsAndNames) {
  const pe::Image image = pe::Image::Parse(SampleFile().Build());
  const std::vector<pe::Resource> resources = image.Resources();
  ASSERT_EQ(resources.size(), 4u);
  for (const Leaf& leaf : SampleLeaves()) {
    auto data = image.FindResource(leaf.type, leaf.name, leaf.language);
    ASSERT_TRUE(data) << "language " << leaf.language;
    EXPECT_EQ(*data, leaf.data);
  }
  EXPECT_FALSE(image.FindResource(pe::ResourceKey::Id(pe::kRtString), pe::ResourceKey::Id(7), 0));
  EXPECT_FALSE(image.FindResource(pe::ResourceKey::Id(pe::kRtString), pe::ResourceKey::Id(8), 0x0419));
  EXPECT_FALSE(image.FindResource(pe::ResourceKey::Name(u"PNG"), pe::ResourceKey::Name(u"LOG"), 0));
  EXPECT_FALSE(image.FindResource(pe::ResourceKey::Id(pe::kRtManifest), pe::ResourceKey::Name(u"1"), 0))
      << "a name that reads like an id is still a name";
}

TEST(PeResources, AnImageWithoutAResourceDirectoryHasNone) {
  PeFile file;
  file.section = Bytes(16);
  EXPECT_TRUE(pe::Image::Parse(file.Build()).Resources().empty());
}

TEST(PeImports, ListsImportedAndDelayImportedDllsSeparately) {
  const pe::Image image = pe::Image::Parse(SampleFile().Build());
  EXPECT_EQ(image.ImportedDlls(), (std::vector<std::string>{"KERNEL32.dll", "msvcrt.dll"}));
  // VERSION.dll uses the old descriptor form with virtual addresses.
  EXPECT_EQ(image.DelayImportedDlls(), (std::vector<std::string>{"msi.dll", "VERSION.dll"}));
}

TEST(PeMalformed, FilesThatAreNotPe32ImagesAreRejected) {
  const Bytes good = SampleFile().Build();
  EXPECT_THROW(pe::Image::Parse({}), pe::Error);
  EXPECT_THROW(pe::Image::Parse(Ascii("MZ")), pe::Error);

  Bytes noMz = good;
  noMz[0] = 'X';
  EXPECT_THROW(pe::Image::Parse(noMz), pe::Error);

  Bytes farHeader = good;
  Put32(farHeader, 0x3C, 0xFFFFFFF0u);
  EXPECT_THROW(pe::Image::Parse(farHeader), pe::Error);

  Bytes noSignature = good;
  noSignature[0x41] = 'Q';
  EXPECT_THROW(pe::Image::Parse(noSignature), pe::Error);

  PeFile pe32plus = SampleFile();
  pe32plus.magic = 0x20B;
  EXPECT_THROW(pe::Image::Parse(pe32plus.Build()), pe::Error);

  PeFile manyDirectories = SampleFile();
  manyDirectories.directoryCount = 0x10000;
  EXPECT_THROW(pe::Image::Parse(manyDirectories.Build()), pe::Error);

  Bytes hugeOptionalHeader = good;
  Put16(hugeOptionalHeader, 0x44 + 16, 0xFFFF);
  EXPECT_THROW(pe::Image::Parse(hugeOptionalHeader), pe::Error);

  Bytes manySections = good;
  Put16(manySections, 0x44 + 2, 0xFFFF);
  EXPECT_THROW(pe::Image::Parse(manySections), pe::Error);
}

TEST(PeMalformed, EveryTruncationFailsWithAnError) {
  const Bytes good = SampleFile().Build();
  ASSERT_NO_THROW(ReadEverything(good));
  // The section's meaningful bytes end well before the file does (the rest is padding), so only
  // cuts inside them must fail; any cut must fail cleanly or succeed, never read past the data.
  for (std::size_t length = 0; length < good.size(); ++length) {
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
    try {
      ReadEverything(cut);
      EXPECT_GE(length, kSectionFileOffset + SampleFile().section.size()) << "a cut at " << length << " went unnoticed";
    } catch (const pe::Error&) {
    }
  }
}

TEST(PeMalformed, RandomDamageFailsWithAnErrorOrReadsSomething) {
  const Bytes good = SampleFile().Build();
  const std::size_t meaningful = kSectionFileOffset + SampleFile().section.size();
  std::mt19937 random(20240521);
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = good;
    for (int k = 0; k < 4; ++k) {
      // Aim mostly at the headers' fields and the section's structures rather than the padding.
      const std::size_t at = random() % 2 ? random() % 0x160 : kSectionFileOffset + random() % (meaningful - 0x200);
      damaged[at] = static_cast<std::uint8_t>(random());
    }
    try {
      ReadEverything(damaged);
    } catch (const pe::Error&) {
    }
  }
}

// A resource directory header followed by its entries, written at `at` in the section.
void PutDirectory(Bytes& section, std::uint32_t at,
                  const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries) {
  Put16(section, at + 14, static_cast<std::uint16_t>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Put32(section, at + 16 + 8 * static_cast<std::uint32_t>(i), entries[i].first);
    Put32(section, at + 20 + 8 * static_cast<std::uint32_t>(i), entries[i].second);
  }
}

pe::Image WithResourceSection(const Bytes& section) {
  PeFile file;
  file.section = section;
  file.SetDirectory(2, 0, static_cast<std::uint32_t>(section.size()));
  return pe::Image::Parse(file.Build());
}

TEST(PeMalformed, BrokenResourceTreesAreErrors) {
  constexpr std::uint32_t kDir = 0x80000000u;
  {
    Bytes s;
    PutDirectory(s, 0, {{3, 0x40}});  // a type that is a leaf, not a directory
    s.resize(0x80);
    EXPECT_THROW(WithResourceSection(s).Resources(), pe::Error);
  }
  {
    Bytes s;
    PutDirectory(s, 0, {{3, kDir | 0x7FFFFF00u}});  // a subdirectory far beyond the file
    EXPECT_THROW(WithResourceSection(s).Resources(), pe::Error);
  }
  {
    Bytes s;
    PutDirectory(s, 0, {{3, kDir | 0}});  // every level pointing back at the root
    EXPECT_THROW(WithResourceSection(s).Resources(), pe::Error);
  }
  {
    Bytes s;
    PutDirectory(s, 0, {{kDir | 0x30, kDir | 0x40}});  // a type name longer than the section
    Put16(s, 0x30, 0x7FFF);
    PutDirectory(s, 0x40, {});
    s.resize(0x80);
    EXPECT_THROW(WithResourceSection(s).Resources(), pe::Error);
  }
  {
    Bytes s;
    PutDirectory(s, 0, {{3, kDir | 0x20}});
    PutDirectory(s, 0x20, {{1, kDir | 0x40}});
    PutDirectory(s, 0x40, {{0x409, 0x60}});
    Put32(s, 0x60, kSectionRva + 0x70);  // data running past the end of the section
    Put32(s, 0x64, 0x1000);
    s.resize(0x80);
    EXPECT_THROW(WithResourceSection(s).Resources(), pe::Error);
  }
  {
    Bytes s;
    PutDirectory(s, 0, {{3, kDir | 0x20}});
    PutDirectory(s, 0x20, {{1, kDir | 0x40}});
    PutDirectory(s, 0x40, {{kDir | 0x70, 0x60}});  // a language given as a name
    Put32(s, 0x60, kSectionRva);
    Put32(s, 0x64, 4);
    Put16(s, 0x70, 1);
    Put16(s, 0x72, u'x');
    s.resize(0x80);
    EXPECT_THROW(WithResourceSection(s).Resources(), pe::Error);
  }
}

TEST(PeMalformed, SharedSubdirectoriesCannotMultiplyTheTreeWithoutBound) {
  // 41 types share one name directory of 41 names sharing one language directory of 41 leaves:
  // 68921 leaves from 3 small directories.
  constexpr std::uint32_t kDir = 0x80000000u;
  constexpr std::uint32_t kFan = 41, kSize = 16 + 8 * kFan;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> types, names, languages;
  for (std::uint32_t i = 0; i < kFan; ++i) {
    types.emplace_back(i + 1, kDir | kSize);
    names.emplace_back(i + 1, kDir | 2 * kSize);
    languages.emplace_back(i, 3 * kSize);
  }
  Bytes s;
  PutDirectory(s, 0, types);
  PutDirectory(s, kSize, names);
  PutDirectory(s, 2 * kSize, languages);
  Put32(s, 3 * kSize, kSectionRva);
  Put32(s, 3 * kSize + 4, 4);
  s.resize(3 * kSize + 16);
  ASSERT_NO_THROW(WithResourceSection(s)) << "the directories themselves are sound";
  EXPECT_THROW(WithResourceSection(s).Resources(), pe::Error);
}

TEST(PeMalformed, BrokenImportTablesAreErrors) {
  {
    PeFile file;
    AppendImports(file.section, {"KERNEL32.dll"});
    Put32(file.section, 12, 0x7FFF0000u);  // name outside the image
    file.SetDirectory(1, 0, 40);
    EXPECT_THROW(pe::Image::Parse(file.Build()).ImportedDlls(), pe::Error);
  }
  {
    PeFile file;
    file.section.resize(40);
    Put32(file.section, 16, 1);  // an address table, so the descriptor is not the terminator
    Put32(file.section, 12, PeFile::Rva(36));
    Put32(file.section, 36, 0x41414141);  // a name with no NUL before the end of the section
    file.SetDirectory(1, 0, 40);
    EXPECT_THROW(pe::Image::Parse(file.Build()).ImportedDlls(), pe::Error);
  }
  {
    PeFile file;  // ten sound descriptors, then the end of the section instead of a terminator
    file.section.resize(200);
    for (std::uint32_t i = 0; i < 10; ++i) {
      Put32(file.section, 20 * i + 12, PeFile::Rva(200));
      Put32(file.section, 20 * i + 16, PeFile::Rva(200));
    }
    AppendBytes(file.section, Ascii(std::string("x.dll") + '\0'));
    file.SetDirectory(1, 0, 200);
    EXPECT_THROW(pe::Image::Parse(file.Build()).ImportedDlls(), pe::Error);
  }
  {
    PeFile file;
    AppendDelayImports(file.section, {{"msi.dll", false}});
    Put32(file.section, 4, 0x100);  // a virtual address below the image base
    file.SetDirectory(13, 0, 64);
    EXPECT_THROW(pe::Image::Parse(file.Build()).DelayImportedDlls(), pe::Error);
  }
}

TEST(PeReader, ReadsLittleEndianAndRefusesToReadPastTheEnd) {
  const Bytes data = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 'h', 0, 'i', 0, 0, 0, 0xFF};
  pe::Reader r(data);
  EXPECT_EQ(r.U16(), 0x1234);
  EXPECT_EQ(r.U32(), 0x12345678u);
  EXPECT_EQ(r.Sz16(), u"hi");
  r.AlignTo(4);
  EXPECT_EQ(r.Position(), 12u);
  EXPECT_THROW(r.U16(), pe::Error);
  EXPECT_EQ(r.U8(), 0xFF) << "a failed read consumes nothing";
  EXPECT_THROW(r.U8(), pe::Error);
  EXPECT_THROW(r.AlignTo(8), pe::Error);

  const Bytes unterminated = {'a', 0, 'b'};
  pe::Reader text(unterminated);
  EXPECT_THROW(text.Sz16(), pe::Error);
  EXPECT_THROW(pe::Reader(unterminated, 4), pe::Error);
}

}  // namespace
