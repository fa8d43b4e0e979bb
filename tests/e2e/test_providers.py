"""The provider setups under Wine: the command line the real Setup.exe gives the nested Setup.exe of
the csp and ucsp folders, how it reads that setup's exit code, and what the user sees when it fails.

The nested setup is the stand-in of tests/fixtures/programs/nested_setup.cpp: it records the command
line it received in received.txt beside itself, writes the log it is asked for, and ends with the
code written in exitcode.txt beside itself.
"""

import os
import re
import shutil
import sys
import unittest
from datetime import datetime

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dialogue import DialogueAssertions  # noqa: E402
from winebed import WineBed, message  # noqa: E402

CAPTION = message("IDS_PRODUCT_CAPTION")
QUESTION_CSP = message("IDS_CONFIRM_CSP")
QUESTION_UCSP = message("IDS_CONFIRM_UCSP")
QUESTION_BOTH = message("IDS_CONFIRM_BOTH")
DONE_CSP = message("IDS_DONE_CSP")
DONE_UCSP = message("IDS_DONE_UCSP")
DONE_BOTH = message("IDS_DONE_BOTH")
PROVIDER_FAILED = message("IDS_PROVIDER_FAILED")
NO_TMP = message("IDS_ENVIRONMENT_UNREADABLE")
ERROR_CAPTION = message("IDS_ERROR_CAPTION")

IDOK, IDYES, IDNO = 1, 6, 7
STYLE_QUESTION = 0x50004
STYLE_INFORMATION = 0x50000
STYLE_ERROR = 0x50010  # MB_ICONHAND | MB_SETFOREGROUND | MB_TOPMOST

PACKAGE_SET = "2.0.13000"
# The package of the platform: the x64 one on this 64-bit prefix.
PRODUCT_CODE = "{50A1C0DE-2013-4000-8000-000000000064}"

# Where the runs' TMP points: a folder of the test's own, emptied before each run, so that a log left
# by an earlier run in the same second (same name) cannot pass for one this run made. The blank
# shows the path travels between the triple quotes untouched.
LOG_FOLDER = r"C:\setup logs"
STAMP = r"\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2}"

bed = None
dist = None
setup_exe = None


def setUpModule():
    global bed, dist, setup_exe
    bed = WineBed()
    bed.start()
    dist = bed.make_distribution("providers")
    dist.add_packages(PACKAGE_SET)
    setup_exe = dist.add_setup()
    dist.add_providers()


def tearDownModule():
    if bed is not None:
        bed.stop()


def prepare(csp="0", ucsp="0", folder=None):
    """Tells each stand-in how to end, forgets what it received and empties the log folder."""
    folder = folder or dist
    for provider, code in (("csp", csp), ("ucsp", ucsp)):
        if (folder.linux / provider).is_dir():
            folder.write(f"{provider}/exitcode.txt", code)
            for name in ("received.txt", "started.txt", "release.txt", "broadcast.txt"):
                (folder.linux / provider / name).unlink(missing_ok=True)
    logs = bed.to_linux(LOG_FOLDER)
    shutil.rmtree(logs, ignore_errors=True)
    logs.mkdir(parents=True)


def received(provider, folder=None):
    """The command lines the stand-in got, one per start; None when it never ran."""
    path = (folder or dist).linux / provider / "received.txt"
    if not path.exists():
        return None
    return path.read_bytes().decode("utf-8").splitlines()


def nested_path(provider, folder=None):
    return (folder or dist).win(rf"{provider}\Setup.exe")


def plugin_installed():
    # Both platform packages install into this folder; only a finished plug-in step puts it there.
    return (bed.drive_c / "Program Files" / "Solvarn" / "Browser plug-in" / "readme.txt").exists()


def remove_plugin():
    bed.uninstall(PRODUCT_CODE)


def run_setup(args, steps=(), unset=(), cwd=None, program=None, timeout=60):
    environment = {"TMP": LOG_FOLDER}
    for name in unset:
        environment.pop(name, None)
    return bed.run(
        program or setup_exe,
        args=args,
        steps=steps,
        env=environment,
        unset=unset,
        cwd=cwd or dist.windows,
        lang="ru",
        relay=True,
        timeout=timeout,
    )


def expected_line(provider, args, tail="", folder=None):
    """A pattern of the whole command line: args is a pattern of what -args carries, in which LOG
    stands for the log option the program adds (its time stamp becomes the group "stamp")."""
    return (
        "^"
        + re.escape(f'"{nested_path(provider, folder)}" -args "')
        + args.replace("LOG", re.escape(f'/Lv! """{LOG_FOLDER}\\{provider}_') + f"(?P<stamp>{STAMP})" + r'\.log""" ')
        + re.escape(f'" -noreboot -root{tail}')
        + "$"
    )


