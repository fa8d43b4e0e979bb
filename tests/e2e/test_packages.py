"""Package discovery and the version decision of the real Setup.exe under Wine, with packages built
by wixl and installed by the prefix's own msiexec: which package each platform takes, whose product
name the update question shows, how the installed version is read, what a deep distribution folder
and broken package files lead to.

Which package msiexec received is read from its verbose log: the log is named after the package
file, and its closing property dump ("Property(S): NAME = value") holds OriginalDatabase.
"""

import itertools
import os
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dialogue import DialogueAssertions  # noqa: E402
from winebed import (  # noqa: E402
    REPO,
    Distribution,
    WineBed,
    detection_rule,
    fixture_packages_dir,
    message,
    msi_log_properties,
    needs_32bit,
    windows_build_dir,
)

sys.path.insert(0, str(REPO / "tests" / "distcheck"))
import test_distcheck as faulty_folders  # noqa: E402

CAPTION = message("IDS_PRODUCT_CAPTION")
UPDATE_CAPTION = message("IDS_UPDATE_CAPTION")
ERROR_CAPTION = message("IDS_ERROR_CAPTION")
QUESTION = message("IDS_CONFIRM_PLUGIN")
UPDATE_QUESTION = "Будет произведено обновление {} {} до версии {}. Обновить?"
RUSSIAN_NAME = message("IDS_PRODUCT_CAPTION")
ENGLISH_NAME = "Solvarn EDS Browser plug-in"
NO_PRODUCT_CODE = message("IDS_PRODUCT_CODE_UNREADABLE")
UNOPENABLE = message("IDS_PACKAGE_UNOPENABLE")
FAILED = message("IDS_PLUGIN_FAILED")

IDOK, IDYES, IDNO = 1, 6, 7
STYLE_QUESTION = 0x50004
STYLE_ERROR = 0x50010
STYLE_PLAIN_QUESTION = 0x4  # MB_YESNO: the version step's boxes have no owner and no topmost style
STYLE_PLAIN_ERROR = 0x10  # MB_ICONHAND

UPGRADE_CODE = "{3F7A2C91-5B4E-4D08-A6C3-19E8B0D4F257}"
BROKEN_SETS = ("empty", "truncated", "notapackage")
# What Windows Installer answers when a file is no package it can open: ERROR_INSTALL_PACKAGE_OPEN_FAILED,
# ERROR_INSTALL_PACKAGE_INVALID, ERROR_FUNCTION_FAILED (the last is Wine's).
UNOPENABLE_CODES = (1619, 1620, 1627)


def product_code(release, platform):
    middle = {"2.0.12900": "2012-4900", "2.0.13000": "2013-4000", "2.0.14000": "2014-4000"}[release]
    return "{50A1C0DE-%s-8000-0000000000%s}" % (middle, "64" if platform == "x64" else "32")


bed = None
_numbers = itertools.count(1)


def setUpModule():
    global bed
    bed = WineBed()
    bed.start()


def tearDownModule():
    if bed is not None:
        bed.stop()


def remove_products(on=None):
    on = on or bed
    for code in on.related_products(UPGRADE_CODE):
        on.uninstall(code)
    if on.related_products(UPGRADE_CODE):
        raise AssertionError(f"products left after uninstalling: {on.related_products(UPGRADE_CODE)}")


def install_directly(release, on=None):
    """The product as msiexec alone installs it, without Setup.exe."""
    on = on or bed
    dist = on.make_distribution(f"direct-{release}")
    dist.add_packages(release)
    on.wine("msiexec", "/i", dist.win("tarvex-x64.msi" if on.arch == "win64" else "tarvex-win32.msi"), "/qn")


def fresh_tmp(on=None):
    folder = (on or bed).drive_c / "tmp" / f"run{next(_numbers)}"
    folder.mkdir(parents=True)
    return folder


def logs_in(folder):
    return sorted(p for p in folder.iterdir() if p.suffix.lower() == ".log")


def run_setup(dist, args=(), steps=(), lang="ru", on=None):
    """Setup.exe of a distribution, started from its folder, with TMP at a fresh folder of its own.
    Returns (run, TMP folder)."""
    on = on or bed
    tmp = fresh_tmp(on)
    run = on.run(
        dist.win("Setup.exe"),
        args=args,
        steps=steps,
        cwd=dist.windows,
        env={"TMP": on.to_windows(tmp)},
        lang=lang,
        relay=True,
    )
    return run, tmp


