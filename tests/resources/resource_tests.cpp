// Reads the resources and the import table out of the built Setup.exe (path in SETUP_EXE) and checks
// them against what the program and Windows expect of them.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "pe_image.h"

namespace {

constexpr std::uint16_t kRussian = 0x0419;

const pe::Image& SetupExe() {
  // A failed load throws here, failing each test that needs the file with the reason.
  static const pe::Image image = [] {
    const char* path = std::getenv("SETUP_EXE");
    if (path == nullptr || *path == '\0') throw std::runtime_error("SETUP_EXE names no file");
    return pe::Image::Load(path);
  }();
  return image;
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Compares UTF-16 texts unit for unit and, on a difference, says where it starts in readable form.
::testing::AssertionResult SameText(std::u16string_view actual, std::u16string_view expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  const auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  const auto at = static_cast<std::size_t>(mismatch.first - actual.begin());
  return ::testing::AssertionFailure() << "texts differ from UTF-16 unit " << at << "\n  actual:   \"" << Utf8(actual)
                                       << "\"\n  expected: \"" << Utf8(expected) << "\"";
}

std::vector<std::uint8_t> ResourceData(const pe::Resource& resource) {
  auto bytes = SetupExe().BytesAt(resource.dataRva, resource.size);
  return {bytes.begin(), bytes.end()};
}

std::vector<pe::Resource> ResourcesOfType(std::uint16_t type) {
  std::vector<pe::Resource> found;
  for (const pe::Resource& resource : SetupExe().Resources()) {
    if (resource.type == pe::ResourceKey::Id(type)) found.push_back(resource);
  }
  return found;
}

// ---------------------------------------------------------------------------------------------------
// String table

// Every message the program can show, exactly as the product has always worded it (mistakes included).
const std::map<std::uint16_t, std::u16string_view> kCatalogue = {
    {101, u"Программа должна быть запущена от имени администратора."},
    {102, u"Установить Solvarn ЭЦП Browser plug-in и CSP?"},
    {103, u"Установить Solvarn ЭЦП Browser plug-in?"},
    {104, u"Solvarn ЭЦП Browser plug-in"},
    {105, u"В процессе установки Solvarn CSP возникла ошибка"},
    {106, u"В процессе установки или обновления Solvarn ЭЦП Browser plug-in возникла ошибка"},
    {107,
     u"Solvarn ЭЦП Browser plug-in и CSP успешно установлены.\n"
     u"Для корректной работы Solvarn ЭЦП Browser plug-in и CSP необходимо перезагрузить компьютер.\n"
     u"Произвести перезагрузку сейчас?"},
    {108,
     u"Solvarn ЭЦП Browser plug-in успешно установлен.\n"
     u"Для корректной работы Solvarn ЭЦП Browser plug-in необходимо перезагрузить компьютер.\n"
     u"Произвести перезагрузку сейчас?"},
    {109,
     u"Solvarn ЭЦП Browser plug-in и CSP успешно установлены.\n"
     u"Для корректной работы Solvarn ЭЦП Browser plug-in и CSP может потребоваться перезапустить браузер."},
    {110,
     u"Solvarn ЭЦП Browser plug-in успешно установлен.\n"
     u"Для корректной работы Solvarn ЭЦП Browser plug-in может потребоваться перезапустить браузер."},
    {111, u"Не удалось произвести перезагрузку.\nПерезагрузите компьютер вручную."},
    {117, u"Для установки продукта на Windows 2000 требуется пакет обновлений SP4."},
    {118, u"Для установки продукта на Windows XP требуется пакет обновлений SP2."},
    {119, u"Для установки продукта на Windows 2003 требуется пакет обновлений SP1."},
    {122, u"Установить Solvarn ЭЦП Browser plug-in и УЭК CSP?"},
    {123,
     u"Solvarn ЭЦП Browser plug-in и УЭК CSP успешно установлены.\n"
     u"Для корректной работы Solvarn ЭЦП Browser plug-in и УЭК CSP необходимо перезагрузить компьютер.\n"
     u"Произвести перезагрузку сейчас?"},
    {124,
     u"Solvarn ЭЦП Browser plug-in и УЭК CSP успешно установлены.\n"
     u"Для корректной работы Solvarn ЭЦП Browser plug-in и УЭК CSP может потребоваться перезапустить браузер."},
    {125, u"Установить Solvarn ЭЦП Browser plug-in, CSP и УЭК CSP?"},
    {126,
     u"Solvarn ЭЦП Browser plug-in, CSP и УЭК CSP успешно установлены.\n"
     u"Для корректной работы Solvarn ЭЦП Browser plug-in, CSP и UCSP необходимо перезагрузить компьютер.\n"
     u"Произвести перезагрузку сейчас?"},
    {127,
     u"Solvarn ЭЦП Browser plug-in, CSP и UCSP успешно установлены.\n"
     u"Для корректной работы Solvarn ЭЦП Browser plug-in, CSP и УЭК CSP может потребоваться перезапустить браузер."},
    {128, u"Обновление"},
    {129, u"Ошибка"},
    {131, u"Невозможно узнать версию установленного msi-пакета."},
    {133, u"Невозможно открыть новый msi-пакет."},
    {134, u"Невозможно узнать версию нового msi-пакета."},
    {135, u"Невозможно найти полный путь установленного msi-пакета."},
    {139, u"Невозможно найти msi-пакет."},
    {142, u"Скрыть"},
    {143, u"Опции"},
    {144, u"Невозможно узнать значение переменной окружения."},
    {147, u"Эта версия Solvarn ЭЦП Browser plug-in уже установлена. Переустановить?"},
    {150, u"Более новая версия Solvarn ЭЦП Browser plug-in уже установлена."},
    {151, u"Невозможно найти ProductCode msi-пакета."},
    {152, u"Невозможно узнать путь системной директории."},
    {153, u"Будет произведено обновление %s %s до версии %s. Обновить?"},
};

// Decodes every RT_STRING block of one language the way LoadStringW reads them: block n holds ids
// (n-1)*16 .. (n-1)*16+15, each a 16-bit length and that many UTF-16 units; length 0 means no entry.
std::map<std::uint16_t, std::u16string> StringTable(std::uint16_t language) {
  std::map<std::uint16_t, std::u16string> table;
  for (const pe::Resource& block : ResourcesOfType(pe::kRtString)) {
    if (block.language != language) continue;
    if (!block.name.id || *block.name.id == 0 || *block.name.id > 4096) {
      throw std::runtime_error("string block with a name LoadStringW cannot look up");
    }
    const std::vector<std::uint8_t> data = ResourceData(block);
    pe::Reader reader(data);
    for (std::uint16_t i = 0; i < 16; ++i) {
      const std::uint16_t length = reader.U16();
      std::u16string text;
      for (std::uint16_t k = 0; k < length; ++k) text.push_back(static_cast<char16_t>(reader.U16()));
      if (length != 0) table.emplace(static_cast<std::uint16_t>((*block.name.id - 1) * 16 + i), std::move(text));
    }
    while (reader.Remaining() != 0) {
      if (reader.U8() != 0) throw std::runtime_error("bytes after the 16 entries of a string block");
    }
  }
  return table;
}

TEST(StringTable, HoldsTheCatalogueInRussianAndNothingElse) {
  const auto table = StringTable(kRussian);
  for (const auto& [id, text] : kCatalogue) {
    auto found = table.find(id);
    if (found == table.end()) {
      ADD_FAILURE() << "string " << id << " is missing";
      continue;
    }
    EXPECT_TRUE(SameText(found->second, text)) << "string " << id;
  }
  for (const auto& [id, text] : table) {
    EXPECT_TRUE(kCatalogue.contains(id)) << "unexpected string " << id << ": \"" << Utf8(text) << "\"";
  }
  // The program asks for 132 and must find nothing there.
  EXPECT_FALSE(table.contains(132));
}

TEST(StringTable, HasNoBlocksInOtherLanguages) {
  // A block in another language would be what an English or neutral lookup finds first, so some
  // messages could come out differently (or empty) depending on the user's UI language.
  for (const pe::Resource& block : ResourcesOfType(pe::kRtString)) {
    EXPECT_EQ(block.language, kRussian) << "string block " << (block.name.id ? *block.name.id : 0);
  }
}

// ---------------------------------------------------------------------------------------------------
// Dialog 141

// Window and control styles, written out so the expectations below read like the template.
constexpr std::uint32_t kWsPopup = 0x80000000, kWsChild = 0x40000000, kWsVisible = 0x10000000, kWsCaption = 0x00C00000,
                        kWsSysMenu = 0x00080000, kWsGroup = 0x00020000, kWsTabStop = 0x00010000;
constexpr std::uint32_t kDsModalFrame = 0x80, kDsSetFont = 0x40, kDsFixedSys = 0x08, kDsCenter = 0x800;
constexpr std::uint32_t kBsPushButton = 0x0, kBsDefPushButton = 0x1, kBsGroupBox = 0x7, kBsAutoRadioButton = 0x9;
constexpr std::uint32_t kSsLeft = 0x0;
constexpr std::uint32_t kWsExWindowEdge = 0x100;
constexpr std::uint16_t kButtonAtom = 0x0080, kStaticAtom = 0x0082;

// A resource "sz_Or_Ord": nothing, an ordinal, or a string.
struct NameOrOrdinal {
  std::optional<std::uint16_t> ordinal;
  std::u16string text;
  bool operator==(const NameOrOrdinal&) const = default;
};

NameOrOrdinal ReadNameOrOrdinal(pe::Reader& reader) {
  const std::uint16_t first = reader.U16();
  if (first == 0xFFFF) return {reader.U16(), {}};
  if (first == 0) return {};
  std::u16string text(1, static_cast<char16_t>(first));
  text += reader.Sz16();
  return {std::nullopt, text};
}

struct DialogItem {
  std::uint32_t helpId, exStyle, style;
  std::int16_t x, y, cx, cy;
  std::uint32_t id;
  NameOrOrdinal windowClass, title;
  std::uint16_t extraCount;
};

struct Dialog {
  std::uint16_t version, signature;
  std::uint32_t helpId, exStyle, style;
  std::int16_t x, y, cx, cy;
  NameOrOrdinal menu, windowClass;
  std::u16string title;
  std::uint16_t pointSize, weight;
  std::uint8_t italic, charset;
  std::u16string typeface;
  std::vector<DialogItem> items;
};

// Decodes a DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items, which start on 4-byte boundaries.
Dialog ParseDialogEx(const std::vector<std::uint8_t>& data) {
  pe::Reader r(data);
  Dialog d{};
  d.version = r.U16();
  d.signature = r.U16();
  if (d.version != 1 || d.signature != 0xFFFF) throw std::runtime_error("not an extended dialog template");
  d.helpId = r.U32();
  d.exStyle = r.U32();
  d.style = r.U32();
  const std::uint16_t count = r.U16();
  d.x = static_cast<std::int16_t>(r.U16());
  d.y = static_cast<std::int16_t>(r.U16());
  d.cx = static_cast<std::int16_t>(r.U16());
  d.cy = static_cast<std::int16_t>(r.U16());
  d.menu = ReadNameOrOrdinal(r);
  d.windowClass = ReadNameOrOrdinal(r);
  d.title = r.Sz16();
  if (d.style & kDsSetFont) {
    d.pointSize = r.U16();
    d.weight = r.U16();
    d.italic = r.U8();
    d.charset = r.U8();
    d.typeface = r.Sz16();
  }
  for (std::uint16_t i = 0; i < count; ++i) {
    r.AlignTo(4);
    DialogItem item{};
    item.helpId = r.U32();
    item.exStyle = r.U32();
    item.style = r.U32();
    item.x = static_cast<std::int16_t>(r.U16());
    item.y = static_cast<std::int16_t>(r.U16());
    item.cx = static_cast<std::int16_t>(r.U16());
    item.cy = static_cast<std::int16_t>(r.U16());
    item.id = r.U32();
    item.windowClass = ReadNameOrOrdinal(r);
    item.title = ReadNameOrOrdinal(r);
    item.extraCount = r.U16();
    r.Skip(item.extraCount);
    d.items.push_back(std::move(item));
  }
  return d;
}

Dialog SetupDialog() {
  auto data = SetupExe().FindResource(pe::ResourceKey::Id(pe::kRtDialog), pe::ResourceKey::Id(141), kRussian);
  if (!data) throw std::runtime_error("no dialog 141 in Russian");
  return ParseDialogEx(*data);
}

TEST(Dialog, TemplateIsTheFixedSizeCentredModalBox) {
  const Dialog d = SetupDialog();
  // Exactly these bits: an added WS_VISIBLE would show the dialog before it is ready, a missing
  // DS_FIXEDSYS or DS_SETFONT would change the font and so every control's size.
  EXPECT_EQ(d.style, kWsPopup | kWsCaption | kWsSysMenu | kDsCenter | kDsModalFrame | kDsSetFont | kDsFixedSys);
  EXPECT_EQ(d.style, 0x80C808C8u);
  EXPECT_EQ(d.exStyle, kWsExWindowEdge);
  EXPECT_EQ(d.helpId, 0u);
  EXPECT_EQ(d.x, 0);
  EXPECT_EQ(d.y, 0);
  EXPECT_EQ(d.cx, 204);
  EXPECT_EQ(d.cy, 143);
  EXPECT_EQ(d.menu, NameOrOrdinal{});
  EXPECT_EQ(d.windowClass, NameOrOrdinal{});
  EXPECT_TRUE(SameText(d.title, u"DADErara"));
  EXPECT_EQ(d.pointSize, 8);
  EXPECT_EQ(d.weight, 400);
  EXPECT_EQ(d.italic, 0);
  EXPECT_EQ(d.charset, 1);  // DEFAULT_CHARSET
  EXPECT_TRUE(SameText(d.typeface, u"MS Shell Dlg"));
}

struct ExpectedControl {
  std::uint32_t id;
  std::uint16_t classAtom;
  std::u16string_view text;
  std::int16_t x, y, cx, cy;
  std::uint32_t style;
};

TEST(Dialog, ControlsInTabOrderWithTheirStyles) {
  const std::u16string_view welcome =
      u"https://www.solvarn.example\n"
      u"\n"
      u"Благодарим за выбор Solvarn CSP.\n"
      u"Для продолжения установки нажимте \"Далее\",\n"
      u"для установки специфических настроек - \"Опции\".\n"
      u"Если вы не знаете, что выбирать, нажмите \"Далее\".";
  // Hidden at start: the language and security choices, which "Опции" reveals.
  const ExpectedControl expected[] = {
      {140, kButtonAtom, u"Далее", 90, 122, 50, 14, kWsChild | kWsVisible | kWsTabStop | kBsDefPushButton},
      {2, kButtonAtom, u"Отмена", 147, 122, 50, 14, kWsChild | kWsVisible | kWsTabStop | kBsPushButton},
      {1006, kButtonAtom, u"Русский", 12, 20, 42, 8, kWsChild | kWsGroup | kBsAutoRadioButton},
      {1007, kButtonAtom, u"English", 12, 32, 42, 8, kWsChild | kBsAutoRadioButton},
      {1008, kButtonAtom, u"KC1", 14, 69, 30, 8, kWsChild | kWsGroup | kBsAutoRadioButton},
      {1009, kButtonAtom, u"KC2", 14, 82, 30, 8, kWsChild | kBsAutoRadioButton},
      {1010, kButtonAtom, u"KC3", 14, 94, 30, 8, kWsChild | kBsAutoRadioButton},
      {1012, kButtonAtom, u"Язык установки:", 6, 6, 191, 44, kWsChild | kBsGroupBox},
      {1013, kButtonAtom, u"Уровень безопасности:", 6, 55, 191, 54, kWsChild | kBsGroupBox},
      {1011, kButtonAtom, u"Solvarn — подпись, которой доверяют", 6, 6, 191, 103, kWsChild | kWsVisible | kBsGroupBox},
      {1015, kButtonAtom, u"Опции", 7, 122, 50, 14, kWsChild | kWsVisible | kWsTabStop | kBsPushButton},
      {1014, kStaticAtom, welcome, 15, 28, 174, 74, kWsChild | kWsVisible | kWsGroup | kSsLeft},
  };

  const Dialog d = SetupDialog();
  ASSERT_EQ(d.items.size(), std::size(expected));
  for (std::size_t i = 0; i < d.items.size(); ++i) {
    const DialogItem& item = d.items[i];
    const ExpectedControl& want = expected[i];
    SCOPED_TRACE("control #" + std::to_string(i) + ", expected id " + std::to_string(want.id));
    EXPECT_EQ(item.id, want.id);
    EXPECT_EQ(item.windowClass, (NameOrOrdinal{want.classAtom, {}})) << "class as a predefined atom";
    EXPECT_FALSE(item.title.ordinal);
    EXPECT_TRUE(SameText(item.title.text, want.text));
    EXPECT_EQ(item.x, want.x);
    EXPECT_EQ(item.y, want.y);
    EXPECT_EQ(item.cx, want.cx);
    EXPECT_EQ(item.cy, want.cy);
    EXPECT_EQ(item.style, want.style) << std::hex << "0x" << item.style << " != 0x" << want.style;
    EXPECT_EQ(item.exStyle, 0u);
    EXPECT_EQ(item.helpId, 0u);
    EXPECT_EQ(item.extraCount, 0);
  }
}

TEST(Dialog, ExistsOnlyInRussian) {
  std::vector<std::uint16_t> languages;
  for (const pe::Resource& dialog : ResourcesOfType(pe::kRtDialog)) {
    EXPECT_EQ(dialog.name, pe::ResourceKey::Id(141)) << "a dialog other than 141";
    languages.push_back(dialog.language);
  }
  EXPECT_EQ(languages, std::vector<std::uint16_t>{kRussian});
}

// ---------------------------------------------------------------------------------------------------
// Icon group 100

struct GroupIconEntry {
  std::uint8_t width, height, colorCount, reserved;
  std::uint16_t planes, bitCount;
  std::uint32_t bytesInRes;
  std::uint16_t id;
};

std::vector<GroupIconEntry> GroupIcon(const pe::Resource& group) {
  const std::vector<std::uint8_t> data = ResourceData(group);
  pe::Reader r(data);
  if (r.U16() != 0 || r.U16() != 1) throw std::runtime_error("not an icon group");
  const std::uint16_t count = r.U16();
  std::vector<GroupIconEntry> entries;
  for (std::uint16_t i = 0; i < count; ++i) {
    GroupIconEntry e{};
    e.width = r.U8();
    e.height = r.U8();
    e.colorCount = r.U8();
    e.reserved = r.U8();
    e.planes = r.U16();
    e.bitCount = r.U16();
    e.bytesInRes = r.U32();
    e.id = r.U16();
    entries.push_back(e);
  }
  if (r.Remaining() != 0) throw std::runtime_error("bytes after the icon group entries");
  return entries;
}

pe::Resource TheGroupIcon() {
  const auto groups = ResourcesOfType(pe::kRtGroupIcon);
  if (groups.size() != 1) throw std::runtime_error("expected exactly one icon group");
  return groups.front();
}

TEST(Icon, GroupHoldsSixteenAndThirtyTwoPixelImagesInFourAndEightBits) {
  const pe::Resource group = TheGroupIcon();
  EXPECT_EQ(group.name, pe::ResourceKey::Id(100));
  std::set<std::tuple<int, int, int, int>> formats;  // width, height, colour count, bits
  for (const GroupIconEntry& e : GroupIcon(group)) {
    EXPECT_EQ(e.planes, 1);
    EXPECT_EQ(e.reserved, 0);
    formats.emplace(e.width, e.height, e.colorCount, e.bitCount);
  }
  const std::set<std::tuple<int, int, int, int>> expected = {
      {16, 16, 16, 4}, {16, 16, 0, 8}, {32, 32, 16, 4}, {32, 32, 0, 8}};
  EXPECT_EQ(formats, expected);
  EXPECT_EQ(GroupIcon(group).size(), 4u);
}

TEST(Icon, EveryImageOfTheGroupIsAWellFormedBitmap) {
  const pe::Resource group = TheGroupIcon();
  for (const GroupIconEntry& e : GroupIcon(group)) {
    SCOPED_TRACE("icon " + std::to_string(e.id));
    auto image = SetupExe().FindResource(pe::ResourceKey::Id(pe::kRtIcon), pe::ResourceKey::Id(e.id), group.language);
    ASSERT_TRUE(image) << "the group refers to an RT_ICON that is not there";
    ASSERT_EQ(image->size(), e.bytesInRes);

    pe::Reader r(*image);
    ASSERT_EQ(r.U32(), 40u) << "BITMAPINFOHEADER";
    const std::uint32_t width = r.U32();
    const std::uint32_t doubledHeight = r.U32();
    const std::uint16_t planes = r.U16();
    const std::uint16_t bits = r.U16();
    const std::uint32_t compression = r.U32();
    r.Skip(12);
    const std::uint32_t colorsUsed = r.U32();
    EXPECT_EQ(width, e.width);
    EXPECT_EQ(doubledHeight, 2u * e.height) << "the height counts the XOR and the AND bitmap";
    EXPECT_EQ(planes, 1);
    EXPECT_EQ(bits, e.bitCount);
    EXPECT_EQ(compression, 0u);

    const std::uint32_t paletteEntries = colorsUsed != 0 ? colorsUsed : 1u << bits;
    const std::uint32_t xorStride = (width * bits + 31) / 32 * 4;
    const std::uint32_t andStride = (width + 31) / 32 * 4;
    EXPECT_EQ(image->size(), 40 + 4 * paletteEntries + (xorStride + andStride) * e.height);

    // A picture, not an empty square: some pixels opaque (AND bit 0), some transparent.
    const std::size_t maskStart = 40 + 4 * paletteEntries + xorStride * e.height;
    ASSERT_LE(maskStart + andStride * e.height, image->size());
    std::size_t opaque = 0;
    for (std::uint32_t y = 0; y < e.height; ++y) {
      for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint8_t byte = (*image)[maskStart + y * andStride + x / 8];
        if ((byte & (0x80 >> (x % 8))) == 0) ++opaque;
      }
    }
    EXPECT_GT(opaque, 0u);
    EXPECT_LT(opaque, std::size_t{width} * e.height);
  }
}

// ---------------------------------------------------------------------------------------------------
// Manifest

// Just enough XML for a manifest: elements, attributes, text, comments, the XML declaration and the
// five predefined entities. Namespaces are resolved from xmlns attributes. Throws on malformed input,
// since Windows refuses to start a program whose manifest does not parse.
struct XmlElement {
  std::string name;  // local name
  std::string ns;
  std::map<std::string, std::string> attributes;  // by local name, xmlns ones left out
  std::string text;
  int parent = -1;
};

class Xml {
 public:
  explicit Xml(std::string_view source) : s_(source) { Parse(); }
  const std::vector<XmlElement>& Elements() const { return elements_; }

