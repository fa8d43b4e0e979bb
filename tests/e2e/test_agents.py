"""Setup.exe as a deployment agent runs it: -quiet shows no window of its own in any run (the driver
sees none, the relay trace has no call that makes one), gives the installers no interface, never
restarts and ends in msiexec's terms; -log records what the run found, decided and started. What
msiexec received comes from its log's property dump, what a provider setup received from the stand-in's
received.txt. The detection rule each release hands to the agents is evaluated as the agent does."""

import os
import re
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winebed import WineBed, detection_rule, msi_log_properties  # noqa: E402

UPGRADE_CODE = "{3F7A2C91-5B4E-4D08-A6C3-19E8B0D4F257}"
PRODUCT = {  # the x64 products: the prefix is 64-bit
    "2.0.12900": "{50A1C0DE-2012-4900-8000-000000000064}",
    "2.0.13000": "{50A1C0DE-2013-4000-8000-000000000064}",
    "2.0.14000": "{50A1C0DE-2014-4000-8000-000000000064}",
    "launchfail": "{50A1C0DE-FA11-4000-8000-000000000064}",
    "reboot": "{50A1C0DE-B007-4000-8000-000000000064}",
}
MARKER = r"HKCU\Software\NeedBstrReboot"
LOG_LINE = re.compile(r"^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} (.*)$")

bed = None
dists = {}
runs = iter(range(1, 1000))


def setUpModule():
    global bed
    bed = WineBed()
    bed.start()
    for release in PRODUCT:
        dist = bed.make_distribution(release)
        dist.add_packages(release)
        dist.add_setup()
        dists[release] = dist
    dists["2.0.13000"].add_providers()


def tearDownModule():
    if bed is not None:
        bed.stop()


def related():
    return bed.related_products(UPGRADE_CODE)


def start_from(installed):
    """The machine a scenario starts from: nothing of the family, or this release installed."""
    for code in related():
        bed.uninstall(code)
    bed.reg_delete(MARKER)
    if installed:
        bed.wine("msiexec", "/i", dists[installed].win("tarvex-x64.msi"), "/qn", "ADDPLUGVEX=1")
        assert related() == [PRODUCT[installed]], related()


class Run:
    """One run of Setup.exe from a distribution, with TMP and the run's own log in a folder of its own."""

    def __init__(self, release, args, before=None, relay=True):
        self.folder = bed.drive_c / "agent" / f"run{next(runs)}"
        self.folder.mkdir(parents=True)
        self.log = self.folder / "setup.log"
        # Named before anything is planted there: to_windows resolves links.
        args = [a.replace("LOG", bed.to_windows(self.log)) for a in args]
        if before:
            before(self)
        dist = dists[release]
        self.run = bed.run(dist.win("Setup.exe"), args=args, cwd=dist.windows, env={"TMP": bed.to_windows(self.folder)},
                           lang="ru", relay=relay)

    def installer_properties(self):
        """The property dump of msiexec's log, or None when msiexec did not run."""
        logs = [p for p in self.folder.iterdir() if p.name.startswith("tarvex-x64.msi_")]
        return msi_log_properties(logs[0]) if logs else None

    def log_lines(self):
        raw = self.log.read_bytes()
        assert raw[:2] == b"\xff\xfe", raw[:2]
        text = raw[2:].decode("utf-16-le")
        assert text.endswith("\r\n"), text[-40:]
        return [LOG_LINE.match(line).group(1) for line in text[:-2].split("\r\n")]


class AgentAssertions(unittest.TestCase):
    def assertQuiet(self, run, exit_code):
        self.assertEqual(run.run.windows, [], run.run.describe())
        self.assertEqual(run.run.window_calls, [])
        self.assertEqual(run.run.exit_code, exit_code, run.run.describe())

    def assertLogSays(self, run, *expected):
        """Each expected text stands in a line of the run's log, in this order."""
        lines, at = run.log_lines(), 0
        for text in expected:
            found = next((i for i in range(at, len(lines)) if text in lines[i]), None)
            self.assertIsNotNone(found, f"{text!r} after line {at} of\n" + "\n".join(lines))
            at = found + 1