class PackageAssertions(DialogueAssertions):
    def assertInstalledFrom(self, run, tmp, on, package_path, code):
        """The run succeeded, msiexec was given this package file, and installed this product."""
        self.assertEqual(run.exit_code, 0, run.describe())
        logs = logs_in(tmp)
        self.assertEqual([p.name.split("_")[0] for p in logs], [package_path.rsplit("\\", 1)[1]])
        properties = msi_log_properties(logs[0])
        self.assertEqual(properties.get("OriginalDatabase"), package_path)
        self.assertEqual(properties.get("ProductCode"), code)
        self.assertEqual(on.related_products(UPGRADE_CODE), [code])


class PlatformPackage(PackageAssertions):
    """A distribution holds the packages of both platforms; each system takes its own."""

    def test_64bit_system_installs_the_x64_package(self):
        self.addCleanup(remove_products)
        dist = bed.make_distribution("both-platforms")
        dist.add_packages("2.0.13000")
        dist.add_setup()
        run, tmp = run_setup(dist, args=["-silent"])
        self.assertInstalledFrom(run, tmp, bed, dist.win("tarvex-x64.msi"), product_code("2.0.13000", "x64"))
        self.assertTrue(bed.to_linux(r"C:\Program Files\Solvarn\Browser plug-in\plugvex.dll").is_file())
        # The release's one detection rule finds the x64 package's plug-in in the 64-bit Program Files.
        self.assertTrue(bed.detects(detection_rule("2.0.13000")))

    def test_the_check_reports_the_lookups_setup_makes(self):
        """Each lookup in Setup.exe's own log appears in the distribution check's report of the folder for
        this platform with the same wildcards, and what Setup.exe took among the check's picks."""
        self.addCleanup(remove_products)
        dist = bed.make_distribution("lookups-both-ways")
        dist.add_packages("2.0.13000")
        dist.add_setup()
        log = bed.root / "lookups-both-ways.log"
        run, _ = run_setup(dist, args=["-silent", "-log", bed.to_windows(log)])
        self.assertEqual(run.exit_code, 0, run.describe())
        data = log.read_bytes()
        looked_up = re.findall(r"\d\d:\d\d:\d\d (package .+?) \((.+?)\): .*\\(.+?)\r?$",
                               data.decode("utf-16").replace("\r\n", "\n"), re.M)
        report = subprocess.run(["bash", str(REPO / "scripts" / "distcheck"), str(dist.linux)],
                                capture_output=True, text=True).stdout
        section = report[report.index("64-bit Windows (x64)"):report.index("32-bit Windows (win32)")]
        reported = dict(re.findall(r"^  [^:\n]+: (.+)\n    (.+)$", section, re.M))
        self.assertGreaterEqual(len(looked_up), 2, data)
        for purpose, masks, picked in looked_up:
            with self.subTest(purpose):
                masks = masks.replace(", ", ", then ")
                self.assertIn(masks, reported, report)
                self.assertIn(picked, reported[masks].split(", "))

    @needs_32bit("32-bit Windows: a 32-bit prefix")
    def test_32bit_system_installs_the_win32_package(self):
        # The one case that needs a prefix of the other architecture: started here, for this test only.
        with WineBed(arch="win32") as bed32:
            dist = bed32.make_distribution("both-platforms")
            dist.add_packages("2.0.13000")
            dist.add_setup()
            run, tmp = run_setup(dist, args=["-silent"], on=bed32)
            self.assertInstalledFrom(
                run, tmp, bed32, dist.win("tarvex-win32.msi"), product_code("2.0.13000", "win32")
            )
            self.assertTrue(bed32.to_linux(r"C:\Program Files\Solvarn\Browser plug-in\plugvex.dll").is_file())
            # ... and the win32 package's in the only Program Files of 32-bit Windows.
            self.assertTrue(bed32.detects(detection_rule("2.0.13000")))