class ProviderAssertions(DialogueAssertions):
    def assertOwnedByHiddenWindow(self, run, index):
        box, call = run.windows[index], run.message_box_calls[index]
        owner = box["owner"]
        self.assertIsNotNone(owner, run.describe())
        self.assertEqual(
            {k: owner[k] for k in ("class", "visible", "disabled")},
            {"class": "Static", "visible": False, "disabled": True},
        )
        self.assertEqual(call["owner"], int(owner["hwnd"], 16))

    def assertProviderFailure(self, run, index, code, log=None):
        """The failure box of a provider step: empty caption, the code, the log line if given."""
        text = f"{PROVIDER_FAILED}: {code}.\n" + (f"Install log: {log}" if log else "")
        self.assertBox(run.windows[index], "", text, [IDOK], "hand")
        self.assertEqual(run.message_box_calls[index]["caption"], "")
        self.assertEqual(run.message_box_calls[index]["style"], STYLE_ERROR)
        self.assertOwnedByHiddenWindow(run, index)

    def assertOneStart(self, provider, pattern, folder=None):
        lines = received(provider, folder)
        self.assertIsNotNone(lines, f"{provider}\\Setup.exe was not started")
        self.assertEqual(len(lines), 1, lines)
        match = re.match(pattern, lines[0])
        self.assertIsNotNone(match, f"\n{lines[0]}\ndoes not match\n{pattern}")
        return match

    def assertLogMade(self, run, provider, stamp):
        datetime.strptime(stamp, "%Y-%m-%d-%H-%M-%S")  # a real local time, not just the shape
        log = f"{LOG_FOLDER}\\{provider}_{stamp}.log"
        self.assertTrue(bed.to_linux(log).is_file(), f"{log} was not written")
        # A console-attached run prints each stamp it makes.
        self.assertIn(stamp, run.stdout.splitlines())
        return log