  std::vector<const XmlElement*> Find(std::string_view ns, std::string_view name) const {
    std::vector<const XmlElement*> found;
    for (const XmlElement& e : elements_) {
      if (e.ns == ns && e.name == name) found.push_back(&e);
    }
    return found;
  }
  const XmlElement* Parent(const XmlElement& e) const { return e.parent < 0 ? nullptr : &elements_[e.parent]; }

 private:
  [[noreturn]] void Fail(const std::string& why) const {
    throw std::runtime_error("manifest XML: " + why + " at byte " + std::to_string(p_));
  }
  bool Next(std::string_view token) const { return s_.substr(p_, token.size()) == token; }
  void SkipPast(std::string_view token) {
    const auto at = s_.find(token, p_);
    if (at == std::string_view::npos) Fail("missing " + std::string(token));
    p_ = at + token.size();
  }
  void SkipSpace() {
    while (p_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[p_]))) ++p_;
  }
  std::string Name() {
    const std::size_t start = p_;
    while (p_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[p_])) || s_[p_] == ':' || s_[p_] == '_' ||
                              s_[p_] == '-' || s_[p_] == '.')) {
      ++p_;
    }
    if (p_ == start) Fail("name expected");
    return std::string(s_.substr(start, p_ - start));
  }
  std::string Decode(std::string_view raw) const {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < raw.size();) {
      if (raw[i] != '&') {
        out += raw[i++];
        continue;
      }
      bool known = false;
      for (const auto& [entity, c] : kEntities) {
        if (raw.substr(i, entity.size()) == entity) {
          out += c;
          i += entity.size();
          known = true;
          break;
        }
      }
      if (!known) Fail("unknown entity");
    }
    return out;
  }
  static std::string_view Local(std::string_view qualified) {
    const auto colon = qualified.find(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
  }

  void Parse() {
    struct Open {
      std::string qualified;
      int index;
      std::map<std::string, std::string> namespaces;  // prefix ("" for the default) -> URI
    };
    std::vector<Open> stack;
    bool rootSeen = false;
    while (true) {
      const std::size_t textStart = p_;
      while (p_ < s_.size() && s_[p_] != '<') ++p_;
      if (!stack.empty()) {
        elements_[stack.back().index].text += Decode(s_.substr(textStart, p_ - textStart));
      } else if (s_.substr(textStart, p_ - textStart).find_first_not_of(" \t\r\n") != std::string_view::npos) {
        Fail("text outside the root element");
      }
      if (p_ >= s_.size()) break;
      if (Next("<?")) {
        SkipPast("?>");
      } else if (Next("<!--")) {
        SkipPast("-->");
      } else if (Next("<!")) {
        Fail("DOCTYPE or CDATA not expected");
      } else if (Next("</")) {
        p_ += 2;
        const std::string name = Name();
        SkipSpace();
        if (!Next(">")) Fail("'>' expected");
        ++p_;
        if (stack.empty() || stack.back().qualified != name) Fail("mismatched </" + name + ">");
        stack.pop_back();
      } else {
        ++p_;
        if (stack.empty() && rootSeen) Fail("a second root element");
        rootSeen = true;
        Open open{Name(), static_cast<int>(elements_.size()),
                  stack.empty() ? decltype(Open::namespaces){} : stack.back().namespaces};
        std::map<std::string, std::string> raw;
        while (true) {
          SkipSpace();
          if (Next("/>") || Next(">")) break;
          const std::string attribute = Name();
          SkipSpace();
          if (!Next("=")) Fail("'=' expected");
          ++p_;
          SkipSpace();
          if (p_ >= s_.size() || (s_[p_] != '"' && s_[p_] != '\'')) Fail("quoted value expected");
          const char quote = s_[p_++];
          const auto end = s_.find(quote, p_);
          if (end == std::string_view::npos) Fail("unterminated value");
          const std::string value = Decode(s_.substr(p_, end - p_));
          p_ = end + 1;
          if (!raw.emplace(attribute, value).second) Fail("repeated attribute " + attribute);
          if (attribute == "xmlns") open.namespaces[""] = value;
          if (attribute.starts_with("xmlns:")) open.namespaces[attribute.substr(6)] = value;
        }
        XmlElement element;
        const auto colon = open.qualified.find(':');
        const std::string prefix = colon == std::string::npos ? "" : open.qualified.substr(0, colon);
        element.name = std::string(Local(open.qualified));
        element.ns = open.namespaces.contains(prefix) ? open.namespaces[prefix] : "";
        if (!prefix.empty() && !open.namespaces.contains(prefix)) Fail("undeclared prefix " + prefix);
        for (const auto& [attribute, value] : raw) {
          if (attribute != "xmlns" && !attribute.starts_with("xmlns:")) {
            element.attributes[std::string(Local(attribute))] = value;
          }
        }
        element.parent = stack.empty() ? -1 : stack.back().index;
        elements_.push_back(std::move(element));
        if (Next("/>")) {
          p_ += 2;
        } else {
          ++p_;
          stack.push_back(std::move(open));
        }
      }
    }
    if (!stack.empty()) Fail("unclosed <" + stack.back().qualified + ">");
    if (!rootSeen) Fail("no root element");
  }

  std::string_view s_;
  std::size_t p_ = 0;
  std::vector<XmlElement> elements_;
};