class UpdateQuestion(PackageAssertions):
    """2.0.12900 installed by msiexec alone; Setup.exe of 2.0.13000 asks whether to update, naming
    the product in the system's interface language, and No ends the run with exit code 1."""

    @classmethod
    def setUpClass(cls):
        remove_products()
        install_directly("2.0.12900")
        cls.installed = product_code("2.0.12900", "x64")
        if bed.related_products(UPGRADE_CODE) != [cls.installed]:
            raise AssertionError("2.0.12900 did not install")
        cls.release = bed.make_distribution("update-2.0.13000")
        cls.release.add_packages("2.0.13000")
        cls.release.add_setup()

    @classmethod
    def tearDownClass(cls):
        remove_products()

    def assertUpdateDeclined(self, dist, lang, name):
        run, tmp = run_setup(dist, steps=["yes", "no"], lang=lang)
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (UPDATE_CAPTION, UPDATE_QUESTION.format(name, "2.0.12900", "2.0.13000"), [IDYES, IDNO], "none",
                 STYLE_PLAIN_QUESTION, False, IDNO),
            ],
        )
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(logs_in(tmp), [], "the installer ran")
        self.assertEqual(bed.related_products(UPGRADE_CODE), [self.installed])

    def test_russian_interface_names_the_product_from_the_rus_package(self):
        self.assertUpdateDeclined(self.release, "ru", RUSSIAN_NAME)

    def test_other_interface_languages_name_it_from_the_eng_package(self):
        # en_US.UTF-8 and C.UTF-8 both give 0x0409.
        for lang in ("en", None):
            with self.subTest(lang=lang):
                self.assertUpdateDeclined(self.release, lang, ENGLISH_NAME)

    def test_without_a_language_package_the_plain_package_names_it(self):
        # The plain packages carry the Russian name; an English interface without eng- files uses them.
        dist = bed.make_distribution("update-plain-only")
        dist.add_packages("2.0.13000")
        for item in dist.linux.glob("*-tarvex-*.msi"):
            item.unlink()
        dist.add_setup()
        self.assertUpdateDeclined(dist, "en", RUSSIAN_NAME)


class DeepFolder(PackageAssertions):
    """Wine starts no program whose path is 260 characters or longer (CreateProcessW fails with 2),
    and its msi.dll goes wrong on package paths beyond MAX_PATH, by length: paths of 260 to 268
    characters opened, 270 gave ERROR_PATH_NOT_FOUND, and from 272 on MsiOpenPackageExW overran its
    stack (page faults at addresses made of the path's characters). So the deepest folder tested
    here keeps every package path within 259 characters; longer program paths are covered by the
    unit tests with the platform fake."""

    LONGEST_PACKAGE_NAME = len("eng-tarvex-x64.msi")

    @staticmethod
    def deep_folder(parent, length):
        """A folder below parent whose Windows path is exactly length characters long."""
        folder = parent
        while (room := length - len(bed.to_windows(folder)) - 1) > 0:
            folder = folder / ("d" * min(room, 60))
        return folder

    def test_package_found_beside_the_program_and_one_folder_down(self):
        self.addCleanup(remove_products)
        for below in (False, True):
            with self.subTest(below=below):
                root = bed.drive_c / "deep"
                shutil.rmtree(root, ignore_errors=True)
                package_folder = self.deep_folder(root, 259 - 1 - self.LONGEST_PACKAGE_NAME)
                package_folder.mkdir(parents=True)
                dist = Distribution(bed, package_folder.parent if below else package_folder)
                for item in (fixture_packages_dir() / "2.0.13000").iterdir():
                    shutil.copy2(item, package_folder)
                dist.add_setup()
                self.assertEqual(len(bed.to_windows(package_folder / "eng-tarvex-x64.msi")), 259)

                run, tmp = run_setup(dist, args=["-silent"])
                package = bed.to_windows(package_folder / "tarvex-x64.msi")
                self.assertInstalledFrom(run, tmp, bed, package, product_code("2.0.13000", "x64"))
                remove_products()