class CommandLine(ProviderAssertions):
    def test_default_command_line_then_plugin(self):
        self.addCleanup(remove_plugin)
        prepare()
        run = run_setup(["-csp"], steps=["yes", "ok"])
        match = self.assertOneStart("csp", expected_line("csp", "/qb LOG"))
        self.assertLogMade(run, "csp", match["stamp"])
        self.assertBox(run.windows[0], CAPTION, QUESTION_CSP, [IDYES, IDNO], "none")
        self.assertBox(run.windows[1], CAPTION, DONE_CSP, [IDOK], "none")
        self.assertCalls(run, [(STYLE_QUESTION, IDYES), (STYLE_INFORMATION, IDOK)])
        self.assertIsNone(received("ucsp"))
        self.assertTrue(plugin_installed())
        self.assertEqual(run.exit_code, 0)

    def test_default_tmp_of_the_system(self):
        # Without a TMP of the test's own: the log goes where Wine's user profile says.
        prepare(csp="1")
        run = bed.run(setup_exe, args=["-csp"], steps=["yes", "ok"], cwd=dist.windows, lang="ru")
        line = received("csp")[0]
        match = re.match(
            "^"
            + re.escape(f'"{nested_path("csp")}" -args "/qb /Lv! """')
            + rf"(?P<log>[A-Z]:\\[^\"]+\\csp_(?P<stamp>{STAMP})\.log)"
            + re.escape('""" " -noreboot -root')
            + "$",
            line,
        )
        self.assertIsNotNone(match, line)
        self.assertTrue(bed.to_linux(match["log"]).is_file(), match["log"])
        self.assertEqual(run.windows[1]["text"], f"{PROVIDER_FAILED}: 1.\nInstall log: {match['log']}")
        self.assertEqual(run.exit_code, 1)

    def test_ucsp_alone_and_both_in_order(self):
        self.addCleanup(remove_plugin)
        prepare()
        run = run_setup(["-ucsp"], steps=["yes", "ok"])
        match = self.assertOneStart("ucsp", expected_line("ucsp", "/qb LOG"))
        self.assertLogMade(run, "ucsp", match["stamp"])
        self.assertIsNone(received("csp"))
        self.assertBox(run.windows[0], CAPTION, QUESTION_UCSP, [IDYES, IDNO], "none")
        self.assertBox(run.windows[1], CAPTION, DONE_UCSP, [IDOK], "none")
        self.assertEqual(run.exit_code, 0)
        remove_plugin()

        # Each provider gets its own extra arguments and its own log; CSP runs first (its stamp is
        # printed first).
        prepare()
        run = run_setup(
            ["-ucsp", "-UCSPArgs", "U=1", "-csp", "-CSPArgs", "C=1"], steps=["yes", "ok"]
        )
        csp = self.assertOneStart("csp", expected_line("csp", "/qb LOG" + re.escape("C=1 ")))
        ucsp = self.assertOneStart("ucsp", expected_line("ucsp", "/qb LOG" + re.escape("U=1 ")))
        self.assertLogMade(run, "csp", csp["stamp"])
        self.assertLogMade(run, "ucsp", ucsp["stamp"])
        stamps = [line for line in run.stdout.splitlines() if re.fullmatch(STAMP, line)]
        self.assertEqual(stamps[:2], [csp["stamp"], ucsp["stamp"]])
        self.assertBox(run.windows[0], CAPTION, QUESTION_BOTH, [IDYES, IDNO], "none")
        self.assertBox(run.windows[1], CAPTION, DONE_BOTH, [IDOK], "none")
        self.assertTrue(plugin_installed())
        self.assertEqual(run.exit_code, 0)

    def test_log_and_ui_level_options_of_the_user(self):
        # The stand-in fails (1603) so that each run ends at the provider step; the failure box then
        # shows whether the program thinks it arranged a log.
        cases = (
            # (-CSPArgs values, what -args carries, whether the program adds its log)
            (["/L*v C:\\x.log"], re.escape("/qb /L*v C:\\x.log "), False),
            (["/l C:\\x.log"], re.escape("/qb /l C:\\x.log "), False),
            (["INSTALLDIR=D:/lib"], re.escape("/qb INSTALLDIR=D:/lib "), False),
            (["/qn"], "LOG" + re.escape("/qn "), True),
            (["/passive /qr"], "LOG" + re.escape("/passive /qr "), True),
            (["/Q"], "/qb LOG" + re.escape("/Q "), True),
            (["/Lv C:\\x.log /qn"], re.escape("/Lv C:\\x.log /qn "), False),
            (['PROP="a b"'], "/qb LOG" + re.escape('PROP="a b" '), True),
            (["A=1", "B=2"], "/qb LOG" + re.escape("A=1 B=2 "), True),
        )
        for values, args, adds_log in cases:
            with self.subTest(values=values):
                prepare(csp="1603")
                argv = ["-csp"]
                for value in values:
                    argv += ["-CSPArgs", value]
                run = run_setup(argv, steps=["yes", "ok"])
                match = self.assertOneStart("csp", expected_line("csp", args))
                log = self.assertLogMade(run, "csp", match["stamp"]) if adds_log else None
                if not adds_log:
                    self.assertEqual(os.listdir(bed.to_linux(LOG_FOLDER)), [])
                self.assertProviderFailure(run, 1, 1603, log)
                self.assertEqual(run.exit_code, 1603)

    def test_silent_and_reinstall_switches(self):
        for flags, tail in (
            (["-silent", "-reinstall"], " -silent -reinstall"),
            (["-reinstall", "-silent"], " -silent -reinstall"),
            (["-silent"], " -silent"),
            (["-reinstall"], " -reinstall"),
        ):
            with self.subTest(flags=flags):
                prepare(csp="1603")
                silent = "-silent" in flags
                run = run_setup(["-csp", *flags], steps=[] if silent else ["yes", "ok"])
                self.assertOneStart("csp", expected_line("csp", "/qb LOG", tail))
                if silent:
                    self.assertEqual(run.message_box_calls, [])
                else:
                    self.assertEqual(len(run.windows), 2, run.describe())
                self.assertFalse(plugin_installed())
                self.assertEqual(run.exit_code, 1603)


