"""The built Setup.exe (path in SETUP_EXE) read as a file with pefile: its string table, dialog, icon,
manifest and version resource, what it imports, and whether it still starts on Windows 2000."""

import functools
import os
import re
import struct
import unittest
import xml.etree.ElementTree as ElementTree
import xml.parsers.expat
from pathlib import Path

import pefile

RUSSIAN = 0x0419
RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 14, 16, 24

image = None


def setUpModule():
    global image
    image = pefile.PE(os.environ["SETUP_EXE"])


def resources(type_id, pe=None):
    """(name, language, data) of every resource of a type; name is the id, or the string of a named one."""
    pe = pe or image
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id != type_id:
            continue
        for name_entry in type_entry.directory.entries:
            name = name_entry.id if name_entry.id is not None else str(name_entry.name)
            for language_entry in name_entry.directory.entries:
                entry = language_entry.data.struct
                yield name, language_entry.id, pe.get_data(entry.OffsetToData, entry.Size)


class Reader:
    """Little-endian reads from resource data; struct raises when the data runs out."""

    def __init__(self, data):
        self.data, self.at = data, 0

    def read(self, layout):
        values = struct.unpack_from("<" + layout, self.data, self.at)
        self.at += struct.calcsize("<" + layout)
        return values[0] if len(values) == 1 else values

    def text(self):
        """A NUL-terminated UTF-16 string."""
        end = self.at
        while self.data[end : end + 2] != b"\0\0":
            if end + 2 > len(self.data):
                raise ValueError("unterminated UTF-16 string")
            end += 2
        text = self.data[self.at : end].decode("utf-16-le")
        self.at = end + 2
        return text

    def name_or_ordinal(self):
        """A resource "sz_Or_Ord": an int ordinal, a string, or "" for nothing."""
        if self.data[self.at : self.at + 2] == b"\xff\xff":
            self.at += 2
            return self.read("H")
        return self.text()

    def align(self, boundary):
        self.at += -self.at % boundary


# ---------------------------------------------------------------------------------------------------
# String table

# Every message the program can show, exactly as the product has always worded it (mistakes included).
CATALOGUE = {
    101: "Программа должна быть запущена от имени администратора.",
    102: "Установить Solvarn ЭЦП Browser plug-in и CSP?",
    103: "Установить Solvarn ЭЦП Browser plug-in?",
    104: "Solvarn ЭЦП Browser plug-in",
    105: "В процессе установки Solvarn CSP возникла ошибка",
    106: "В процессе установки или обновления Solvarn ЭЦП Browser plug-in возникла ошибка",
    107: "Solvarn ЭЦП Browser plug-in и CSP успешно установлены.\n"
    "Для корректной работы Solvarn ЭЦП Browser plug-in и CSP необходимо перезагрузить компьютер.\n"
    "Произвести перезагрузку сейчас?",
    108: "Solvarn ЭЦП Browser plug-in успешно установлен.\n"
    "Для корректной работы Solvarn ЭЦП Browser plug-in необходимо перезагрузить компьютер.\n"
    "Произвести перезагрузку сейчас?",
    109: "Solvarn ЭЦП Browser plug-in и CSP успешно установлены.\n"
    "Для корректной работы Solvarn ЭЦП Browser plug-in и CSP может потребоваться перезапустить браузер.",
    110: "Solvarn ЭЦП Browser plug-in успешно установлен.\n"
    "Для корректной работы Solvarn ЭЦП Browser plug-in может потребоваться перезапустить браузер.",
    111: "Не удалось произвести перезагрузку.\nПерезагрузите компьютер вручную.",
    117: "Для установки продукта на Windows 2000 требуется пакет обновлений SP4.",
    118: "Для установки продукта на Windows XP требуется пакет обновлений SP2.",
    119: "Для установки продукта на Windows 2003 требуется пакет обновлений SP1.",
    122: "Установить Solvarn ЭЦП Browser plug-in и УЭК CSP?",
    123: "Solvarn ЭЦП Browser plug-in и УЭК CSP успешно установлены.\n"
    "Для корректной работы Solvarn ЭЦП Browser plug-in и УЭК CSP необходимо перезагрузить компьютер.\n"
    "Произвести перезагрузку сейчас?",
    124: "Solvarn ЭЦП Browser plug-in и УЭК CSP успешно установлены.\n"
    "Для корректной работы Solvarn ЭЦП Browser plug-in и УЭК CSP может потребоваться перезапустить браузер.",
    125: "Установить Solvarn ЭЦП Browser plug-in, CSP и УЭК CSP?",
    126: "Solvarn ЭЦП Browser plug-in, CSP и УЭК CSP успешно установлены.\n"
    "Для корректной работы Solvarn ЭЦП Browser plug-in, CSP и UCSP необходимо перезагрузить компьютер.\n"
    "Произвести перезагрузку сейчас?",
    127: "Solvarn ЭЦП Browser plug-in, CSP и UCSP успешно установлены.\n"
    "Для корректной работы Solvarn ЭЦП Browser plug-in, CSP и УЭК CSP может потребоваться перезапустить браузер.",
    128: "Обновление",
    129: "Ошибка",
    131: "Невозможно узнать версию установленного msi-пакета.",
    133: "Невозможно открыть новый msi-пакет.",
    134: "Невозможно узнать версию нового msi-пакета.",
    135: "Невозможно найти полный путь установленного msi-пакета.",
    139: "Невозможно найти msi-пакет.",
    142: "Скрыть",
    143: "Опции",
    144: "Невозможно узнать значение переменной окружения.",
    147: "Эта версия Solvarn ЭЦП Browser plug-in уже установлена. Переустановить?",
    150: "Более новая версия Solvarn ЭЦП Browser plug-in уже установлена.",
    151: "Невозможно найти ProductCode msi-пакета.",
    152: "Невозможно узнать путь системной директории.",
    153: "Будет произведено обновление %s %s до версии %s. Обновить?",
    154: "Удалить Solvarn ЭЦП Browser plug-in?",
    155: "Solvarn ЭЦП Browser plug-in успешно удалён.\nДля завершения удаления Solvarn ЭЦП Browser plug-in необходимо перезагрузить компьютер.\nПроизвести перезагрузку сейчас?",
    156: "Solvarn ЭЦП Browser plug-in успешно удалён.\nДля завершения удаления может потребоваться перезапустить браузер.",
    157: "Solvarn ЭЦП Browser plug-in не установлен.",
    158: "В процессе удаления Solvarn ЭЦП Browser plug-in возникла ошибка",
}


