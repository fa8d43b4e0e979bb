"""The plug-in installation of the real Setup.exe under Wine, end to end: first installation,
reinstallation, update and refusal to downgrade, in interactive and silent runs; failures with their
code and log; the installer log in TMP and the user's own log; the pending-restart marker.

What the installer received is read from the property dump at the end of its verbose log
("Property(S): NAME = value"); what it left installed from the registry keys Windows Installer keeps
for MsiEnumRelatedProducts and for Add/Remove Programs, and from the files on disk.

A run that makes msiexec fail passes "-CadesArgs /qn": with the basic interface (" /qb", the
default) msiexec itself shows the package's error in a box of its own process, which the driver
(it answers the boxes of Setup.exe's process only) cannot answer, and the run would hang on it.
"""

import itertools
import os
import re
import sys
import unittest
from datetime import datetime

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dialogue import DialogueAssertions  # noqa: E402
from winebed import WineBed, message, msi_log_properties  # noqa: E402

PLUGIN = message("IDS_PRODUCT_CAPTION")
CAPTION = PLUGIN
UPDATE_CAPTION = message("IDS_UPDATE_CAPTION")
ERROR_CAPTION = message("IDS_ERROR_CAPTION")
QUESTION = message("IDS_CONFIRM_PLUGIN")
DONE = message("IDS_DONE_PLUGIN")
RESTART_QUESTION = message("IDS_RESTART_PLUGIN")
SAME_VERSION = message("IDS_ALREADY_INSTALLED")
NEWER_INSTALLED = message("IDS_NEWER_INSTALLED")
UPDATE_QUESTION = "Будет произведено обновление Solvarn ЭЦП Browser plug-in {} до версии {}. Обновить?"
FAILED = message("IDS_PLUGIN_FAILED")
NO_TMP = message("IDS_ENVIRONMENT_UNREADABLE")
REMOVAL_QUESTION = message("IDS_CONFIRM_REMOVAL")
REMOVED = message("IDS_DONE_REMOVAL")
NOT_INSTALLED = message("IDS_NOT_INSTALLED")

IDOK, IDYES, IDNO = 1, 6, 7
STYLE_QUESTION = 0x50004  # MB_YESNO | MB_SETFOREGROUND | MB_TOPMOST
STYLE_INFORMATION = 0x50000
STYLE_ERROR = 0x50010  # MB_ICONHAND | MB_SETFOREGROUND | MB_TOPMOST
STYLE_RESTART = 0x50034  # MB_YESNO | MB_ICONEXCLAMATION | MB_SETFOREGROUND | MB_TOPMOST
STYLE_UPDATE = 0x4  # MB_YESNO, no owner

UPGRADE_CODE = "{3F7A2C91-5B4E-4D08-A6C3-19E8B0D4F257}"
RELEASES = ("2.0.12900", "2.0.13000", "2.0.14000")
LAUNCH_FAILURE = "launchfail"
REBOOT = "reboot"
# The x64 products: the prefix is 64-bit.
PRODUCT = {
    "2.0.12900": "{50A1C0DE-2012-4900-8000-000000000064}",
    "2.0.13000": "{50A1C0DE-2013-4000-8000-000000000064}",
    "2.0.14000": "{50A1C0DE-2014-4000-8000-000000000064}",
    LAUNCH_FAILURE: "{50A1C0DE-FA11-4000-8000-000000000064}",
    REBOOT: "{50A1C0DE-B007-4000-8000-000000000064}",
}
# The launchfail and reboot variants are 2.0.13000 under product codes of their own.
VERSION = {name: name if name in RELEASES else "2.0.13000" for name in PRODUCT}
PLUGIN_COMPONENT = "{6B0E2F47-91C3-4A8D-B5E2-7C4F10D39A61}"
INSTALL_FOLDER = r"C:\Program Files\Solvarn\Browser plug-in"
MARKER = r"HKCU\Software\NeedBstrReboot"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
LOG_NAME = re.compile(r"^tarvex-x64\.msi_(\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2})\.log$")

bed = None
dists = {}
_tmp_numbers = itertools.count(1)


def setUpModule():
    global bed
    bed = WineBed()
    bed.start()
    for name in RELEASES + (LAUNCH_FAILURE, REBOOT):
        dist = bed.make_distribution(name)
        dist.add_packages(name)
        dist.add_setup()
        dists[name] = dist


def tearDownModule():
    if bed is not None:
        bed.stop()


def marker_present():
    return bed.reg_query(MARKER) is not None


def related():
    return bed.related_products(UPGRADE_CODE)