class ExitCodes(ProviderAssertions):
    def test_success_codes_go_on_to_the_plugin(self):
        # 3 and 4 are the nested setup's own "done" codes and 1602 a user who cancelled it.
        for code in ("0", "3", "4", "1602"):
            with self.subTest(code=code):
                prepare(csp=code)
                try:
                    run = run_setup(["-csp"], steps=["yes", "ok"])
                    self.assertOneStart("csp", expected_line("csp", "/qb LOG"))
                    self.assertEqual(len(run.windows), 2, run.describe())
                    self.assertBox(run.windows[1], CAPTION, DONE_CSP, [IDOK], "none")
                    self.assertTrue(plugin_installed())
                    self.assertEqual(run.exit_code, 0)
                finally:
                    remove_plugin()

    def test_other_codes_end_the_run_with_message_105(self):
        for instruction, code, writes_log in (
            ("3010", 3010, True),
            ("nolog3010", 3010, False),
            ("1", 1, True),
            ("1603", 1603, True),
            ("5", 5, True),
            ("0xFFFFFFFF", 4294967295, True),
            ("crash", 0xC0000005, False),
        ):
            with self.subTest(exitcode=instruction):
                prepare(csp=instruction)
                run = run_setup(["-csp"], steps=["yes", "ok"])
                match = self.assertOneStart("csp", expected_line("csp", "/qb LOG"))
                log = f"{LOG_FOLDER}\\csp_{match['stamp']}.log"
                self.assertEqual(bed.to_linux(log).is_file(), writes_log)
                self.assertEqual(len(run.windows), 2, run.describe())
                self.assertProviderFailure(run, 1, code, log if writes_log else None)
                self.assertCalls(run, [(STYLE_QUESTION, IDYES), (STYLE_ERROR, IDOK)])
                self.assertFalse(plugin_installed())
                self.assertEqual(run.exit_code, code)

    def test_silent_failure_shows_nothing(self):
        prepare(csp="3010")
        run = run_setup(["-csp", "-silent"])
        self.assertOneStart("csp", expected_line("csp", "/qb LOG", " -silent"))
        self.assertEqual(run.message_box_calls, [])
        self.assertFalse(plugin_installed())
        self.assertEqual(run.exit_code, 3010)


class FailedProviderStopsTheRun(ProviderAssertions):
    def test_failed_csp_leaves_ucsp_and_plugin_alone(self):
        prepare(csp="1603", ucsp="0")
        run = run_setup(["-csp", "-ucsp"], steps=["yes", "ok"])
        match = self.assertOneStart("csp", expected_line("csp", "/qb LOG"))
        self.assertIsNone(received("ucsp"))
        self.assertEqual(len(run.windows), 2, run.describe())
        self.assertBox(run.windows[0], CAPTION, QUESTION_BOTH, [IDYES, IDNO], "none")
        self.assertProviderFailure(run, 1, 1603, f"{LOG_FOLDER}\\csp_{match['stamp']}.log")
        self.assertFalse(plugin_installed())
        self.assertEqual(run.exit_code, 1603)

    def test_failed_ucsp_names_csp_and_leaves_plugin_alone(self):
        # Message 105 names CSP whichever provider failed.
        prepare(csp="0", ucsp="nolog1603")
        run = run_setup(["-csp", "-ucsp"], steps=["yes", "ok"])
        self.assertOneStart("csp", expected_line("csp", "/qb LOG"))
        self.assertOneStart("ucsp", expected_line("ucsp", "/qb LOG"))
        self.assertEqual(len(run.windows), 2, run.describe())
        self.assertProviderFailure(run, 1, 1603)
        self.assertFalse(plugin_installed())
        self.assertEqual(run.exit_code, 1603)


class ProgramFolder(ProviderAssertions):
    def test_found_beside_the_program_whatever_the_current_directory(self):
        # A folder with a blank in its name, started from elsewhere, where a decoy csp\Setup.exe
        # waits: only the one beside the program may run.
        self.addCleanup(remove_plugin)
        other = bed.make_distribution("Provider Setups")
        other.add_packages(PACKAGE_SET)
        program = other.add_setup()
        other.add_providers("csp")
        decoy = bed.make_distribution("elsewhere")
        decoy.add_providers("csp")
        prepare(folder=decoy)
        for cwd in (r"C:\windows", decoy.windows):
            with self.subTest(cwd=cwd):
                prepare(folder=other)
                run = run_setup(["-csp"], steps=["yes", "ok"], cwd=cwd, program=program)
                match = self.assertOneStart("csp", expected_line("csp", "/qb LOG", folder=other), folder=other)
                self.assertLogMade(run, "csp", match["stamp"])
                self.assertBox(run.windows[1], CAPTION, DONE_CSP, [IDOK], "none")
                self.assertTrue(plugin_installed())
                self.assertEqual(run.exit_code, 0)
                remove_plugin()
        self.assertIsNone(received("csp", decoy))

    def test_missing_provider_is_a_failure(self):
        # Wine answers ERROR_FILE_NOT_FOUND (2) for a missing folder and for a missing file, where
        # Windows may answer ERROR_PATH_NOT_FOUND (3), which as an exit code would mean success.
        bare = bed.make_distribution("no providers")
        bare.add_packages(PACKAGE_SET)
        program = bare.add_setup()
        for layout in ("no folder", "empty folder"):
            with self.subTest(layout=layout):
                if layout == "empty folder":
                    bare.mkdir("csp")
                prepare(folder=bare)
                run = run_setup(["-csp"], steps=["yes", "ok"], program=program, cwd=bare.windows)
                self.assertEqual(len(run.windows), 2, run.describe())
                self.assertIn(run.exit_code, (2, 3))
                # The log path was made, but nothing wrote it: no log line.
                self.assertProviderFailure(run, 1, run.exit_code)
                self.assertEqual(len(re.findall(STAMP, run.stdout)), 1, run.stdout)
                self.assertFalse(plugin_installed())

        # With the file there, the same folder installs: the failure was the missing program.
        bare.add_providers("csp")
        prepare(csp="1", folder=bare)
        run = run_setup(["-csp"], steps=["yes", "ok"], program=program, cwd=bare.windows)
        self.assertOneStart("csp", expected_line("csp", "/qb LOG", folder=bare), folder=bare)
        self.assertEqual(run.exit_code, 1)