class StringTable(unittest.TestCase):
    def test_holds_the_catalogue_in_russian_and_nothing_else(self):
        # LoadStringW finds string n in block n / 16 + 1, entry n % 16; a block in another language
        # would be what an English or neutral lookup finds first.
        table = {}
        for type_entry in image.DIRECTORY_ENTRY_RESOURCE.entries:
            if type_entry.id == RT_STRING:
                for block in type_entry.directory.entries:
                    self.assertIn(block.id, range(1, 4097), "a string block LoadStringW cannot look up")
                    first = (block.id - 1) * 16
                    self.assertLessEqual(block.directory.strings.keys(), set(range(first, first + 16)), block.id)
                    table.update(block.directory.strings)
        for block, language, _ in resources(RT_STRING):
            self.assertEqual(language, RUSSIAN, f"string block {block}")
        self.maxDiff = None
        self.assertEqual(table, CATALOGUE)
        # The program asks for 132 and must find nothing there.
        self.assertNotIn(132, table)


# ---------------------------------------------------------------------------------------------------
# Dialog 141

WS_POPUP, WS_CHILD, WS_VISIBLE, WS_CAPTION = 0x80000000, 0x40000000, 0x10000000, 0x00C00000
WS_SYSMENU, WS_GROUP, WS_TABSTOP = 0x00080000, 0x00020000, 0x00010000
DS_MODALFRAME, DS_SETFONT, DS_FIXEDSYS, DS_CENTER = 0x80, 0x40, 0x08, 0x800
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_GROUPBOX, BS_AUTORADIOBUTTON = 0x0, 0x1, 0x7, 0x9
SS_LEFT = 0x0
WS_EX_WINDOWEDGE = 0x100
BUTTON, STATIC = 0x0080, 0x0082  # predefined class atoms

DIALOG = {
    # Exactly these bits: an added WS_VISIBLE would show the dialog before it is ready, a missing
    # DS_FIXEDSYS or DS_SETFONT would change the font and so every control's size.
    "style": WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
    "ex_style": WS_EX_WINDOWEDGE,
    "help_id": 0,
    "position": (0, 0, 204, 143),
    "menu": "",
    "class": "",
    "title": "DADErara",
    "font": (8, 400, 0, 1, "MS Shell Dlg"),  # points, weight, italic, DEFAULT_CHARSET, typeface
}

