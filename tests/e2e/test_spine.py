"""The start-up spine of the real Setup.exe under Wine: the confirmation question, the silent run,
the usage box and the completion message."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dialogue import DialogueAssertions  # noqa: E402
from winebed import WineBed, message  # noqa: E402

PLUGIN = message("IDS_PRODUCT_CAPTION")
CAPTION = PLUGIN
QUESTION_PLUGIN = message("IDS_CONFIRM_PLUGIN")
QUESTION_CSP = message("IDS_CONFIRM_CSP")
QUESTION_UCSP = message("IDS_CONFIRM_UCSP")
QUESTION_BOTH = message("IDS_CONFIRM_BOTH")
DONE_PLUGIN = message("IDS_DONE_PLUGIN")
USAGE_CAPTION = "Справка"
USAGE_START = "Установщик Solvarn ЭЦП Browser plug-in.\n"

IDOK, IDYES, IDNO = 1, 6, 7

# The release the distribution folder carries, one product per platform.
PACKAGE_SET = "2.0.13000"
PRODUCT_CODES = ("{50A1C0DE-2013-4000-8000-000000000032}", "{50A1C0DE-2013-4000-8000-000000000064}")

# MessageBoxW uType values: MB_TOPMOST | MB_SETFOREGROUND, with MB_YESNO or MB_ICONINFORMATION.
STYLE_QUESTION = 0x50004
STYLE_INFORMATION = 0x50000
STYLE_USAGE = 0x50040

bed = None
setup_exe = None
folder = None


def setUpModule():
    global bed, setup_exe, folder
    bed = WineBed()
    bed.start()
    dist = bed.make_distribution("spine")
    dist.add_packages(PACKAGE_SET)
    setup_exe = dist.add_setup()
    folder = dist.windows


def tearDownModule():
    if bed is not None:
        bed.stop()


def remove_plugin():
    # Every test starts from a machine without the plug-in, whatever ran before it.
    for code in PRODUCT_CODES:
        bed.uninstall(code)


def run_setup(args=(), steps=(), relay=True):
    # Started from its own folder and under a Russian locale, as a user of the product would.
    return bed.run(setup_exe, args=args, steps=steps, cwd=folder, lang="ru", relay=relay)


class ConfirmationQuestion(DialogueAssertions):
    def test_no_ends_the_run_without_installing(self):
        run = run_setup(steps=["no"])
        self.assertEqual(len(run.windows), 1, run.describe())
        question = run.windows[0]
        self.assertBox(question, CAPTION, QUESTION_PLUGIN, [IDYES, IDNO], "none")
        # A hidden owner keeps the box off the taskbar as a window of its own; it is disabled
        # while the box is up, as any modal owner.
        self.assertEqual(
            question["owner"] and {k: question["owner"][k] for k in ("class", "visible", "disabled")},
            {"class": "Static", "visible": False, "disabled": True},
        )
        self.assertCalls(run, [(STYLE_QUESTION, IDNO)])
        self.assertEqual(run.exit_code, 0)

    def test_yes_installs_and_reports_completion(self):
        self.addCleanup(remove_plugin)
        run = run_setup(steps=["yes", "ok"])
        self.assertEqual(len(run.windows), 2, run.describe())
        self.assertBox(run.windows[0], CAPTION, QUESTION_PLUGIN, [IDYES, IDNO], "none")
        self.assertBox(run.windows[1], CAPTION, DONE_PLUGIN, [IDOK], "none")
        self.assertCalls(run, [(STYLE_QUESTION, IDYES), (STYLE_INFORMATION, IDOK)])
        self.assertEqual(run.exit_code, 0)

    def test_question_names_the_requested_providers(self):
        for args, question in (
            (["-csp", "-ucsp"], QUESTION_BOTH),
            (["-csp"], QUESTION_CSP),
            (["-ucsp"], QUESTION_UCSP),
        ):
            with self.subTest(args=args):
                run = run_setup(args=args, steps=["no"])
                self.assertEqual(len(run.windows), 1, run.describe())
                self.assertBox(run.windows[0], CAPTION, question, [IDYES, IDNO], "none")
                self.assertCalls(run, [(STYLE_QUESTION, IDNO)])
                self.assertEqual(run.exit_code, 0)


class SilentRun(DialogueAssertions):
    def test_shows_nothing_and_succeeds(self):
        # Without steps the driver fails the run on any window; the trace also catches a box
        # that would close before the driver saw it.
        self.addCleanup(remove_plugin)
        run = run_setup(args=["-silent"])
        self.assertEqual(run.message_box_calls, [])
        self.assertEqual(run.exit_code, 0)


class Usage(DialogueAssertions):
    def test_usage_box_even_when_silent(self):
        for args in (["-x"], ["-silent", "-x"]):
            with self.subTest(args=args):
                run = run_setup(args=args, steps=["ok"])
                self.assertEqual(len(run.windows), 1, run.describe())
                usage = run.windows[0]
                self.assertEqual(usage["caption"], USAGE_CAPTION)
                self.assertTrue(usage["text"].startswith(USAGE_START), usage["text"])
                self.assertEqual(usage["buttons"], [IDOK])
                self.assertEqual(usage["icon"], "asterisk")
                self.assertCalls(run, [(STYLE_USAGE, IDOK)])
                self.assertEqual(run.exit_code, 0)


if __name__ == "__main__":
    unittest.main()