class ParentConsole(ProviderAssertions):
    def test_ctrl_c_in_the_parent_console_leaves_the_installation_running(self):
        # Started from a console window, the program writes its time stamps there; a Ctrl+C typed
        # there while the nested setup runs must not end it. Wine 8.0 refuses Ctrl+Break, so the
        # Ctrl+C stands for both, and a process it ends exits with 0: what counts is that the run
        # went on to the plug-in.
        self.addCleanup(remove_plugin)
        prepare(csp="wait0")
        parent = bed.build_dir / "programs" / "console_parent.exe"
        run = run_setup([dist.win("csp"), setup_exe, "-silent", "-csp"], program=parent)
        match = self.assertOneStart("csp", expected_line("csp", "/qb LOG", " -silent"))
        # The provider's stamp and then the plug-in's, both on the console.
        stamps = [line for line in run.stdout.splitlines() if re.fullmatch(STAMP, line)]
        self.assertEqual(len(stamps), 2, run.stdout)
        self.assertTrue(plugin_installed())
        self.assertLogMade(run, "csp", match["stamp"])
        self.assertEqual(run.exit_code, 0)


class Broadcast(ProviderAssertions):
    def test_a_setup_that_broadcasts_is_answered(self):
        # A nested setup that sends WM_SETTINGCHANGE to every top-level window (as setups that change
        # the environment do) waits until each has answered, the program's hidden owner window among
        # them; a program that only waited for the setup hung with it for good. Silent, and with the
        # owner window's question answered first. The short time-out only keeps a hang from holding
        # the suite: such a run ends in well under a second here.
        for args, steps in ((["-silent", "-csp"], []), (["-csp"], ["yes", "ok"])):
            with self.subTest(args=args):
                prepare(csp="broadcast0")
                try:
                    run = run_setup(args, steps=steps, timeout=20)
                    self.assertOneStart("csp", expected_line("csp", "/qb LOG", " -silent" if steps == [] else ""))
                    self.assertTrue((dist.linux / "csp" / "broadcast.txt").exists(), "the broadcast was not answered")
                    self.assertTrue(plugin_installed())
                    self.assertEqual(run.exit_code, 0)
                finally:
                    remove_plugin()


class NoTmp(ProviderAssertions):
    def test_no_tmp_stops_before_the_nested_setup(self):
        prepare()
        run = run_setup(["-csp"], steps=["yes", "ok"], unset=["TMP"])
        self.assertEqual(len(run.windows), 2, run.describe())
        self.assertBox(run.windows[1], ERROR_CAPTION, NO_TMP, [IDOK], "hand")
        self.assertCalls(run, [(STYLE_QUESTION, IDYES), (STYLE_ERROR, IDOK)])
        self.assertOwnedByHiddenWindow(run, 1)
        self.assertIsNone(received("csp"))
        self.assertFalse(plugin_installed())
        self.assertEqual(run.exit_code, 203)

        prepare()
        run = run_setup(["-csp", "-silent"], unset=["TMP"])
        self.assertEqual(run.message_box_calls, [])
        self.assertIsNone(received("csp"))
        self.assertEqual(run.exit_code, 203)

    def test_user_log_needs_no_tmp(self):
        # With a log option of the user's own no log name is made, so TMP is not asked for.
        prepare(csp="1")
        run = run_setup(["-csp", "-CSPArgs", "/L*v C:\\x.log"], steps=["yes", "ok"], unset=["TMP"])
        self.assertOneStart("csp", expected_line("csp", re.escape("/qb /L*v C:\\x.log ")))
        self.assertProviderFailure(run, 1, 1)
        self.assertEqual(run.exit_code, 1)


if __name__ == "__main__":
    unittest.main()