class BrokenPackage(PackageAssertions):
    """Files named as packages that are none: an empty file, half a package, random bytes. The
    program's first look into the package is the identity lookup, so that is what fails first."""

    def broken_distribution(self, broken_set):
        dist = bed.make_distribution(f"broken-{broken_set}")
        dist.add_packages(broken_set)
        dist.add_setup()
        return dist

    def assertIdentityFailure(self, broken_set):
        dist = self.broken_distribution(broken_set)
        before = bed.related_products(UPGRADE_CODE)
        self.assertBrokenRun(dist, NO_PRODUCT_CODE, STYLE_ERROR, owned=True)
        self.assertEqual(bed.related_products(UPGRADE_CODE), before)

    def assertBrokenRun(self, dist, error_text, error_style, owned):
        """The question, the error box of the step that met the broken package, then 106 with the
        Windows Installer code and no log line; no installer run; -silent: the same code, no box."""
        run, tmp = run_setup(dist, steps=["yes", "ok", "ok"])
        code = run.exit_code
        self.assertIn(code, UNOPENABLE_CODES, run.describe())
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (ERROR_CAPTION, error_text, [IDOK], "hand", error_style, owned, IDOK),
                (CAPTION, f"{FAILED}: {code}.\n", [IDOK], "hand", STYLE_ERROR, True, IDOK),
            ],
        )
        self.assertEqual(logs_in(tmp), [], "the installer ran")

        run, tmp = run_setup(dist, args=["-silent"])
        self.assertEqual(run.message_box_calls, [])
        self.assertEqual(run.exit_code, code)

    def test_nothing_installed(self):
        remove_products()
        for broken_set in BROKEN_SETS:
            with self.subTest(broken_set=broken_set):
                self.assertIdentityFailure(broken_set)

    def test_installed_product_cannot_be_seen_through_a_broken_package(self):
        # The installed product is found through the package's upgrade code, which an unopenable
        # package does not give: the product code lookup fails as with nothing installed.
        self.addCleanup(remove_products)
        remove_products()
        install_directly("2.0.13000")
        for broken_set in BROKEN_SETS:
            with self.subTest(broken_set=broken_set):
                self.assertIdentityFailure(broken_set)

    def test_unopenable_version_package_gives_133(self):
        # The identity comes from any x64 package, the version from the first tarvex*.msi: a good
        # package named without the stem and a broken tarvex.msi beside it reach the version step.
        self.addCleanup(remove_products)
        remove_products()
        install_directly("2.0.13000")
        installed = product_code("2.0.13000", "x64")
        for broken_set in BROKEN_SETS:
            with self.subTest(broken_set=broken_set):
                dist = bed.make_distribution(f"version-{broken_set}")
                dist.copy(fixture_packages_dir() / "2.0.13000" / "tarvex-x64.msi", "plugin-x64.msi")
                dist.copy(fixture_packages_dir() / broken_set / "tarvex-x64.msi", "tarvex.msi")
                dist.add_setup()
                self.assertBrokenRun(dist, UNOPENABLE, STYLE_PLAIN_ERROR, owned=False)
                self.assertEqual(bed.related_products(UPGRADE_CODE), [installed])


def below_heading(report):
    """The report without its heading, which names the folder by its Linux or its Windows path."""
    return report[report.find("\n\n"):]


class DistributionCheckOnWindows(unittest.TestCase):
    """distcheck.exe over Wine's FindFirstFileW (its listing order, its own 8.3 names) and Wine's msi.dll
    reports on each faulty folder of the native check's table what the native check reports."""

    # Wine shows a name that is not UTF-8 or holds a '?' by another name, cannot hold a device's name, and
    # shows a link as what it leads to (Wine 8 reports no reparse point) and a FIFO as a file.
    LINUX_ONLY = ("name not UTF-8", "name Windows cannot hold", "link named like a package", "links to the parent",
                  "FIFO named like a package", "csp leads elsewhere", "device names", "missing",
                  # Wine's CryptVerifyDetachedMessageSignature checks the signature over the signed attributes
                  # only, not their digest of the content: a changed SHA256SUMS still verifies there.
                  "an unsigned program among signed ones")
    maxDiff = None

    def test_reports_what_the_native_check_reports(self):
        work = bed.root / "distcheck"
        sound = work / "sound"
        faulty_folders.demo.lay_out_distribution(sound)
        for number, (name, spoil, _, _, *options) in enumerate(faulty_folders.CASES):
            if name in self.LINUX_ONLY:
                continue
            with self.subTest(name):
                folder = work / str(number)
                shutil.copytree(sound, folder, symlinks=True)
                spoil(folder)
                arguments = options[0]() if options else []
                native = subprocess.run(["bash", str(REPO / "scripts" / "distcheck"), *arguments, str(folder)],
                                        capture_output=True, text=True)
                code, out, _ = bed.wine(windows_build_dir() / "distcheck.exe", *arguments, bed.to_windows(folder),
                                        check=False)
                self.assertEqual((code, below_heading(out.replace("\r\n", "\n"))),
                                 (native.returncode, below_heading(native.stdout)))


if __name__ == "__main__":
    unittest.main()
