"""Setup.exe in hostile or unusual places: a download folder with planted DLLs or a DLL redirection
folder or file, distribution folders and TMP values with blanks and Cyrillic letters or naming no
folder; and the end of a run whose memory runs out."""

import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winebed import WineBed, message, windows_build_dir  # noqa: E402

PACKAGE_SET = "2.0.13000"
PRODUCT_CODES = ("{50A1C0DE-2013-4000-8000-000000000032}", "{50A1C0DE-2013-4000-8000-000000000064}")
# DLL names a planted copy is often given: the program's own msi.dll, and DLLs that system DLLs
# load on a program's behalf.
PLANTED = ("msi.dll", "version.dll", "uxtheme.dll", "dwmapi.dll", "cryptbase.dll", "comctl32.dll")
# Wine prefers the native DLL it finds over its own only when told to, as Windows would always.
PREFER_PLANTED = ",".join(name[:-4] for name in PLANTED) + "=n,b"
EXIT_DLL_REDIRECTION = 10
EXIT_OUT_OF_MEMORY = 8  # ERROR_NOT_ENOUGH_MEMORY
NO_PRODUCT_CODE = message("IDS_PRODUCT_CODE_UNREADABLE")

bed = None


def setUpModule():
    global bed
    bed = WineBed()
    bed.start()


def tearDownModule():
    if bed is not None:
        bed.stop()


def remove_plugin():
    for code in PRODUCT_CODES:
        bed.uninstall(code)


def read_log(path):
    data = path.read_bytes()
    return data.decode("utf-16") if data[:2] in (b"\xff\xfe", b"\xfe\xff") else data.decode("utf-8", "replace")


def plugin_installed():
    # The plug-in's own file; Wine may leave empty folders behind when it removes a product.
    return any(bed.drive_c.glob("Program Files*/Solvarn/**/plugvex.dll"))


class PlantedDlls(unittest.TestCase):
    def setUp(self):
        remove_plugin()
        self.dist = bed.make_distribution("downloads")
        self.dist.add_packages(PACKAGE_SET)
        self.setup = self.dist.add_setup()
        for name in PLANTED:
            self.dist.copy(windows_build_dir() / "programs" / "planted.dll", name)

    def traces(self):
        return sorted(p.name for p in self.dist.linux.glob("*.loaded"))

    def test_a_plain_program_would_load_the_planted_msi(self):
        # The control: the folder and the overrides do make Wine pick a planted DLL.
        loader = self.dist.copy(windows_build_dir() / "programs" / "naive_loader.exe")
        run = bed.run(loader, dll_overrides=PREFER_PLANTED, cwd=self.dist.windows)
        self.assertEqual(run.exit_code, 0)
        self.assertIn("msi.dll.loaded", self.traces())

    def test_setup_loads_none_of_them_silently(self):
        run = bed.run(self.setup, args=["-silent"], dll_overrides=PREFER_PLANTED, cwd=self.dist.windows)
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(self.traces(), [])
        self.assertTrue(plugin_installed())

    def test_setup_loads_none_of_them_while_showing_its_boxes(self):
        run = bed.run(self.setup, steps=["yes", "ok"], dll_overrides=PREFER_PLANTED, cwd=self.dist.windows, lang="ru")
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(self.traces(), [])

    def test_a_redirection_folder_beside_the_program_makes_it_refuse(self):
        self.dist.mkdir("Setup.exe.local")
        shutil.copy2(windows_build_dir() / "programs" / "planted.dll", self.dist.linux / "Setup.exe.local" / "msi.dll")
        run = bed.run(self.setup, cwd=self.dist.windows)
        self.assertEqual(run.exit_code, EXIT_DLL_REDIRECTION)
        self.assertEqual(run.boxes, [])
        self.assertEqual(self.traces(), [])
        self.assertFalse((self.dist.linux / "Setup.exe.local" / "msi.dll.loaded").exists())
        self.assertFalse(plugin_installed())

    def test_a_redirection_file_beside_the_program_makes_it_refuse_too(self):
        # The loader takes an empty Setup.exe.local file as the sign too (redirection to the
        # program's own folder).
        self.dist.write("Setup.exe.local", "")
        run = bed.run(self.setup, cwd=self.dist.windows)
        self.assertEqual(run.exit_code, EXIT_DLL_REDIRECTION)
        self.assertEqual(run.boxes, [])

    def test_the_distribution_check_refuses_a_redirection_beside_itself_too(self):
        tools = self.dist.linux / "tools"
        (tools / "distcheck.exe.local").mkdir(parents=True)
        shutil.copy2(windows_build_dir() / "distcheck.exe", tools / "distcheck.exe")
        code, out, err = bed.wine(tools / "distcheck.exe", self.dist.windows, check=False)
        self.assertEqual(code, EXIT_DLL_REDIRECTION, out + err)
        self.assertIn("run a copy kept elsewhere", out + err)


SIDE_BY_SIDE = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\SideBySide"
# A manifest that Windows would have to follow to an assembly that does not exist: a loader that took
# it would not start the program at all.
EXTERNAL_MANIFEST = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?><assembly xmlns="urn:schemas-microsoft-com:'
                     'asm.v1" manifestVersion="1.0"><dependency><dependentAssembly><assemblyIdentity type="win32" '
                     'name="Planted.Assembly" version="9.9.9.9" processorArchitecture="*" publicKeyToken='
                     '"0000000000000000"/></dependentAssembly></dependency></assembly>')
WARNING = "warning: others than SYSTEM, Administrators and TrustedInstaller can change what this run installs: "