WELCOME = (
    "https://www.solvarn.example\n"
    "\n"
    "Благодарим за выбор Solvarn CSP.\n"
    'Для продолжения установки нажимте "Далее",\n'
    'для установки специфических настроек - "Опции".\n'
    'Если вы не знаете, что выбирать, нажмите "Далее".'
)

# In tab order: (id, class atom, text, x, y, cx, cy, style). Hidden at start: the language and
# security choices, which "Опции" reveals.
CONTROLS = [
    (140, BUTTON, "Далее", 90, 122, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON),
    (2, BUTTON, "Отмена", 147, 122, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON),
    (1006, BUTTON, "Русский", 12, 20, 42, 8, WS_CHILD | WS_GROUP | BS_AUTORADIOBUTTON),
    (1007, BUTTON, "English", 12, 32, 42, 8, WS_CHILD | BS_AUTORADIOBUTTON),
    (1008, BUTTON, "KC1", 14, 69, 30, 8, WS_CHILD | WS_GROUP | BS_AUTORADIOBUTTON),
    (1009, BUTTON, "KC2", 14, 82, 30, 8, WS_CHILD | BS_AUTORADIOBUTTON),
    (1010, BUTTON, "KC3", 14, 94, 30, 8, WS_CHILD | BS_AUTORADIOBUTTON),
    (1012, BUTTON, "Язык установки:", 6, 6, 191, 44, WS_CHILD | BS_GROUPBOX),
    (1013, BUTTON, "Уровень безопасности:", 6, 55, 191, 54, WS_CHILD | BS_GROUPBOX),
    (1011, BUTTON, "Solvarn — подпись, которой доверяют", 6, 6, 191, 103, WS_CHILD | WS_VISIBLE | BS_GROUPBOX),
    (1015, BUTTON, "Опции", 7, 122, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON),
    (1014, STATIC, WELCOME, 15, 28, 174, 74, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT),
]


def setup_dialog():
    """Dialog 141 in Russian, decoded as a DLGTEMPLATEEX with its DLGITEMTEMPLATEEX items."""
    found = [data for name, language, data in resources(RT_DIALOG) if (name, language) == (141, RUSSIAN)]
    if len(found) != 1:
        raise AssertionError("no dialog 141 in Russian")
    r = Reader(found[0])
    version, signature, help_id, ex_style, style, count = r.read("HHIIIH")
    if (version, signature) != (1, 0xFFFF):
        raise AssertionError("not an extended dialog template")
    dialog = {"style": style, "ex_style": ex_style, "help_id": help_id, "position": r.read("hhhh")}
    dialog["menu"] = r.name_or_ordinal()
    dialog["class"] = r.name_or_ordinal()
    dialog["title"] = r.text()
    if style & DS_SETFONT:
        dialog["font"] = r.read("HHBB") + (r.text(),)
    items = []
    for _ in range(count):
        r.align(4)  # each item starts on a 4-byte boundary
        help_id, ex_style, style, x, y, cx, cy, control_id = r.read("IIIhhhhI")
        window_class, title, extra = r.name_or_ordinal(), r.name_or_ordinal(), r.read("H")
        r.read(f"{extra}x")
        items.append((help_id, ex_style, extra, (control_id, window_class, title, x, y, cx, cy, style)))
    return dialog, items


class Dialog(unittest.TestCase):
    def test_template_is_the_fixed_size_centred_modal_box(self):
        dialog, _ = setup_dialog()
        self.assertEqual(dialog, DIALOG)
        self.assertEqual(dialog["style"], 0x80C808C8)

    def test_controls_in_tab_order_with_their_styles(self):
        _, items = setup_dialog()
        self.assertEqual(len(items), len(CONTROLS))
        for (help_id, ex_style, extra, control), expected in zip(items, CONTROLS):
            with self.subTest(control=expected[0]):
                # The class as a predefined atom and the text as a string, not an ordinal.
                self.assertEqual(control, expected)
                self.assertEqual((help_id, ex_style, extra), (0, 0, 0))

    def test_exists_only_in_russian(self):
        self.assertEqual([(name, language) for name, language, _ in resources(RT_DIALOG)], [(141, RUSSIAN)])


# ---------------------------------------------------------------------------------------------------
# Icon group 100