def remove_products():
    for code in related():
        bed.uninstall(code)
    if related():
        raise AssertionError(f"products left after uninstalling: {related()}")


def fresh_tmp():
    """A new, empty folder for TMP: each run's logs apart from every other run's."""
    folder = bed.drive_c / "tmp" / f"run{next(_tmp_numbers)}"
    folder.mkdir(parents=True)
    return folder


def logs_in(folder):
    return sorted(p for p in folder.iterdir() if p.suffix.lower() == ".log")


def run_setup(release, args=(), steps=(), tmp=None, unset=()):
    """Setup.exe of a distribution, started from its folder under a Russian locale, with TMP at a
    fresh folder of its own unless TMP is unset. Returns (run, TMP folder)."""
    if "-silent" in args and "-norestart" not in args and marker_present():
        # The flow would restart the machine without asking.
        raise AssertionError("a silent run with the restart marker present would restart the system")
    dist = dists[release]
    tmp = tmp or fresh_tmp()
    env = {} if "TMP" in unset else {"TMP": bed.to_windows(tmp)}
    run = bed.run(
        dist.win("Setup.exe"),
        args=args,
        steps=steps,
        cwd=dist.windows,
        env=env,
        unset=unset,
        lang="ru",
        relay=True,
    )
    return run, tmp


def install_silently(release):
    """The machine state a scenario starts from: this release installed by Setup.exe itself."""
    remove_products()
    run, _ = run_setup(release, args=["-silent"])
    if run.exit_code != 0 or related() != [PRODUCT[release]]:
        raise AssertionError(f"could not install {release}:\n{run.describe()}\nrelated: {related()}")


class InstallAssertions(DialogueAssertions):
    def assertSilent(self, run):
        # Without steps the driver fails the run on any window; the trace also catches a box that
        # closed before the driver saw it.
        self.assertEqual(run.windows, [], run.describe())
        self.assertEqual(run.message_box_calls, [])

    def assertOneLog(self, run, tmp):
        """The run's installer log: the only log in TMP, named after the package file and the time
        stamp the program printed; returns its property dump."""
        logs = logs_in(tmp)
        self.assertEqual(len(logs), 1, [p.name for p in tmp.iterdir()])
        match = LOG_NAME.match(logs[0].name)
        self.assertIsNotNone(match, logs[0].name)
        stamp = match.group(1)
        datetime.strptime(stamp, "%Y-%m-%d-%H-%M-%S")
        self.assertIn(stamp, run.stdout.splitlines(), run.stdout)
        properties = msi_log_properties(logs[0])
        self.assertEqual(properties.get("REBOOT"), "R", properties)
        return properties

    def assertInstalled(self, name):
        """This product, and no other of the family, is installed: Windows Installer relates it to
        the upgrade code, and Add/Remove Programs lists it with its version."""
        code = PRODUCT[name]
        self.assertEqual(related(), [code])
        # An x64 product's entry is in the 64-bit view of the registry.
        self.assertEqual(bed.reg_query(UNINSTALL_KEY + code, "DisplayVersion", view=64), VERSION[name])


class FirstInstallation(InstallAssertions):
    def setUp(self):
        remove_products()

    def test_installs_the_package_with_the_plugin_feature_and_a_log_in_tmp(self):
        run, tmp = run_setup("2.0.13000", steps=["yes", "ok"])
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (CAPTION, DONE, [IDOK], "none", STYLE_INFORMATION, True, IDOK),
            ],
        )
        self.assertEqual(run.exit_code, 0)
        properties = self.assertOneLog(run, tmp)
        self.assertEqual(properties.get("OriginalDatabase"), dists["2.0.13000"].win("tarvex-x64.msi"))
        self.assertEqual(properties.get("ADDPLUGVEX"), "1")
        self.assertEqual(properties.get("UILevel"), "3", "the basic interface of /qb")
        for name in ("REINSTALL", "REINSTALLMODE", "ADDLOCAL", "COMPADDLOCAL"):
            self.assertNotIn(name, properties)
        self.assertInstalled("2.0.13000")
        for name in ("readme.txt", "plugvex.dll"):
            self.assertTrue(bed.to_linux(INSTALL_FOLDER + "\\" + name).is_file(), name)
        self.assertFalse(marker_present())

    def test_silent_installation_shows_nothing(self):
        run, tmp = run_setup("2.0.13000", args=["-silent"])
        self.assertSilent(run)
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(self.assertOneLog(run, tmp).get("ADDPLUGVEX"), "1")
        self.assertInstalled("2.0.13000")