class ProgramFolder(unittest.TestCase):
    def setUp(self):
        remove_plugin()
        self.dist = bed.make_distribution("program-folder")
        self.dist.add_packages(PACKAGE_SET)
        self.setup = self.dist.add_setup()

    def test_an_external_manifest_is_refused_where_windows_prefers_it(self):
        # Wine reads only the embedded manifest (its actctx trace names no other), so without the
        # value the planted file changes nothing; with it the program refuses as Windows would need.
        self.dist.write("SETUP.EXE.manifest", EXTERNAL_MANIFEST)
        bed.reg_add(SIDE_BY_SIDE, "PreferExternalManifest", 1, "REG_DWORD")
        try:
            run = bed.run(self.setup, args=["-silent"], cwd=self.dist.windows)
        finally:
            bed.reg_delete(SIDE_BY_SIDE, "PreferExternalManifest")
        self.assertEqual(run.exit_code, EXIT_DLL_REDIRECTION)
        self.assertEqual((run.boxes, run.windows), ([], []))
        self.assertFalse(plugin_installed())
        run = bed.run(self.setup, args=["-silent"], cwd=self.dist.windows)
        self.assertEqual(run.exit_code, 0)
        self.assertTrue(plugin_installed())

    def test_a_folder_others_can_write_is_named_in_the_log_and_under_quiet_on_the_console(self):
        # Wine makes every file's security of the Unix owner's: the Wine user owns and may write all.
        for args, on_console in ((["-quiet"], True), (["-silent"], False)):
            with self.subTest(args=args):
                remove_plugin()
                log = self.dist.linux / "setup.log"
                run = bed.run(self.setup, args=[*args, "-log", self.dist.win("setup.log")], cwd=self.dist.windows)
                self.assertEqual(run.exit_code, 0)
                warning = next(line for line in read_log(log).splitlines() if WARNING in line)
                self.assertRegex(warning, re.escape(WARNING + self.dist.win().rstrip("\\") + " (S-1-5-21-") +
                                 r"[-\d]+, owner S-1-5-21-[-\d]+\), .*tarvex-x64\.msi \(")
                printed = [line for line in run.stdout.splitlines() if WARNING in line]
                self.assertEqual(printed, ["Setup.exe: " + warning[20:]] if on_console else [])


class UnusualPlaces(unittest.TestCase):
    def setUp(self):
        remove_plugin()

    def test_distribution_folder_with_blanks_and_cyrillic_letters(self):
        dist = bed.make_distribution("Мои загрузки (2)")
        dist.add_packages(PACKAGE_SET)
        setup = dist.add_setup()
        dist.mkdir("logs")
        logs = dist.linux / "logs"
        run = bed.run(setup, args=["-silent"], env={"TMP": dist.win("logs")}, cwd="C:\\")
        self.assertEqual(run.exit_code, 0)
        self.assertTrue(plugin_installed())
        self.assertEqual(len(list(logs.glob("tarvex-x64.msi_*.log"))), 1)

    def test_tmp_with_blanks_and_cyrillic_letters(self):
        dist = bed.make_distribution("tmp")
        dist.add_packages(PACKAGE_SET)
        setup = dist.add_setup()
        dist.mkdir("Временные файлы")
        logs = dist.linux / "Временные файлы"
        run = bed.run(setup, args=["-silent"], env={"TMP": dist.win("Временные файлы")})
        self.assertEqual(run.exit_code, 0)
        names = [p.name for p in logs.iterdir()]
        self.assertEqual(len(names), 1, names)
        self.assertRegex(names[0], r"^tarvex-x64\.msi_\d{4}-\d\d-\d\d-\d\d-\d\d-\d\d\.log$")
        self.assertIn("ADDPLUGVEX = 1", read_log(logs / names[0]))

    def test_tmp_naming_no_folder_fails_the_package_even_with_an_own_log(self):
        # An own /l frees the run from naming a log in TMP, not from Windows Installer's own need of a
        # temporary folder when it opens the package: the package is blamed, and 1627 passed on.
        dist = bed.make_distribution("missingtmp")
        dist.add_packages(PACKAGE_SET)
        setup = dist.add_setup()
        args = ["-CadesArgs", "/l C:\\plugin.log"]
        run = bed.run(setup, args=args, steps=["yes", "ok", "ok"], env={"TMP": "C:\\no such folder"}, lang="ru")
        self.assertEqual(run.windows[1]["text"], NO_PRODUCT_CODE)
        self.assertEqual(run.exit_code, 1627)
        run = bed.run(setup, args=["-silent", *args], env={"TMP": "C:\\no such folder"})
        self.assertEqual(run.exit_code, 1627)
        self.assertFalse(plugin_installed())

    def test_empty_tmp_is_refused_like_a_missing_one(self):
        dist = bed.make_distribution("emptytmp")
        dist.add_packages(PACKAGE_SET)
        setup = dist.add_setup()
        run = bed.run(setup, args=["-silent"], env={"TMP": ""})
        self.assertEqual(run.exit_code, 203)
        self.assertFalse(plugin_installed())


class RuntimeFailure(unittest.TestCase):
    def test_exhausted_memory_ends_with_its_own_code_and_no_box(self):
        # Nothing a caller can give Setup.exe (a command line, TMP, the folder) is large enough to
        # exhaust its memory, so a stand-in linked with its very handlers of the runtime's failures
        # meets each failure on purpose. msvcrt's abort, which they used to reach, ended with 3 (the
        # code of "Windows 2000 without SP4"), after a "Runtime Error!" box on Windows.
        program = bed.make_distribution("memory").copy(windows_build_dir() / "programs" / "exhaust_memory.exe")
        for failure in ("new", "length", "terminate"):
            with self.subTest(failure=failure):
                run = bed.run(program, args=[failure])
                self.assertEqual(run.exit_code, EXIT_OUT_OF_MEMORY)
                self.assertEqual(run.boxes, [])


if __name__ == "__main__":
    unittest.main()