# (width, height, colour count, bits per pixel) of the images in the group.
ICON_FORMATS = {(16, 16, 16, 4), (16, 16, 0, 8), (32, 32, 16, 4), (32, 32, 0, 8)}


def icon_group():
    """The one RT_GROUP_ICON: its name, language and GRPICONDIRENTRY rows
    (width, height, colours, reserved, planes, bits, bytes, id)."""
    groups = list(resources(RT_GROUP_ICON))
    if len(groups) != 1:
        raise AssertionError(f"expected exactly one icon group, found {len(groups)}")
    name, language, data = groups[0]
    r = Reader(data)
    reserved, kind, count = r.read("HHH")
    if (reserved, kind) != (0, 1):
        raise AssertionError("not an icon group")
    entries = [r.read("BBBBHHIH") for _ in range(count)]
    if r.at != len(data):
        raise AssertionError("bytes after the icon group entries")
    return name, language, entries


class Icon(unittest.TestCase):
    def test_group_holds_sixteen_and_thirty_two_pixel_images_in_four_and_eight_bits(self):
        name, _, entries = icon_group()
        self.assertEqual(name, 100)
        self.assertEqual(len(entries), 4)
        self.assertEqual({(e[0], e[1], e[2], e[5]) for e in entries}, ICON_FORMATS)
        self.assertEqual({(e[3], e[4]) for e in entries}, {(0, 1)})  # reserved, planes

    def test_every_image_of_the_group_is_a_well_formed_bitmap(self):
        _, group_language, entries = icon_group()
        icons = {(name, language): data for name, language, data in resources(RT_ICON)}
        for width, height, _, _, _, bits, size, icon_id in entries:
            with self.subTest(icon=icon_id):
                self.assertIn((icon_id, group_language), icons, "the group refers to an RT_ICON that is not there")
                data = icons[icon_id, group_language]
                self.assertEqual(len(data), size)
                header_size, bmp_width, bmp_height, planes, bmp_bits, compression = struct.unpack_from("<IiiHHI", data)
                colours_used = struct.unpack_from("<I", data, 32)[0]
                # The height counts the XOR and the AND bitmap.
                self.assertEqual((header_size, bmp_width, bmp_height, planes, bmp_bits, compression),
                                 (40, width, 2 * height, 1, bits, 0))
                palette = colours_used or 1 << bits
                xor_stride, and_stride = (width * bits + 31) // 32 * 4, (width + 31) // 32 * 4
                self.assertEqual(len(data), 40 + 4 * palette + (xor_stride + and_stride) * height)
                # A picture, not an empty square: some pixels opaque (AND bit 0), some transparent.
                mask = data[40 + 4 * palette + xor_stride * height :]
                pixels = [(x, y) for y in range(height) for x in range(width)]
                opaque = sum(not mask[y * and_stride + x // 8] & 0x80 >> x % 8 for x, y in pixels)
                self.assertGreater(opaque, 0)
                self.assertLess(opaque, width * height)


# ---------------------------------------------------------------------------------------------------
# Manifest

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V2 = "urn:schemas-microsoft-com:asm.v2"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
WINDOWS_SETTINGS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"

COMMON_CONTROLS = {
    "type": "win32",
    "name": "Microsoft.Windows.Common-Controls",
    "version": "6.0.0.0",
    "processorArchitecture": "*",
    "publicKeyToken": "6595b64144ccf1df",
    "language": "*",
}

SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10
}


def manifest_text():
    # Windows reads the manifest of an .exe from RT_MANIFEST 1 (CREATEPROCESS_MANIFEST_RESOURCE_ID);
    # a second one (say, a toolchain default in another language) could be the one it picks.
    manifests = list(resources(RT_MANIFEST))
    if [name for name, _, _ in manifests] != [1]:
        raise AssertionError(f"expected the one manifest RT_MANIFEST 1, found {[m[:2] for m in manifests]}")
    return manifests[0][2]


def local(element):
    return element.tag.rpartition("}")[2]


class DistributionCheckManifest(unittest.TestCase):
    def test_runs_as_the_invoker_on_every_release(self):
        # Without a manifest of its own, XP and 2003 would honour a distcheck.exe.local folder beside it.
        tool = pefile.PE(str(Path(os.environ["SETUP_EXE"]).parent / "distcheck.exe"))
        manifests = list(resources(RT_MANIFEST, tool))
        self.assertEqual([name for name, _, _ in manifests], [1])
        root = ElementTree.fromstring(manifests[0][2])
        levels = [e.get("level") for e in root.iter() if local(e) == "requestedExecutionLevel"]
        self.assertEqual(levels, ["asInvoker"])
        self.assertEqual({e.get("Id") for e in root.iter() if local(e) == "supportedOS"}, SUPPORTED_OS)


class Manifest(unittest.TestCase):
    def setUp(self):
        # Windows refuses to start a program whose manifest does not parse.
        self.root = ElementTree.fromstring(manifest_text())
        self.parent = {child: parent for parent in self.root.iter() for child in parent}

    def test_is_the_one_process_manifest_and_well_formed(self):
        self.assertEqual(self.root.tag, f"{{{ASM_V1}}}assembly")
        self.assertEqual(self.root.get("manifestVersion"), "1.0")
        # The program's own identity: a win32 assembly with a four-part version.
        identity = self.root.find(f"{{{ASM_V1}}}assemblyIdentity")
        self.assertIsNotNone(identity, "no assemblyIdentity of the program")
        self.assertEqual(identity.get("type"), "win32")
        self.assertIsNotNone(identity.get("name"))
        self.assertRegex(identity.get("version", ""), r"^\d+\.\d+\.\d+\.\d+$")
        # Nothing a plain manifest parser would not take: no DTD, no CDATA, no undeclared entities.
        parser = xml.parsers.expat.ParserCreate()
        found = []
        parser.StartDoctypeDeclHandler = lambda *_: found.append("DOCTYPE")
        parser.StartCdataSectionHandler = lambda: found.append("CDATA")
        parser.Parse(manifest_text(), True)
        self.assertEqual(found, [])

    def test_requires_administrator_without_ui_access(self):
        levels = [e for ns in (ASM_V2, ASM_V3) for e in self.root.iter(f"{{{ns}}}requestedExecutionLevel")]
        self.assertEqual([(e.get("level"), e.get("uiAccess")) for e in levels], [("requireAdministrator", "false")])

    def test_declares_dpi_awareness(self):
        dpi_aware = list(self.root.iter(f"{{{WINDOWS_SETTINGS_2005}}}dpiAware"))
        self.assertEqual([e.text for e in dpi_aware], ["true"], "dpiAware in the 2005 WindowsSettings namespace")
        settings = self.parent[dpi_aware[0]]
        self.assertEqual(local(settings), "windowsSettings")
        self.assertEqual(self.parent[settings].tag, f"{{{ASM_V3}}}application")

    def test_depends_on_common_controls_six(self):
        identities = [
            e for e in self.root.iter(f"{{{ASM_V1}}}assemblyIdentity") if e.get("name") == COMMON_CONTROLS["name"]
        ]
        self.assertEqual([e.attrib for e in identities], [COMMON_CONTROLS])
        dependent = self.parent[identities[0]]
        self.assertEqual((local(dependent), local(self.parent[dependent])), ("dependentAssembly", "dependency"))

    def test_supports_vista_through_ten(self):
        supported = list(self.root.iter(f"{{{COMPATIBILITY}}}supportedOS"))
        self.assertEqual({local(self.parent[e]) for e in supported}, {"application"})
        self.assertEqual({e.get("Id", "").lower() for e in supported}, SUPPORTED_OS)


# ---------------------------------------------------------------------------------------------------
# The image, its imports and its version resource

# Setup.exe runs from a download folder. A DLL that is not one of the system's KnownDLLs would be
# looked for beside the program first, where a planted copy may wait; a MinGW runtime DLL
# (libstdc++-6, libgcc_s_dw2-1, libwinpthread-1) would not be there at all on a bare system. msi.dll
# is loaded at run time by its full system path instead.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll", "ole32.dll",
              "oleaut32.dll", "comdlg32.dll", "msvcrt.dll", "ntdll.dll"}