class SameVersion(InstallAssertions):
    @classmethod
    def setUpClass(cls):
        install_silently("2.0.13000")

    def assertReinstalled(self, run, tmp):
        self.assertEqual(run.exit_code, 0)
        properties = self.assertOneLog(run, tmp)
        self.assertEqual(properties.get("REINSTALL"), "ALL")
        self.assertEqual(properties.get("REINSTALLMODE"), "vomus")
        # The plug-in feature is there, so nothing asks for it.
        for name in ("ADDPLUGVEX", "ADDLOCAL", "COMPADDLOCAL"):
            self.assertNotIn(name, properties)
        self.assertInstalled("2.0.13000")

    def test_no_to_the_reinstallation_question_ends_with_1602(self):
        run, tmp = run_setup("2.0.13000", steps=["yes", "no"])
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (UPDATE_CAPTION, SAME_VERSION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDNO),
            ],
        )
        self.assertEqual(run.exit_code, 1602)
        self.assertEqual(logs_in(tmp), [], "the installer ran")
        self.assertInstalled("2.0.13000")

    def test_yes_to_the_reinstallation_question_reinstalls(self):
        run, tmp = run_setup("2.0.13000", steps=["yes", "yes", "ok"])
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (UPDATE_CAPTION, SAME_VERSION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (CAPTION, DONE, [IDOK], "none", STYLE_INFORMATION, True, IDOK),
            ],
        )
        self.assertReinstalled(run, tmp)

    def test_reinstall_option_reinstalls_without_asking(self):
        run, tmp = run_setup("2.0.13000", args=["-reinstall"], steps=["yes", "ok"])
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (CAPTION, DONE, [IDOK], "none", STYLE_INFORMATION, True, IDOK),
            ],
        )
        self.assertReinstalled(run, tmp)

    def test_silent_run_leaves_the_product_alone_unless_told_to_reinstall(self):
        run, tmp = run_setup("2.0.13000", args=["-silent"])
        self.assertSilent(run)
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(logs_in(tmp), [], "the installer ran")
        self.assertInstalled("2.0.13000")

        run, tmp = run_setup("2.0.13000", args=["-silent", "-reinstall"])
        self.assertSilent(run)
        self.assertReinstalled(run, tmp)


class SameVersionWithoutThePluginFeature(InstallAssertions):
    def test_reinstallation_adds_the_plugin_component(self):
        # Installed by hand without ADDPLUGVEX=1: the package leaves its plug-in feature out.
        remove_products()
        bed.wine("msiexec", "/i", dists["2.0.13000"].win("tarvex-x64.msi"), "/qn")
        self.assertEqual(related(), [PRODUCT["2.0.13000"]])

        run, tmp = run_setup("2.0.13000", args=["-reinstall"], steps=["yes", "ok"])
        self.assertEqual(run.exit_code, 0, run.describe())
        properties = self.assertOneLog(run, tmp)
        self.assertEqual(properties.get("COMPADDLOCAL"), PLUGIN_COMPONENT)
        self.assertEqual(properties.get("REINSTALL"), "ALL")
        self.assertEqual(properties.get("REINSTALLMODE"), "vomus")
        self.assertNotIn("ADDLOCAL", properties)


class OlderPackage(InstallAssertions):
    @classmethod
    def setUpClass(cls):
        install_silently("2.0.13000")

    def test_refused_with_message_150_and_nothing_run(self):
        run, tmp = run_setup("2.0.12900", steps=["yes", "ok", "ok"])
        # Refusing counts as a successful plug-in step, so the completion text follows.
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (UPDATE_CAPTION, NEWER_INSTALLED, [IDOK], "hand", STYLE_ERROR, True, IDOK),
                (CAPTION, DONE, [IDOK], "none", STYLE_INFORMATION, True, IDOK),
            ],
        )
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(logs_in(tmp), [], "the installer ran")
        self.assertInstalled("2.0.13000")

    def test_silent_run_leaves_the_refusal_to_the_installer(self):
        run, tmp = run_setup("2.0.12900", args=["-silent", "-CadesArgs", "/qn"])
        self.assertSilent(run)
        self.assertEqual(run.exit_code, 1603)
        properties = self.assertOneLog(run, tmp)
        self.assertEqual(properties.get("ProductVersion"), "2.0.12900")
        # The package's MajorUpgrade found the newer product: its downgrade error failed the run.
        self.assertEqual(properties.get("WIX_DOWNGRADE_DETECTED"), PRODUCT["2.0.13000"])
        self.assertEqual(properties.get("UILevel"), "2", "the user's /qn replaces /qb")
        self.assertInstalled("2.0.13000")