constexpr std::string_view kAsmV1 = "urn:schemas-microsoft-com:asm.v1";
constexpr std::string_view kAsmV3 = "urn:schemas-microsoft-com:asm.v3";
constexpr std::string_view kAsmV2 = "urn:schemas-microsoft-com:asm.v2";
constexpr std::string_view kCompatibility = "urn:schemas-microsoft-com:compatibility.v1";
constexpr std::string_view kWindowsSettings2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings";

std::string Attribute(const XmlElement& e, const std::string& name) {
  auto found = e.attributes.find(name);
  return found == e.attributes.end() ? "<absent>" : found->second;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

Xml Manifest() {
  const auto manifests = ResourcesOfType(pe::kRtManifest);
  if (manifests.size() != 1) throw std::runtime_error("expected exactly one manifest resource");
  const std::vector<std::uint8_t> data = ResourceData(manifests.front());
  return Xml(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

TEST(Manifest, IsTheOneProcessManifestAndWellFormed) {
  // Windows reads the manifest of an .exe from RT_MANIFEST 1 (CREATEPROCESS_MANIFEST_RESOURCE_ID);
  // a second one (say, a toolchain default in another language) could be the one it picks.
  const auto manifests = ResourcesOfType(pe::kRtManifest);
  ASSERT_EQ(manifests.size(), 1u);
  EXPECT_EQ(manifests.front().name, pe::ResourceKey::Id(1));

  const Xml xml = Manifest();
  const XmlElement& root = xml.Elements().front();
  EXPECT_EQ(root.name, "assembly");
  EXPECT_EQ(root.ns, kAsmV1);
  EXPECT_EQ(Attribute(root, "manifestVersion"), "1.0");
  // The program's own identity: a win32 assembly with a four-part version.
  const XmlElement* identity = nullptr;
  for (const XmlElement* e : xml.Find(kAsmV1, "assemblyIdentity")) {
    if (e->parent == 0) identity = e;
  }
  ASSERT_NE(identity, nullptr) << "no assemblyIdentity of the program";
  EXPECT_EQ(Attribute(*identity, "type"), "win32");
  EXPECT_NE(Attribute(*identity, "name"), "<absent>");
  int parts = 0;
  std::string version = Attribute(*identity, "version") + ".";
  for (std::size_t start = 0, dot; (dot = version.find('.', start)) != std::string::npos; start = dot + 1, ++parts) {
    const std::string part = version.substr(start, dot - start);
    EXPECT_TRUE(!part.empty() && part.find_first_not_of("0123456789") == std::string::npos) << version;
  }
  EXPECT_EQ(parts, 4) << version;
}

TEST(Manifest, RequiresAdministratorWithoutUiAccess) {
  const Xml xml = Manifest();
  std::vector<const XmlElement*> levels = xml.Find(kAsmV3, "requestedExecutionLevel");
  for (const XmlElement* e : xml.Find(kAsmV2, "requestedExecutionLevel")) levels.push_back(e);
  ASSERT_EQ(levels.size(), 1u);
  EXPECT_EQ(Attribute(*levels[0], "level"), "requireAdministrator");
  EXPECT_EQ(Attribute(*levels[0], "uiAccess"), "false");
}

TEST(Manifest, DeclaresDpiAwareness) {
  const Xml xml = Manifest();
  const auto dpiAware = xml.Find(kWindowsSettings2005, "dpiAware");
  ASSERT_EQ(dpiAware.size(), 1u) << "dpiAware in the 2005 WindowsSettings namespace";
  EXPECT_EQ(dpiAware[0]->text, "true");
  const XmlElement* settings = xml.Parent(*dpiAware[0]);
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->name, "windowsSettings");
  const XmlElement* application = xml.Parent(*settings);
  ASSERT_NE(application, nullptr);
  EXPECT_EQ(application->name, "application");
  EXPECT_EQ(application->ns, kAsmV3);
}

TEST(Manifest, DependsOnCommonControlsSix) {
  const Xml xml = Manifest();
  int found = 0;
  for (const XmlElement* e : xml.Find(kAsmV1, "assemblyIdentity")) {
    if (Attribute(*e, "name") != "Microsoft.Windows.Common-Controls") continue;
    ++found;
    const XmlElement* dependent = xml.Parent(*e);
    ASSERT_NE(dependent, nullptr);
    EXPECT_EQ(dependent->name, "dependentAssembly");
    const XmlElement* dependency = xml.Parent(*dependent);
    ASSERT_NE(dependency, nullptr);
    EXPECT_EQ(dependency->name, "dependency");
    EXPECT_EQ(Attribute(*e, "type"), "win32");
    EXPECT_EQ(Attribute(*e, "version"), "6.0.0.0");
    EXPECT_EQ(Attribute(*e, "processorArchitecture"), "*");
    EXPECT_EQ(Attribute(*e, "publicKeyToken"), "6595b64144ccf1df");
    EXPECT_EQ(Attribute(*e, "language"), "*");
  }
  EXPECT_EQ(found, 1);
}

TEST(Manifest, SupportsVistaThroughTen) {
  const Xml xml = Manifest();
  std::set<std::string> ids;
  for (const XmlElement* e : xml.Find(kCompatibility, "supportedOS")) {
    const XmlElement* application = xml.Parent(*e);
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(application->name, "application");
    ids.insert(Lower(Attribute(*e, "Id")));
  }
  const std::set<std::string> expected = {
      "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
      "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
      "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
      "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
  };
  EXPECT_EQ(ids, expected);
}

// ---------------------------------------------------------------------------------------------------
// The image and what it imports

TEST(Image, IsA32BitWindowsGuiProgram) {
  EXPECT_EQ(SetupExe().Machine(), 0x014C) << "IMAGE_FILE_MACHINE_I386";
  // A console-subsystem program would open a console window beside the installer.
  EXPECT_EQ(SetupExe().Subsystem(), 2) << "IMAGE_SUBSYSTEM_WINDOWS_GUI";
}

TEST(Image, ImportsOnlyKnownDlls) {
  // Setup.exe runs from a download folder. A DLL that is not one of the system's KnownDLLs would be
  // looked for beside the program first, where a planted copy may wait; a MinGW runtime DLL
  // (libstdc++-6, libgcc_s_dw2-1, libwinpthread-1) would not be there at all on a bare system. msi.dll
  // is loaded at run time by its full system path instead.
  const std::set<std::string> knownDlls = {
      "kernel32.dll", "user32.dll",   "gdi32.dll",    "advapi32.dll", "shell32.dll", "shlwapi.dll",
      "ole32.dll",    "oleaut32.dll", "comdlg32.dll", "msvcrt.dll",   "ntdll.dll",
  };
  const auto imports = SetupExe().ImportedDlls();
  const auto delayed = SetupExe().DelayImportedDlls();
  EXPECT_TRUE(std::find_if(imports.begin(), imports.end(),
                           [](const std::string& n) { return Lower(n) == "kernel32.dll"; }) != imports.end())
      << "every Windows program imports KERNEL32; the import table was not read";
  for (const std::string& name : imports) {
    EXPECT_TRUE(knownDlls.contains(Lower(name))) << "imports " << name;
  }
  // A delay-loaded DLL is found by the ordinary search order, program folder first.
  EXPECT_TRUE(delayed.empty()) << "delay-imports " << delayed.front();
}

TEST(Version, DescribesTheFileInRussianWithItsVersion) {
  auto data = SetupExe().FindResource(pe::ResourceKey::Id(16), pe::ResourceKey::Id(1), kRussian);
  ASSERT_TRUE(data.has_value()) << "no RT_VERSION 1 in Russian";
  // VS_VERSIONINFO: length, value length, type, "VS_VERSION_INFO", padding, VS_FIXEDFILEINFO.
  ASSERT_GE(data->size(), 40u + 52u);
  std::u16string text(data->size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>((*data)[2 * i] | ((*data)[2 * i + 1] << 8));
  }
  const std::size_t key = text.find(u"VS_VERSION_INFO");
  ASSERT_EQ(key, 3u);
  const std::size_t fixed = 40;  // 6 header bytes + 32 bytes of key and terminator, padded to 4
  auto u32At = [&](std::size_t offset) { return pe::Reader(*data, offset).U32(); };
  EXPECT_EQ(u32At(fixed), 0xFEEF04BDu) << "VS_FIXEDFILEINFO signature";
  EXPECT_EQ(u32At(fixed + 8), 0x00010000u) << "file version 1.0";
  EXPECT_EQ(u32At(fixed + 12), 0x00000000u) << "file version .0.0";
  EXPECT_EQ(u32At(fixed + 16), 0x00010000u) << "product version 1.0";
  for (std::u16string_view expected :
       {std::u16string_view(u"FileDescription"), std::u16string_view(u"Установщик Solvarn ЭЦП Browser plug-in"),
        std::u16string_view(u"LegalCopyright"), std::u16string_view(u"© 2026 Solvarn"), std::u16string_view(u"1.0.0.0"),
        std::u16string_view(u"041904B0")}) {
    EXPECT_NE(text.find(expected), std::u16string::npos) << Utf8(expected);
  }
}

}  // namespace