VERSION_STRINGS = {
    "FileDescription": "Установщик Solvarn ЭЦП Browser plug-in",
    "LegalCopyright": "© 2026 Solvarn",
    "FileVersion": "1.0.0.0",
}


def static_imports():
    """(DLL, function) of every import; the function is None for one imported by ordinal."""
    return [(entry.dll.decode().lower(), function.name and function.name.decode())
            for entry in image.DIRECTORY_ENTRY_IMPORT for function in entry.imports]


class Image(unittest.TestCase):
    def test_is_a_32_bit_windows_gui_program(self):
        self.assertEqual(image.FILE_HEADER.Machine, 0x014C, "IMAGE_FILE_MACHINE_I386")
        # A console-subsystem program would open a console window beside the installer.
        self.assertEqual(image.OPTIONAL_HEADER.Subsystem, 2, "IMAGE_SUBSYSTEM_WINDOWS_GUI")

    def test_imports_only_known_dlls(self):
        dlls = {dll for dll, _ in static_imports()}
        self.assertIn("kernel32.dll", dlls, "every Windows program imports KERNEL32; the import table was not read")
        self.assertLessEqual(dlls, KNOWN_DLLS)
        # A delay-loaded DLL is found by the ordinary search order, program folder first.
        self.assertFalse(hasattr(image, "DIRECTORY_ENTRY_DELAY_IMPORT"), "delay-imports")

    def test_fits_in_128_kib(self):
        # The exception runtime and its unwind tables alone would take it past this.
        self.assertLessEqual(len(image.__data__), 131072)

    def test_version_resource_describes_the_file_in_russian_with_its_version(self):
        self.assertEqual([(name, language) for name, language, _ in resources(RT_VERSION)], [(1, RUSSIAN)])
        self.assertEqual(image.VS_VERSIONINFO[0].Key, b"VS_VERSION_INFO")
        fixed = image.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.Signature, fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS),
                         (0xFEEF04BD, 0x00010000, 0, 0x00010000))
        tables = [table for info in image.FileInfo[0] if info.Key == b"StringFileInfo" for table in info.StringTable]
        self.assertEqual([table.LangID for table in tables], [b"041904B0"])
        strings = {key.decode(): value.decode() for key, value in tables[0].entries.items()}
        self.assertEqual({key: strings.get(key) for key in VERSION_STRINGS}, VERSION_STRINGS)