class NewerPackage(InstallAssertions):
    def setUp(self):
        install_silently("2.0.13000")

    def assertUpdated(self, run, tmp):
        self.assertEqual(run.exit_code, 0)
        properties = self.assertOneLog(run, tmp)
        self.assertEqual(properties.get("OriginalDatabase"), dists["2.0.14000"].win("tarvex-x64.msi"))
        # Another product code: neither a reinstallation nor a first installation.
        for name in ("REINSTALL", "REINSTALLMODE", "ADDPLUGVEX", "ADDLOCAL", "COMPADDLOCAL"):
            self.assertNotIn(name, properties)
        self.assertEqual(properties.get("WIX_UPGRADE_DETECTED"), PRODUCT["2.0.13000"])
        # Wine's major upgrades were seen to leave both products, or none, on other machines; here
        # the old one has gone every time.
        self.assertInstalled("2.0.14000")

    def test_yes_to_the_update_question_updates(self):
        run, tmp = run_setup("2.0.14000", steps=["yes", "yes", "ok"])
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (UPDATE_CAPTION, UPDATE_QUESTION.format("2.0.13000", "2.0.14000"), [IDYES, IDNO], "none",
                 STYLE_UPDATE, False, IDYES),
                (CAPTION, DONE, [IDOK], "none", STYLE_INFORMATION, True, IDOK),
            ],
        )
        self.assertUpdated(run, tmp)

    def test_silent_run_updates(self):
        run, tmp = run_setup("2.0.14000", args=["-silent"])
        self.assertSilent(run)
        self.assertUpdated(run, tmp)


