"""The Windows version check of the real Setup.exe under Wine: Windows 2000, XP and 2003 without the
service pack the products need end the run with their own message and exit code; newer releases,
and those releases with the service pack, reach the confirmation question.

One 32-bit prefix serves every release: Wine's 64-bit prefix does not take Windows 2000 or XP, and
a 32-bit one reports Windows Server 2003 (5.2) as well. Where the host runs 64-bit programs only, a
64-bit prefix shows 5.2 and later, and the rows of 2000 and XP are skipped. The service pack is set
in the registry next to the release (WineBed.set_windows_version).
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winebed import WIN32_ONLY_VERSIONS, WineBed, message, require_32bit  # noqa: E402

CAPTION = message("IDS_PRODUCT_CAPTION")
QUESTION_PLUGIN = message("IDS_CONFIRM_PLUGIN")
NEED_2000_SP4 = message("IDS_NEED_WINDOWS_2000_SP4")
NEED_XP_SP2 = message("IDS_NEED_WINDOWS_XP_SP2")
NEED_2003_SP1 = message("IDS_NEED_WINDOWS_2003_SP1")

IDOK, IDYES, IDNO = 1, 6, 7
STYLE_ERROR = 0x50010  # MB_ICONHAND | MB_SETFOREGROUND | MB_TOPMOST
STYLE_QUESTION = 0x50004

# (winecfg version, service pack, message, exit code): each release just below its minimum.
REFUSED = (
    ("win2k", 3, NEED_2000_SP4, 3),
    ("win2k", 0, NEED_2000_SP4, 3),
    ("winxp", 1, NEED_XP_SP2, 4),
    ("winxp", 0, NEED_XP_SP2, 4),
    ("win2003", 0, NEED_2003_SP1, 5),
)
# Each release at its minimum and above, and newer releases whatever their service pack.
ACCEPTED = (
    ("win2k", 4),
    ("winxp", 2),
    ("winxp", 3),
    ("win2003", 1),
    ("win2003", 2),
    ("win7", None),
    ("win10", None),
)

bed = None
dist = None
setup_exe = None


def setUpModule():
    global bed, dist, setup_exe
    bed = WineBed(arch="any")
    bed.start()
    dist = bed.make_distribution("version")
    setup_exe = dist.add_setup()
    # A provider that must never be started on a refused system.
    dist.add_providers("csp")


def tearDownModule():
    if bed is not None:
        bed.stop()


def run_setup(args=(), steps=()):
    return bed.run(setup_exe, args=args, steps=steps, cwd=dist.windows, lang="ru", relay=True)


def nested_setup_started():
    return (dist.linux / "csp" / "received.txt").exists()


class VersionCheck(unittest.TestCase):
    def setUp(self):
        received = dist.linux / "csp" / "received.txt"
        if received.exists():
            received.unlink()

    def requirePrefixFor(self, version):
        if version in WIN32_ONLY_VERSIONS:
            require_32bit(self, "Windows 5.0 and 5.1 need a 32-bit prefix")

    def assertRefusal(self, run, text, code):
        self.assertEqual(len(run.windows), 1, run.describe())
        box = run.windows[0]
        self.assertEqual(box["class"], "#32770")
        self.assertEqual(box["caption"], CAPTION)
        self.assertEqual(box["text"], text)
        self.assertEqual(box["buttons"], [IDOK])
        self.assertEqual(box["icon"], "hand")
        owner = box["owner"]
        self.assertIsNotNone(owner, run.describe())
        self.assertEqual(
            {k: owner[k] for k in ("class", "visible", "disabled")},
            {"class": "Static", "visible": False, "disabled": True},
        )
        calls = run.message_box_calls
        self.assertEqual(
            [(c["function"], c["style"], c["result"]) for c in calls], [("MessageBoxW", STYLE_ERROR, IDOK)]
        )
        self.assertEqual(calls[0]["owner"], int(owner["hwnd"], 16))
        self.assertEqual(calls[0]["caption"], CAPTION)
        self.assertEqual(run.exit_code, code)

    def test_old_releases_without_their_service_pack_are_refused(self):
        for version, service_pack, text, code in REFUSED:
            with self.subTest(version=version, service_pack=service_pack):
                self.requirePrefixFor(version)
                bed.set_windows_version(version, service_pack)
                # The check comes before the question: the requested provider is never started.
                run = run_setup(["-csp"], steps=["ok"])
                self.assertRefusal(run, text, code)
                self.assertFalse(nested_setup_started())

                # Silent: the same end without a box.
                run = run_setup(["-silent", "-csp"])
                self.assertEqual(run.message_box_calls, [])
                self.assertFalse(nested_setup_started())
                self.assertEqual(run.exit_code, code)

    def test_supported_releases_reach_the_question(self):
        for version, service_pack in ACCEPTED:
            with self.subTest(version=version, service_pack=service_pack):
                self.requirePrefixFor(version)
                bed.set_windows_version(version, service_pack)
                run = run_setup(steps=["no"])
                self.assertEqual(len(run.windows), 1, run.describe())
                self.assertEqual(run.windows[0]["caption"], CAPTION)
                self.assertEqual(run.windows[0]["text"], QUESTION_PLUGIN)
                self.assertEqual(run.windows[0]["buttons"], [IDYES, IDNO])
                self.assertEqual(
                    [(c["style"], c["result"]) for c in run.message_box_calls], [(STYLE_QUESTION, IDNO)]
                )
                self.assertEqual(run.exit_code, 0)


if __name__ == "__main__":
    unittest.main()