# ---------------------------------------------------------------------------------------------------
# Windows 2000: the program must start there, if only to say that it needs SP4.

RELEASES = ("NT 3.1", "2000", "2000 SP3", "XP", "XP SP1", "XP SP2", "Vista", "8")
WINDOWS_2000 = RELEASES.index("2000")

# (first Windows release with the functions, where that is documented, the functions): every function
# Setup.exe imports or looks up by name. Microsoft Learn's "Minimum supported client" stops at
# Windows XP or 2000 for functions older than that; the MSDN Library of 1998 still gives their
# Windows NT version.
FIRST_RELEASES = [
    ("NT 3.1", "MSDN Library 1998: Windows NT 3.1 or later",
     "AdjustTokenPrivileges LookupPrivilegeValueW OpenProcessToken RegCloseKey RegCreateKeyExW RegDeleteKeyW "
     "RegOpenKeyExW CloseHandle CreateFileW CreateProcessW CreateSemaphoreW DeleteCriticalSection DeleteFileW "
     "EnterCriticalSection FindClose FindFirstFileW FindNextFileW FindResourceExW FindResourceW FreeLibrary "
     "GetCommandLineW GetCurrentProcess GetCurrentThreadId GetEnvironmentVariableW GetExitCodeProcess "
     "GetFileAttributesW GetLastError GetModuleFileNameW GetModuleHandleA GetModuleHandleW GetProcAddress "
     "GetStartupInfoW GetStdHandle GetSystemDirectoryW InitializeCriticalSection LeaveCriticalSection LoadLibraryA "
     "LoadLibraryExW LoadLibraryW LoadResource LocalFree LockResource ReleaseSemaphore SetLastError "
     "SetUnhandledExceptionFilter SizeofResource Sleep TlsAlloc TlsFree TlsGetValue TlsSetValue VirtualProtect "
     "VirtualQuery WaitForSingleObject WideCharToMultiByte WriteConsoleW WriteFile ExitProcess TerminateProcess "
     "GetAce GetVolumeInformationW RegQueryValueExW GetFileInformationByHandle GetFullPathNameW MoveFileExW"),
    ("2000", "Microsoft Learn: Windows 2000 Professional",
     "FreeConsole GetSystemDefaultUILanguage GetVersionExW VerSetConditionMask VerifyVersionInfoW CheckDlgButton "
     "CreateWindowExW DialogBoxParamW EndDialog ExitWindowsEx GetDlgItem GetDlgItemTextW IsDlgButtonChecked "
     "LoadImageW MessageBoxW SendMessageW SetDlgItemTextW ShowWindow GetWindowLongW SetWindowLongW "
     "CommandLineToArgvW InitiateSystemShutdownW MsgWaitForMultipleObjects PeekMessageW GetProcessWindowStation "
     "GetUserObjectInformationW GetSystemTimeAsFileTime RegQueryInfoKeyW GetLongPathNameW"),
    ("2000", "msvcrt.dll of Windows 2000",
     "__p__commode __p__fmode __p__wcmdln __set_app_type __setusermatherr __wgetmainargs __winitenv _amsg_exit "
     "_cexit _close _errno _initterm _iob _onexit _putws _read _wgetenv _wstat abort calloc exit fflush fprintf "
     "free fwrite localtime malloc memchr memcmp memcpy memmove memset realloc signal strcmp strlen strncmp time "
     "vfprintf wcsftime wcslen towlower mktime"),
    ("2000", "Windows Installer 1.1, part of Windows 2000 (TechNet: Windows Installer 2.0)",
     "MsiCloseHandle MsiEnumRelatedProductsW MsiGetProductInfoW MsiGetPropertyW MsiQueryFeatureStateW "
     "MsiQueryProductStateW MsiSetInternalUI MsiSourceListClearAllW"),
    ("2000 SP3", "Windows Installer 2.0, part of Windows 2000 SP3 (TechNet: Windows Installer 2.0)",
     "MsiOpenPackageExW"),
    ("XP", "Microsoft Learn", "AttachConsole InitiateSystemShutdownExW SystemFunction036"),
    ("XP", "Microsoft Learn, which names no release before XP for them: looked up, not imported",
     "ConvertSidToStringSidW GetNamedSecurityInfoW CreateToolhelp32Snapshot Module32FirstW Module32NextW "
     "GetVolumePathNameW"),
    ("XP", "Visual C++ library reference: rand_s depends on RtlGenRandom, Windows XP and later", "rand_s"),
    ("XP SP1", "Microsoft Learn", "SetDllDirectoryW"),
    ("XP SP2", "Microsoft Learn", "IsWow64Process"),
    ("XP SP2", "Windows Installer 3.0; Microsoft Learn: Not Supported in Windows Installer 2.0",
     "MsiSourceListSetInfoW"),
    ("Vista", "Microsoft Learn", "RegDeleteKeyExW GetTickCount64 GetFinalPathNameByHandleW SetFileInformationByHandle"),
    ("8", "Microsoft Learn (Windows 7 and Vista with KB2533623)", "SetDefaultDllDirectories AddDllDirectory"),
]
FIRST_RELEASE = {function: release for release, _, functions in FIRST_RELEASES for function in functions.split()}

