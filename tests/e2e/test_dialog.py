"""The configuration dialog of the real Setup.exe under Wine: when it appears, its two panels, its
defaults by system language, and what each way out of it does to the run."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winebed import WineBed, message  # noqa: E402

CAPTION = message("IDS_PRODUCT_CAPTION")
QUESTION_PLUGIN = message("IDS_CONFIRM_PLUGIN")
QUESTION_CSP = message("IDS_CONFIRM_CSP")
QUESTION_UCSP = message("IDS_CONFIRM_UCSP")
DONE_PLUGIN = message("IDS_DONE_PLUGIN")
DONE_CSP = message("IDS_DONE_CSP")
PROVIDER_FAILED = message("IDS_PROVIDER_FAILED")

DIALOG_CAPTION = "DADErara"
WELCOME_TEXT = (
    "https://www.solvarn.example\n"
    "\n"
    "Благодарим за выбор Solvarn CSP.\n"
    'Для продолжения установки нажимте "Далее",\n'
    'для установки специфических настроек - "Опции".\n'
    'Если вы не знаете, что выбирать, нажмите "Далее".'
)
NEXT, CANCEL, TOGGLE = 140, 2, 1015
RUSSIAN, ENGLISH, KC1, KC2, KC3 = 1006, 1007, 1008, 1009, 1010
LANGUAGE_FRAME, LEVEL_FRAME, TAGLINE_FRAME, WELCOME = 1012, 1013, 1011, 1014
OPTIONS_PANEL = (RUSSIAN, ENGLISH, KC1, KC2, KC3, LANGUAGE_FRAME, LEVEL_FRAME)
WELCOME_PANEL = (TAGLINE_FRAME, WELCOME)
CONTROL_TEXTS = {
    NEXT: "Далее",
    CANCEL: "Отмена",
    RUSSIAN: "Русский",
    ENGLISH: "English",
    KC1: "KC1",
    KC2: "KC2",
    KC3: "KC3",
    LANGUAGE_FRAME: "Язык установки:",
    LEVEL_FRAME: "Уровень безопасности:",
    WELCOME: WELCOME_TEXT,
}

IDYES, IDNO = 6, 7
STYLE_QUESTION = 0x50004
# WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS, as the
# template has it (Wine adds WS_VISIBLE, WS_CLIPSIBLINGS and DS_3DLOOK of its own).
DIALOG_STYLE = 0x80C808C8
WS_EX_WINDOWEDGE = 0x100

PACKAGE_SET = "2.0.13000"
# The product of the prefix's platform.
PRODUCT_CODES = {"win32": "{50A1C0DE-2013-4000-8000-000000000032}", "win64": "{50A1C0DE-2013-4000-8000-000000000064}"}

bed = None
dist = None
setup_exe = None


def setUpModule():
    global bed, dist, setup_exe
    # The dialog does not depend on the platform: any prefix will do.
    bed = WineBed(arch="any")
    bed.start()
    dist = bed.make_distribution("dialog")
    dist.add_packages(PACKAGE_SET)
    setup_exe = dist.add_setup()
    dist.add_providers()


def tearDownModule():
    if bed is not None:
        bed.stop()


def prepare(csp="0", ucsp="0"):
    for provider, code in (("csp", csp), ("ucsp", ucsp)):
        dist.write(f"{provider}/exitcode.txt", code)
        received = dist.linux / provider / "received.txt"
        if received.exists():
            received.unlink()


def received(provider):
    path = dist.linux / provider / "received.txt"
    return path.read_bytes().decode("utf-8").splitlines() if path.exists() else None


def plugin_installed():
    return (bed.drive_c / "Program Files" / "Solvarn" / "Browser plug-in" / "readme.txt").exists()


def remove_plugin():
    bed.uninstall(PRODUCT_CODES[bed.arch])


def run_setup(args, steps=(), lang="ru"):
    return bed.run(setup_exe, args=args, steps=steps, cwd=dist.windows, lang=lang, relay=True)


def controls(dump):
    return {c["id"]: c for c in dump["controls"]}


def dialogs(run):
    return [w for w in run.windows if w["caption"] == DIALOG_CAPTION]


class DialogAssertions(unittest.TestCase):
    def assertQuestion(self, box, text):
        self.assertEqual((box["caption"], box["text"], box["buttons"]), (CAPTION, text, [IDYES, IDNO]))

    def assertPanel(self, dump, panel):
        """The dialog as one dump shows it: which panel is up, and what the toggle button says."""
        found = controls(dump)
        shown, hidden = (OPTIONS_PANEL, WELCOME_PANEL) if panel == "options" else (WELCOME_PANEL, OPTIONS_PANEL)
        self.assertEqual({i: found[i]["visible"] for i in shown}, {i: True for i in shown}, panel)
        self.assertEqual({i: found[i]["visible"] for i in hidden}, {i: False for i in hidden}, panel)
        for button in (NEXT, CANCEL, TOGGLE):
            self.assertTrue(found[button]["visible"], button)
        self.assertEqual(found[TOGGLE]["text"], message("IDS_HIDE_PANEL") if panel == "options" else message("IDS_OPTIONS_PANEL"))

    def assertNothingInstalled(self, run):
        self.assertIsNone(received("csp"))
        self.assertIsNone(received("ucsp"))
        self.assertFalse(plugin_installed())


class WhenShown(DialogAssertions):
    def test_not_without_csp(self):
        self.addCleanup(remove_plugin)
        prepare()
        run = run_setup(["-selectDlg"], steps=["yes", "ok"])
        self.assertEqual(len(run.windows), 2, run.describe())
        self.assertQuestion(run.windows[0], QUESTION_PLUGIN)
        self.assertEqual(run.windows[1]["text"], DONE_PLUGIN)
        self.assertEqual(run.exit_code, 0)

        # UCSP is no CSP: the dialog stays away and the UCSP step comes straight after the question.
        prepare(ucsp="1")
        run = run_setup(["-selectDlg", "-ucsp"], steps=["yes", "ok"])
        self.assertEqual(len(run.windows), 2, run.describe())
        self.assertQuestion(run.windows[0], QUESTION_UCSP)
        self.assertTrue(run.windows[1]["text"].startswith(f"{PROVIDER_FAILED}: 1.\n"), run.describe())
        self.assertEqual(len(received("ucsp")), 1)
        self.assertEqual(run.exit_code, 1)

    def test_not_when_silent(self):
        # The stand-in fails, so that the silent run ends right after the step the dialog would
        # have come before.
        prepare(csp="1")
        run = run_setup(["-csp", "-selectDlg", "-silent"])
        self.assertEqual(run.windows, [])
        self.assertEqual(run.message_box_calls, [])
        self.assertEqual(len(received("csp")), 1)
        self.assertEqual(run.exit_code, 1)

    def test_only_after_the_question_is_answered_yes(self):
        prepare()
        run = run_setup(["-csp", "-selectDlg"], steps=["no"])
        self.assertEqual(len(run.windows), 1, run.describe())
        self.assertQuestion(run.windows[0], QUESTION_CSP)
        self.assertNothingInstalled(run)
        self.assertEqual(run.exit_code, 0)


class Panels(DialogAssertions):
    def test_opens_on_welcome_and_toggles(self):
        prepare()
        run = run_setup(
            ["-csp", "-selectDlg"],
            steps=["yes", f"dump+click:{TOGGLE}+dump+click:{TOGGLE}+dump+click:{CANCEL}"],
        )
        self.assertEqual(len(run.windows), 2, run.describe())
        self.assertQuestion(run.windows[0], QUESTION_CSP)
        welcome, options, back = [b for b in run.boxes if b["window"] == 2]
        self.assertEqual(welcome["class"], "#32770")
        self.assertEqual(welcome["caption"], DIALOG_CAPTION)
        # Not owned by the hidden window of the message boxes: a window of its own on the taskbar.
        self.assertIsNone(welcome["owner"])
        self.assertEqual(int(welcome["style"], 16) & DIALOG_STYLE, DIALOG_STYLE, welcome["style"])
        self.assertTrue(int(welcome["exStyle"], 16) & WS_EX_WINDOWEDGE, welcome["exStyle"])
        found = controls(welcome)
        self.assertEqual(sorted(found), sorted({TOGGLE, TAGLINE_FRAME, *CONTROL_TEXTS}))
        self.assertEqual({i: found[i]["text"] for i in CONTROL_TEXTS}, CONTROL_TEXTS)
        self.assertTrue(found[TAGLINE_FRAME]["text"])
        self.assertPanel(welcome, "welcome")
        self.assertPanel(options, "options")
        self.assertPanel(back, "welcome")
        self.assertNothingInstalled(run)
        self.assertEqual(run.exit_code, 0)

    def test_defaults_follow_the_system_language(self):
        # Only Russian as used in Russia (0x0419) picks "Русский"; Russian as used in Moldova (0x0819
        # under Wine) does not.
        for lang, language in (("ru", RUSSIAN), ("ru_MD.UTF-8", ENGLISH), ("en", ENGLISH), (None, ENGLISH)):
            with self.subTest(lang=lang):
                prepare()
                run = run_setup(
                    ["-csp", "-selectDlg"], steps=["yes", f"click:{TOGGLE}+dump+click:{CANCEL}"], lang=lang
                )
                options = [b for b in run.boxes if b["window"] == 2][-1]
                self.assertPanel(options, "options")
                checked = {i for i, c in controls(options).items() if i in OPTIONS_PANEL and c["checked"] == 1}
                self.assertEqual(checked, {language, KC1})
                self.assertEqual(run.exit_code, 0)


class WaysOut(DialogAssertions):
    def test_next_goes_on_to_the_csp_step(self):
        self.addCleanup(remove_plugin)
        prepare()
        run = run_setup(["-csp", "-selectDlg"], steps=["yes", f"dump+click:{NEXT}", "ok"])
        self.assertEqual(len(run.windows), 3, run.describe())
        self.assertQuestion(run.windows[0], QUESTION_CSP)
        self.assertEqual(run.windows[1]["caption"], DIALOG_CAPTION)
        self.assertEqual(run.windows[2]["text"], DONE_CSP)
        lines = received("csp")
        self.assertEqual(len(lines), 1, lines)
        self.assertTrue(lines[0].startswith(f'"{dist.win("csp")}\\Setup.exe" -args "/qb /Lv! """'), lines[0])
        self.assertTrue(lines[0].endswith('""" " -noreboot -root'), lines[0])
        self.assertTrue(plugin_installed())
        self.assertEqual(run.exit_code, 0)

    def test_choices_do_not_reach_the_nested_setup(self):
        # The language and level picked are recorded but passed to no one: the command line is the
        # one the defaults give.
        prepare(csp="1")
        run = run_setup(
            ["-csp", "-selectDlg"],
            steps=["yes", f"click:{TOGGLE}+click:{ENGLISH}+click:{KC3}+dump+click:{NEXT}", "ok"],
        )
        before_next = [b for b in run.boxes if b["window"] == 2][-1]
        chosen = {i for i, c in controls(before_next).items() if i in OPTIONS_PANEL and c["checked"] == 1}
        self.assertEqual(chosen, {ENGLISH, KC3})
        lines = received("csp")
        self.assertEqual(len(lines), 1, lines)
        self.assertRegex(lines[0], r'^"[^"]+\\csp\\Setup\.exe" -args "/qb /Lv! """[^"]+""" " -noreboot -root$')
        self.assertEqual(run.windows[2]["text"].split("\n")[0], f"{PROVIDER_FAILED}: 1.")
        self.assertEqual(run.exit_code, 1)

    def test_cancel_esc_and_close_box_end_the_run(self):
        for action in (f"click:{CANCEL}", "esc", "close"):
            with self.subTest(action=action):
                prepare()
                run = run_setup(["-csp", "-ucsp", "-selectDlg"], steps=["yes", f"dump+{action}"])
                self.assertEqual(len(run.windows), 2, run.describe())
                self.assertEqual(run.windows[1]["caption"], DIALOG_CAPTION)
                # No box after the dialog: only the question was ever asked.
                self.assertEqual([(c["style"], c["result"]) for c in run.message_box_calls], [(STYLE_QUESTION, IDYES)])
                self.assertNothingInstalled(run)
                self.assertEqual(run.exit_code, 0)


if __name__ == "__main__":
    unittest.main()