class FailingInstallation(InstallAssertions):
    def setUp(self):
        remove_products()

    def test_launch_condition_failure_reports_the_code_and_the_log(self):
        run, tmp = run_setup(LAUNCH_FAILURE, args=["-CadesArgs", "/qn"], steps=["yes", "ok"])
        logs = logs_in(tmp)
        self.assertEqual(len(logs), 1, [p.name for p in tmp.iterdir()])
        log = bed.to_windows(logs[0])
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (CAPTION, f"{FAILED}: 1603.\nInstall log: {log}", [IDOK], "hand", STYLE_ERROR, True, IDOK),
            ],
        )
        self.assertEqual(run.exit_code, 1603)
        properties = self.assertOneLog(run, tmp)
        self.assertEqual(properties.get("ADDPLUGVEX"), "1")
        self.assertEqual(properties.get("OriginalDatabase"), dists[LAUNCH_FAILURE].win("tarvex-x64.msi"))
        self.assertEqual(related(), [])

    def test_user_log_option_replaces_the_log_in_tmp(self):
        folder = bed.drive_c / "userlogs" / f"run{next(_tmp_numbers)}"
        folder.mkdir(parents=True)
        user_log = folder / "plugin.log"
        run, tmp = run_setup(
            LAUNCH_FAILURE, args=["-CadesArgs", "/L*v " + bed.to_windows(user_log), "-CadesArgs", "/qn"],
            steps=["yes", "ok"],
        )
        # No log of the program's own, so the message names none.
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (CAPTION, f"{FAILED}: 1603.\n", [IDOK], "hand", STYLE_ERROR, True, IDOK),
            ],
        )
        self.assertEqual(run.exit_code, 1603)
        self.assertEqual(logs_in(tmp), [])
        properties = msi_log_properties(user_log)
        self.assertEqual(properties.get("REBOOT"), "R", properties)
        self.assertEqual(properties.get("ADDPLUGVEX"), "1")

    def test_without_tmp_nothing_is_run(self):
        run, _ = run_setup("2.0.13000", steps=["yes", "ok", "ok"], unset=["TMP"])
        # The log step shows its own message; the flow then reports the code of the plug-in step.
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (ERROR_CAPTION, NO_TMP, [IDOK], "hand", STYLE_ERROR, True, IDOK),
                (CAPTION, f"{FAILED}: 203.\n", [IDOK], "hand", STYLE_ERROR, True, IDOK),
            ],
        )
        self.assertEqual(run.exit_code, 203)
        self.assertEqual(related(), [])

        run, _ = run_setup("2.0.13000", args=["-silent"], unset=["TMP"])
        self.assertSilent(run)
        self.assertEqual(run.exit_code, 203)
        self.assertEqual(related(), [])


    def test_empty_tmp_ends_with_203_whatever_an_earlier_call_left(self):
        # The package one folder below: the search beside the program fails first and leaves
        # ERROR_FILE_NOT_FOUND behind, which an empty TMP must not pass off as its own error.
        dist = bed.make_distribution("below")
        dist.add_packages("2.0.13000", "packages")
        dist.add_setup()
        for args, steps in (([], ["yes", "ok", "ok"]), (["-silent"], [])):
            run = bed.run(dist.win("Setup.exe"), args=args, steps=steps, cwd=dist.windows, env={"TMP": ""},
                          lang="ru", relay=True)
            if steps:
                self.assertDialogue(
                    run,
                    [
                        (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                        (ERROR_CAPTION, NO_TMP, [IDOK], "hand", STYLE_ERROR, True, IDOK),
                        (CAPTION, f"{FAILED}: 203.\n", [IDOK], "hand", STYLE_ERROR, True, IDOK),
                    ],
                )
            else:
                self.assertSilent(run)
            self.assertEqual(run.exit_code, 203)
            self.assertEqual(related(), [])


class RestartMarker(InstallAssertions):
    """One story in order: the reboot package makes msiexec exit 3010 on every installation and
    reinstallation. The real restart is never reached: every restart question is answered No."""

    @classmethod
    def setUpClass(cls):
        remove_products()
        bed.reg_delete(MARKER)

    @classmethod
    def tearDownClass(cls):
        bed.reg_delete(MARKER)
        remove_products()

    def test_1_norestart_completes_and_keeps_the_marker(self):
        run, tmp = run_setup(REBOOT, args=["-norestart"], steps=["yes", "ok"])
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (CAPTION, DONE, [IDOK], "none", STYLE_INFORMATION, True, IDOK),
            ],
        )
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(self.assertOneLog(run, tmp).get("ADDPLUGVEX"), "1")
        self.assertInstalled(REBOOT)
        self.assertTrue(marker_present())

    def test_2_declined_reinstallation_asks_nothing_about_the_restart(self):
        # The marker is looked at only after a successful plug-in step.
        run, tmp = run_setup(REBOOT, steps=["yes", "no"])
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (UPDATE_CAPTION, SAME_VERSION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDNO),
            ],
        )
        self.assertEqual(run.exit_code, 1602)
        self.assertTrue(marker_present())

    def test_3_next_successful_run_offers_the_restart_with_nothing_installed(self):
        # 2.0.12900 is older than the installed reboot product (2.0.13000): refused, nothing run,
        # and still a success that finds the marker of the earlier run.
        run, tmp = run_setup("2.0.12900", steps=["yes", "ok", "no"])
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (UPDATE_CAPTION, NEWER_INSTALLED, [IDOK], "hand", STYLE_ERROR, True, IDOK),
                (CAPTION, RESTART_QUESTION, [IDYES, IDNO], "exclamation", STYLE_RESTART, True, IDNO),
            ],
        )
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(logs_in(tmp), [], "the installer ran")
        self.assertFalse(marker_present())

    def test_4_reinstallation_asking_for_a_restart_offers_it(self):
        run, tmp = run_setup(REBOOT, steps=["yes", "yes", "no"])
        self.assertDialogue(
            run,
            [
                (CAPTION, QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (UPDATE_CAPTION, SAME_VERSION, [IDYES, IDNO], "none", STYLE_QUESTION, True, IDYES),
                (CAPTION, RESTART_QUESTION, [IDYES, IDNO], "exclamation", STYLE_RESTART, True, IDNO),
            ],
        )
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(self.assertOneLog(run, tmp).get("REINSTALL"), "ALL")
        # Made again by this run's installer, deleted before the question.
        self.assertFalse(marker_present())


class Removal(InstallAssertions):
    def test_asks_first_and_reports_the_end(self):
        # (installed before, answer to the question, end box (None: none), exit code)
        for before, answer, end, exit_code in (
            ("2.0.12900", IDYES, REMOVED, 0),
            ("2.0.13000", IDNO, None, 1602),
            (None, IDYES, NOT_INSTALLED, 0),
        ):
            with self.subTest(before=before, answer=answer):
                if before:
                    install_silently(before)
                else:
                    remove_products()
                steps = ["yes", "ok"] if answer == IDYES else ["no"]
                run, tmp = run_setup("2.0.13000", args=["-uninstall"], steps=steps)
                expected = [(CAPTION, REMOVAL_QUESTION, [IDYES, IDNO], "none", STYLE_QUESTION, True, answer)]
                if end:
                    expected.append((CAPTION, end, [IDOK], "none", STYLE_INFORMATION, True, IDOK))
                self.assertDialogue(run, expected)
                self.assertEqual(run.exit_code, exit_code)
                self.assertEqual(related(), [PRODUCT[before]] if answer == IDNO else [])
                logs = logs_in(tmp)
                self.assertEqual([p.name.split("_")[0] for p in logs], [PRODUCT[before]] if end == REMOVED else [])


if __name__ == "__main__":
    unittest.main()