# What the program does where a function newer than Windows 2000, looked up by name, is missing.
FALLBACKS = {
    "AttachConsole": "prints its time stamps only where standard output already goes",
    "AddDllDirectory": "its absence is the sign that the search flags are missing: user32, shell32 and msi.dll "
    "are loaded by full path with LOAD_WITH_ALTERED_SEARCH_PATH",
    "IsWow64Process": "counts the system as 32-bit and picks the *win32* package",
    "SetDefaultDllDirectories": 'calls SetDllDirectoryW("") to take the current directory out of the DLL search',
    "SetDllDirectoryW": "keeps the DLL search as it is; user32, shell32 and msi.dll are loaded by full path anyway",
    "RegDeleteKeyExW": "deletes the restart marker with advapi32's RegDeleteKeyW",
    "GetTickCount64": "cannot tell when Windows started: -quiet counts every restart marker as pending",
    "InitiateSystemShutdownExW": "asks InitiateSystemShutdownW for the same restart, without the reason code, "
    "which Windows 2000 does not record",
    "SystemFunction036": "nothing: only MinGW's rand_s for std::random_device asks for it, and the program "
    "never makes a random_device",
    "rand_s": "nothing, as for SystemFunction036",
    "ConvertSidToStringSidW": "the folder warning names each object as one whose security cannot be read (127)",
    "GetNamedSecurityInfoW": "the same as for ConvertSidToStringSidW",
    "CreateToolhelp32Snapshot": "no look at the loaded modules; .local and the external manifest are still refused",
    "Module32FirstW": "the same as for CreateToolhelp32Snapshot",
    "Module32NextW": "the same as for CreateToolhelp32Snapshot",
    "GetVolumePathNameW": "the volume's root is taken from the path: its drive or its share",
    "MsiOpenPackageExW": "takes the package for unopenable (message 133); it is reached only after the version "
    "check, which stops a Windows 2000 without SP4, and SP3 already brings Windows Installer 2.0",
    "GetFinalPathNameByHandleW": "a file the program makes is checked by its link count alone: whether a junction "
    "led it elsewhere cannot be told",
    "SetFileInformationByHandle": "a file the program made and refuses is removed by its name once closed",
    "MsiSourceListSetInfoW": "leaves the installed product's source list as it is and runs msiexec all the same",
}