class CommandLine(AgentAssertions):
    def test_usage_without_a_box(self):
        for args, exit_code, printed in (
            (["-quiet", "-x", "-log", "LOG"], 1639, 'not accepted at "-x"'),
            (["-log", "LOG", "-x", "-QUIET"], 1639, 'not accepted at "-x"'),
            (["-log", "LOG", "-quiet", "-CadesArgs"], 1639, 'not accepted at "-CadesArgs"'),
            (["-log", "LOG", "-help", "-quiet"], 0, "  -quiet\t"),
            (["-log", "LOG", "-quiet", "-?"], 0, "  -quiet\t"),
            # The providers are removed with their own setups, not by this one.
            (["-quiet", "-uninstall", "-csp", "-log", "LOG"], 1639, 'not accepted at "-uninstall"'),
        ):
            with self.subTest(args=args):
                run = Run("2.0.13000", args)
                self.assertQuiet(run, exit_code)
                self.assertIn(printed, run.run.stdout)
                self.assertLogSays(run, "options: -quiet", "help" if exit_code == 0 else "not accepted",
                                   f"exit code {exit_code}")


class Installation(AgentAssertions):
    def test_plugin_decisions(self):
        # (release run, release installed before, extra arguments, exit code, installed after, what
        # msiexec's log holds (None: it did not run), what the run's log says)
        for release, before, args, exit_code, after, properties, says in (
            ("2.0.13000", None, [], 0, "2.0.13000", {"UILevel": "2", "ADDPLUGVEX": "1", "REBOOT": "R"},
             ["decision: first installation", r"package to install (tarvex*x64*): C:\dist\2.0.13000\tarvex-x64.msi",
              "installing 2.0.13000 (first installation)", "REBOOT=R  /qn ADDPLUGVEX=1", "ended with exit code 0", "exit code 0"]),
            ("2.0.13000", "2.0.13000", [], 0, "2.0.13000", None,
             ["decision: nothing to do, the same version is installed", "exit code 0"]),
            ("2.0.13000", "2.0.13000", ["-reinstall", "-CadesArgs", "/QB"], 0, "2.0.13000",
             {"UILevel": "3", "REINSTALL": "ALL"}, ["decision: reinstallation", "REBOOT=R  REINSTALL"]),
            ("2.0.12900", "2.0.13000", [], 1638, "2.0.13000", None,
             ["installed version 2.0.13000", "ProductVersion = 2.0.12900", "decision: refused", "exit code 1638"]),
            ("launchfail", None, [], 1603, None, {"UILevel": "2", "ADDPLUGVEX": "1"},
             ["ended with exit code 1603", "exit code 1603"]),
            # A "/Q" inside a value is no interface level of the caller's.
            ("2.0.13000", None, ["-CadesArgs", "MYDIR=C:/Quick"], 0, "2.0.13000",
             {"UILevel": "2", "MYDIR": "C:/Quick"}, ["REBOOT=R  /qn ADDPLUGVEX=1 MYDIR=C:/Quick", "exit code 0"]),
        ):
            with self.subTest(release=release, before=before, args=args):
                start_from(before)
                run = Run(release, ["-quiet", "-log", "LOG", *args])
                self.assertQuiet(run, exit_code)
                self.assertEqual(related(), [PRODUCT[after]] if after else [])
                got = run.installer_properties()
                if properties is None:
                    self.assertIsNone(got)
                else:
                    self.assertEqual({k: got.get(k) for k in properties}, properties)
                self.assertLogSays(run, "options: -quiet", "64-bit, user interface language 1049", "restart marker", *says)

    def test_restart_is_left_to_the_agent(self):
        start_from(None)
        self.addCleanup(bed.reg_delete, MARKER)
        # A plain silent run keeps its old terms: success, and the marker for a later run.
        run = Run("reboot", ["-silent", "-norestart"])
        self.assertQuiet(run, 0)
        self.assertIsNotNone(bed.reg_query(MARKER))
        start_from(None)
        # The second run's 3010 comes from the marker alone: the key's write time and the time since
        # Windows (here the host) started place it after the start.
        pending = "NeedBstrReboot: present, written since Windows started"
        for attempt, says in ((1, ["restart marker created"]), (2, ["decision: nothing to do"])):
            with self.subTest(attempt=attempt):
                run = Run("reboot", ["-quiet", "-log", "LOG"])
                self.assertQuiet(run, 3010)
                self.assertEqual(related(), [PRODUCT["reboot"]])
                self.assertIsNotNone(bed.reg_query(MARKER), "the marker stays for an interactive run")
                self.assertLogSays(run, "NeedBstrReboot: absent" if attempt == 1 else pending, *says, pending,
                                   "exit code 3010")
        # A key that a subkey keeps from being deleted is not made anew: the log does not call it created.
        start_from(None)
        bed.reg_add(MARKER + r"\Held", "x", "1")
        run = Run("reboot", ["-quiet", "-log", "LOG"])
        self.assertQuiet(run, 3010)
        self.assertLogSays(run, "restart marker not created, error 5", "exit code 3010")

    def test_links_at_the_logs_name_lead_nowhere(self):
        """A hard link or a symbolic link another user made at the log's name in advance: the run makes
        its log anew, and the file the link led to stays as it was."""
        for kind in ("hard link", "symbolic link"):
            with self.subTest(kind=kind):
                start_from(None)
                victim = bed.drive_c / "agent" / f"victim-{kind[0]}.txt"
                victim.write_bytes(b"not the log's")

                def plant(run):
                    (os.link if kind == "hard link" else os.symlink)(victim, run.log)

                run = Run("2.0.13000", ["-quiet", "-log", "LOG"], before=plant)
                self.assertQuiet(run, 0)
                self.assertEqual(victim.read_bytes(), b"not the log's")
                self.assertFalse(run.log.is_symlink())
                self.assertLogSays(run, "options: -quiet", "exit code 0")

    def test_log_named_like_the_package_does_not_stop_the_installation(self):
        dist = dists["2.0.13000"]
        package = dist.linux / "tarvex-x64.msi"
        before = package.read_bytes()
        for log in ("tarvex-x64-setup.log", dist.win("tarvex-x64.msi")):
            with self.subTest(log=log):
                start_from(None)
                run = Run("2.0.13000", ["-quiet", "-log", log], relay=False)
                self.assertEqual(run.run.exit_code, 0, run.run.describe())
                self.assertIn("would lie where the package search looks", run.run.stdout)
                self.assertEqual(related(), [PRODUCT["2.0.13000"]])
                self.assertEqual(package.read_bytes(), before)
                self.assertFalse((dist.linux / "tarvex-x64-setup.log").exists())

    def test_two_runs_of_one_second_write_two_installer_logs(self):
        """Both runs share TMP and start at once: each msiexec writes into a log of its own, made by its
        Setup.exe (the second takes the next free second)."""
        start_from(None)
        folder = bed.drive_c / "agent" / f"run{next(runs)}"
        folder.mkdir(parents=True)
        results = []

        def one():
            results.append(bed.run(dists["2.0.13000"].win("Setup.exe"), args=["-quiet", "-reinstall"],
                                   env={"TMP": bed.to_windows(folder)}, expect_clean=False))

        threads = [threading.Thread(target=one) for _ in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        logs = sorted(p for p in folder.iterdir() if p.name.startswith("tarvex-x64.msi_"))
        self.assertEqual(len(logs), 2, [r.describe() for r in results])
        stamps = sorted(line.strip() for r in results for line in r.stdout.splitlines()
                        if re.fullmatch(r"\d{4}(-\d\d){5}", line.strip()))
        self.assertEqual([p.name for p in logs], [f"tarvex-x64.msi_{s}.log" for s in stamps])
        for log in logs:
            self.assertIn(b"tarvex-x64.msi", log.read_bytes(), log)  # msiexec wrote into the file made

    def test_removal_takes_whatever_the_family_has_installed(self):
        for before in ("2.0.13000", "2.0.12900", None):
            with self.subTest(before=before):
                start_from(before)
                run = Run("2.0.13000", ["-quiet", "-uninstall", "-log", "LOG"])
                self.assertQuiet(run, 0)
                self.assertEqual(related(), [])
                logs = list(run.folder.glob("{*}_*.log"))
                if before is None:
                    self.assertEqual(logs, [])
                    self.assertLogSays(run, "options: -quiet -uninstall", "decision: nothing to remove", "exit code 0")
                    continue
                code = PRODUCT[before]
                self.assertEqual([p.name[:len(code) + 1] for p in logs], [code + "_"])
                properties = msi_log_properties(logs[0])
                self.assertEqual({k: properties.get(k) for k in ("UILevel", "REBOOT")}, {"UILevel": "2", "REBOOT": "R"})
                self.assertLogSays(run, f"installed product of that upgrade code: {code}", f"removing {before}",
                                   f'msiexec.exe" /x {code} /Lv! "{bed.to_windows(logs[0])}" REBOOT=R  /qn',
                                   "ended with exit code 0", "exit code 0")

    def test_provider_restart_codes_go_on_to_the_plugin(self):
        # A provider's pending restart is recorded as the plug-in's, so a later quiet run before the
        # restart still reports it; one the provider has started ends the run before the plug-in.
        self.addCleanup(bed.reg_delete, MARKER)
        self.addCleanup(lambda: [dists["2.0.13000"].write(f"{p}/exitcode.txt", "0") for p in ("csp", "ucsp")])
        for csp, ucsp, exit_code, ucsp_runs, installed, marker in (
            ("3010", "0", 3010, True, True, True),
            ("3010", "1641", 1641, True, False, True),
            ("1641", "0", 1641, False, False, False),
            ("1603", "0", 1603, False, False, False),
        ):
            with self.subTest(csp=csp, ucsp=ucsp):
                start_from(None)
                received = {p: dists["2.0.13000"].linux / p / "received.txt" for p in ("csp", "ucsp")}
                for provider, code in (("csp", csp), ("ucsp", ucsp)):
                    dists["2.0.13000"].write(f"{provider}/exitcode.txt", code)
                    received[provider].unlink(missing_ok=True)
                run = Run("2.0.13000", ["-quiet", "-log", "LOG", "-csp", "-ucsp"])
                self.assertQuiet(run, exit_code)
                self.assertEqual(received["ucsp"].exists(), ucsp_runs)
                for path in [p for p in received.values() if p.exists()]:
                    line = path.read_text(encoding="utf-8").strip()
                    self.assertIn('-args "/qn /Lv! ', line)
                    self.assertTrue(line.endswith(" -noreboot -root -silent"), line)
                self.assertEqual(related(), [PRODUCT["2.0.13000"]] if installed else [])
                self.assertEqual(bed.reg_query(MARKER) is not None, marker)
                self.assertLogSays(run, r"csp\Setup.exe", f"ended with exit code {csp}", f"exit code {exit_code}")
                if installed:
                    later = Run("2.0.13000", ["-quiet", "-log", "LOG"])
                    self.assertQuiet(later, 3010)
                    self.assertLogSays(later, "decision: nothing to do", "written since Windows started")


class Detection(AgentAssertions):
    def test_every_releases_rule_after_each_installation_and_none_after_the_removal(self):
        """Each release in turn installed by its own Setup.exe as an agent starts it: the rule of that
        release and of every older one detects it, a newer release's does not; after the removal none
        does. A rule that looked in the 32-bit Program Files would miss the x64 package."""
        releases = ("2.0.12900", "2.0.13000", "2.0.14000")
        rules = {release: detection_rule(release) for release in releases}
        rules["2.0.12900 in the 32-bit view"] = dict(rules["2.0.12900"], check32BitOn64System=True)
        start_from(None)
        for step, installed in enumerate(releases + (None,)):
            if installed:
                run = Run(installed, ["-quiet", "-log", "LOG"], relay=False)
                self.assertEqual(run.run.exit_code, 0, run.run.describe())
                self.assertEqual(related(), [PRODUCT[installed]])
            else:
                bed.uninstall(PRODUCT[releases[-1]])
                self.assertEqual(related(), [])
            for release, rule in rules.items():
                with self.subTest(installed=installed, rule=release):
                    expected = release in releases and installed is not None and releases.index(release) <= step
                    self.assertEqual(bed.detects(rule), expected)


if __name__ == "__main__":
    unittest.main()