# Where Wine keeps its own PE builds of the system DLLs, whose export tables stand for Windows'.
WINE_DLL_FOLDERS = ("/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/lib/wine/i386-windows",
                    "/usr/lib32/wine/i386-windows", "/opt/wine-stable/lib/wine/i386-windows")
# Loaded by full path at run time, besides the DLLs of the import table.
LOADED_DLLS = ("user32.dll", "shell32.dll", "msi.dll")


@functools.lru_cache(maxsize=None)
def exports(dll):
    folder = next((Path(f) for f in WINE_DLL_FOLDERS if (Path(f) / "kernel32.dll").is_file()), None)
    if folder is None:
        raise AssertionError(f"no Wine PE DLLs in any of {WINE_DLL_FOLDERS}")
    pe = pefile.PE(str(folder / dll), fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
    return {symbol.name.decode() for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols if symbol.name}


def looked_up_at_run_time():
    """Names the program hands to GetProcAddress: NUL-terminated ASCII strings of the image that a DLL it
    loads exports, other than its static imports (whose names the import table holds)."""
    strings = {m.group(1).decode() for m in re.finditer(rb"(?<![\x20-\x7e])([A-Za-z_]\w{2,})\0", image.__data__)}
    dlls = {dll for dll, _ in static_imports()} | set(LOADED_DLLS)
    exported = set().union(*(exports(dll) for dll in dlls))
    return (strings & exported) - {function for _, function in static_imports()}


def later_than_windows_2000(function):
    return RELEASES.index(FIRST_RELEASE[function]) > WINDOWS_2000


class StartsOnWindows2000(unittest.TestCase):
    def test_every_static_import_exists_on_windows_2000(self):
        problems = [f"{dll}!{function}: " + ("not in FIRST_RELEASES" if function not in FIRST_RELEASE else
                                              f"first in Windows {FIRST_RELEASE[function]}")
                    for dll, function in static_imports()
                    if function not in FIRST_RELEASE or later_than_windows_2000(function)]
        self.assertEqual(problems, [], "the loader refuses to start a program whose imports are missing")

    def test_every_function_looked_up_newer_than_windows_2000_has_a_fallback(self):
        lookups = looked_up_at_run_time()
        # The first act of the program; without it in the list the scan itself is broken.
        self.assertIn("SetDefaultDllDirectories", lookups)
        unknown = sorted(lookups - FIRST_RELEASE.keys())
        self.assertEqual(unknown, [], "looked up at run time, first Windows release not in FIRST_RELEASES")
        without_fallback = sorted(f for f in lookups if later_than_windows_2000(f) and f not in FALLBACKS)
        self.assertEqual(without_fallback, [], "newer than Windows 2000, no entry in FALLBACKS")

    def test_subsystem_version_is_at_most_5_0(self):
        # Windows 2000 (5.0) refuses to start a program that asks for a later subsystem.
        header = image.OPTIONAL_HEADER
        self.assertLessEqual((header.MajorSubsystemVersion, header.MinorSubsystemVersion), (5, 0))

    def test_manifest_declares_at_most_one_namespace_per_element(self):
        # The side-by-side manifest parser of XP SP2 and Server 2003 before SP1 mishandles an element
        # that declares two namespaces (KB921337), so each is declared on an element of its own. Read
        # without namespace processing, which would hide the declarations.
        parser = xml.parsers.expat.ParserCreate()
        crowded = []

        def start(name, attributes):
            declarations = [a for a in attributes if a == "xmlns" or a.startswith("xmlns:")]
            if len(declarations) > 1:
                crowded.append((name, declarations))

        parser.StartElementHandler = start
        parser.Parse(manifest_text(), True)
        self.assertEqual(crowded, [])
