"""Setup.exe against a bare msiexec and against the floor under one Wine prefix, in one run; prints a
Markdown table.

Measured: the program's own run time (from the driver's CreateProcessW call to the exit) of
`Setup.exe -silent`, of `msiexec /i` on the same package, and of the floor (install_floor.exe: the
Windows Installer calls and the msiexec run of the same Setup.exe run, and nothing else), for a first
installation and a reinstallation, with a small package and a 50 MB one; the time from that call to
the first message box on the screen against a program that only shows one, the driver looking every
2 ms; Setup.exe's size; and how many times one run opens a package file (Windows Installer copies the
whole file on every open). Each measurement is the median of interleaved rounds: the programs of a row
take turns, so that a slow spell of the machine falls on all of them; for the floor the median of the
rounds' own ratios is printed too. The floor is given what a Setup.exe run of the same kind on the
same folder wrote to its log (the packages it read, the msiexec command line); the msi.dll calls of
both, taken from relay traces of those runs, are compared below the table.

The build measured is the one the end-to-end tests use on this host (winebed.host()): the shipped
32-bit Setup.exe where the host runs 32-bit programs, the x64 test build where it runs 64-bit ones only.
"""

import argparse
import collections
import contextlib
import os
import platform
import re
import statistics
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import winebed  # noqa: E402

# Rounds of each measurement, a multiple of the three programs that take turns. One run's time varies
# two- to threefold on a shared machine: with 11 rounds the ratio of Setup.exe to the floor came out
# anywhere from 1.00 to 1.27 in one session, too coarse for a target of 1.03.
ROUNDS = 33

# How often the driver looks for the first box: at its default 30 ms a box appears up to 30 ms before it
# is seen, a large part of a start-up of about 100 ms.
BOX_POLL_MS = 2

UPGRADE_CODE = "{3F7A2C91-5B4E-4D08-A6C3-19E8B0D4F257}"
PRODUCTS = {"2.0.13000": "{50A1C0DE-2013-4000-8000-000000000064}", "large": "{50A1C0DE-1A26-4000-8000-000000000064}"}


# What the floor takes from Setup.exe's own log: the text after the time stamp of these lines.
LOG_LINES = {
    "identity": re.compile(r"^package of the product codes \(.*?\): (.+)$"),
    "version": re.compile(r"^package of the version \(.*?\): (.+)$"),
    "package": re.compile(r"^package to install \(.*?\): (.+)$"),
    "command": re.compile(r"^starting (.+)$"),
}
MSI_CALL = re.compile(r"^([0-9a-f]+):[0-9a-f]+:Call msi\.(\w+)\((.*)\) ret=[0-9a-f]+$")
# The texts among a relay line's arguments (file paths, property names, codes); the numbers are
# mostly addresses, which differ from program to program.
TEXT_ARGUMENT = re.compile(r'L"((?:[^"\\]|\\.)*)"')


def median_ms(values):
    return statistics.median(values)


def logged_facts(log_text):
    """The first of each LOG_LINES line in a Setup.exe log."""
    facts = {}
    for line in log_text.splitlines():
        text = line[len("YYYY-MM-DD hh:mm:ss "):]
        for name, pattern in LOG_LINES.items():
            if name not in facts and (match := pattern.match(text)):
                facts[name] = match.group(1)
    return facts


def msi_calls(run):
    """The msi.dll calls of the program of a relay run, in order: each its name and its text arguments."""
    trace = run.trace_path.read_text(encoding="utf-8", errors="replace")
    return [(m.group(2), *TEXT_ARGUMENT.findall(m.group(3))) for line in trace.splitlines()
            if (m := MSI_CALL.match(line)) and int(m.group(1), 16) == run.pid]


class Bench:
    def __init__(self, bed, runs, setup_exe):
        self.bed = bed
        self.runs = runs
        self.setup_exe = Path(setup_exe)
        self.folders = {}
        self.floor_exe = None
        # per package set and kind ("first", "again"): the floor's command line, and the msi.dll calls of
        # Setup.exe and of the floor
        self.floor_lines = {}
        self.calls = {}

    def folder(self, package_set):
        if package_set not in self.folders:
            dist = self.bed.make_distribution(package_set.replace(".", "_"))
            dist.add_packages(package_set)
            dist.copy(self.setup_exe, "Setup.exe")
            dist.mkdir("logs")
            self.folders[package_set] = dist
        return self.folders[package_set]

    def timed(self, program, args, cwd, env=None, cmdline=None):
        run = self.bed.run(program, args=args, cwd=cwd, env=env, timeout=600, cmdline=cmdline)
        if run.exit_code != 0:
            raise SystemExit(f"{cmdline or program} {' '.join(args)} ended with {run.exit_code}")
        return run.elapsed_ms

    @contextlib.contextmanager
    def relay_only(self, functions):
        """Relay traces (run(relay=True)) name only these functions ("msi.*" for all of msi.dll's)."""
        self.bed.reg_add(r"HKCU\Software\Wine\Debug", "RelayInclude", functions)
        try:
            yield
        finally:
            self.bed.reg_delete(r"HKCU\Software\Wine\Debug", "RelayInclude")

    def learn_floor(self, package_set):
        """The floor's command lines for this folder, from the logs of a Setup.exe run of each kind; the
        msi.dll calls of both programs from relay traces of the same runs."""
        dist = self.folder(package_set)
        if self.floor_exe is None:
            self.floor_exe = self.bed.make_distribution("floor").copy(
                winebed.windows_build_dir() / "programs" / "install_floor.exe")
        env = {"TMP": dist.win("logs")}
        with self.relay_only("msi.*"):
            self.uninstall(package_set)
            for kind, args in (("first", []), ("again", ["-reinstall"])):
                log = dist.win(f"logs\\setup-{kind}.log")
                run = self.bed.run(dist.win("Setup.exe"), args=["-silent", *args, "-log", log], cwd=dist.windows,
                                   env=env, relay=True, timeout=600)
                facts = logged_facts(self.bed.to_linux(log).read_text(encoding="utf-16"))
                if run.exit_code != 0 or not {"identity", "package", "command"} <= facts.keys():
                    raise SystemExit(f"Setup.exe -silent {' '.join(args)} ended with {run.exit_code} or left no "
                                     f"msiexec command line in {log}")
                package_name = facts["package"].rsplit("\\", 1)[-1]
                self.floor_lines[package_set, kind] = (
                    f'"{self.floor_exe}" "{facts["identity"]}" "{facts.get("version", facts["identity"])}" '
                    f'"{package_name}" {facts["command"]}')
                self.calls[package_set, kind] = [msi_calls(run)]
            self.uninstall(package_set)
            for kind in ("first", "again"):
                run = self.bed.run(None, cmdline=self.floor_lines[package_set, kind], cwd=dist.windows, env=env,
                                   relay=True, timeout=600)
                if run.exit_code != 0:
                    raise SystemExit(f"{self.floor_lines[package_set, kind]} ended with {run.exit_code}")
                self.calls[package_set, kind].append(msi_calls(run))

    def floor(self, package_set, kind):
        dist = self.folder(package_set)
        return self.timed(None, [], dist.windows, env={"TMP": dist.win("logs")},
                          cmdline=self.floor_lines[package_set, kind])

    def setup(self, package_set, args):
        dist = self.folder(package_set)
        return self.timed(dist.win("Setup.exe"), ["-silent", *args], dist.windows, env={"TMP": dist.win("logs")})

    def msiexec(self, package_set, properties):
        dist = self.folder(package_set)
        return self.timed("C:\\windows\\system32\\msiexec.exe", ["/i", dist.win("tarvex-x64.msi"), "/qn", *properties],
                          dist.windows)

    def uninstall(self, package_set):
        self.bed.uninstall(PRODUCTS[package_set])

    def installation_times(self, package_set):
        """Each round's times in ms, by (program, kind): program "setup", "msiexec" or "floor", kind "first"
        (a first installation) or "again" (a reinstallation)."""
        self.learn_floor(package_set)
        runs = {
            "setup": (lambda: self.setup(package_set, []), lambda: self.setup(package_set, ["-reinstall"])),
            "msiexec": (lambda: self.msiexec(package_set, ["ADDPLUGVEX=1"]),
                        lambda: self.msiexec(package_set, ["REINSTALL=ALL", "REINSTALLMODE=vomus"])),
            "floor": (lambda: self.floor(package_set, "first"), lambda: self.floor(package_set, "again")),
        }
        order = list(runs)
        times = collections.defaultdict(list)
        for round_number in range(self.runs):
            # Each program comes first in a third of the rounds, so that none always follows the same one.
            shift = round_number % len(order)
            for program in order[shift:] + order[:shift]:
                first, again = runs[program]
                self.uninstall(package_set)
                times[program, "first"].append(first())
                times[program, "again"].append(again())
        self.uninstall(package_set)
        return times

    def first_box(self):
        dist = self.folder("2.0.13000")
        one_box = dist.copy(winebed.windows_build_dir() / "programs" / "one_box.exe")
        setup, plain = [], []
        pair = [(setup, dist.win("Setup.exe")), (plain, one_box)]
        for round_ in range(self.runs):
            # Each first in half the rounds: the first program of a round starts a cold Wine process.
            for times, program in pair if round_ % 2 == 0 else pair[::-1]:
                run = self.bed.run(program, steps=["no"], cwd=dist.windows, poll_ms=BOX_POLL_MS)
                times.append(run.seen_ms[0])
        return median_ms(setup), median_ms(plain)

    def package_opens(self):
        """MsiOpenPackageExW calls of one update run (the run that reads the most from the packages)."""
        try:
            with self.relay_only("msi.MsiOpenPackageExW"):
                old = self.bed.make_distribution("old")
                old.add_packages("2.0.12900")
                old.copy(self.setup_exe, "Setup.exe")
                self.bed.run(old.win("Setup.exe"), args=["-silent"], cwd=old.windows)
                dist = self.folder("2.0.13000")
                run = self.bed.run(dist.win("Setup.exe"), steps=["yes", "yes", "ok"], cwd=dist.windows, relay=True,
                                   env={"TMP": dist.win("logs")})
            trace = run.trace_path.read_text(encoding="utf-8", errors="replace")
            opened = [line for line in trace.splitlines() if "Call msi.MsiOpenPackageExW(" in line]
            return len(opened), len({line.split('L"', 1)[1].split('"', 1)[0] for line in opened})
        finally:
            for package_set in ("2.0.12900", "2.0.13000"):
                self.bed.uninstall("{50A1C0DE-20%s-4000-8000-000000000064}" % ("12-4900" if package_set == "2.0.12900"
                                                                               else "13-4000"))


def describe_calls(calls):
    counts = collections.Counter(call[0] for call in calls)
    return ", ".join(f"{name} {count}" for name, count in sorted(counts.items())) or "none"


def first_difference(setup, floor):
    for index, (ours, theirs) in enumerate(zip(setup, floor)):
        if ours != theirs:
            return f"call {index + 1}: Setup.exe {ours}, the floor {theirs}"
    return f"Setup.exe made {len(setup)} calls, the floor {len(floor)}"


def machine():
    cpu = "unknown CPU"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    wine = subprocess.run([*winebed.host().wine, "--version"], capture_output=True, text=True).stdout.strip()
    return f"{cpu}, {os.cpu_count()} cores, {platform.system()} {platform.release()}, {wine}"


def main():
    winebed.host(announce=False)  # the table's first line names the build
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=ROUNDS, help="rounds per measurement (the median is shown)")
    parser.add_argument("--setup-exe", default=str(winebed.windows_build_dir() / "Setup.exe"))
    parser.add_argument("--first-box", action="store_true", help="only the time to the first message box")
    options = parser.parse_args()

    with winebed.WineBed() as bed:
        bench = Bench(bed, options.runs, options.setup_exe)
        rows, calls, round_ratios = [], [], []
        package_sets = () if options.first_box else (("small (10 KB)", "2.0.13000"), ("large (50 MB)", "large"))
        for label, package_set in package_sets:
            times = bench.installation_times(package_set)
            for kind, key in (("first installation", "first"), ("reinstallation", "again")):
                setup, bare, floor = (times[program, key] for program in ("setup", "msiexec", "floor"))
                rows.append((f"{kind}, {label} (`Setup.exe -silent` / bare `msiexec /i /qn`)", median_ms(setup),
                             median_ms(bare)))
                rows.append((f"{kind}, {label} (`Setup.exe -silent` / the floor)", median_ms(setup), median_ms(floor)))
                round_ratios.append(f"{kind}, {label} {statistics.median(a / b for a, b in zip(setup, floor)):.2f}")
                calls.append((f"{kind}, {label}", *bench.calls[package_set, key]))
        setup_box, plain_box = bench.first_box()
        rows.append(("time to the first message box (Setup.exe / a program with its manifest that only shows one)",
                     setup_box, plain_box))
        opens, files = (None, None) if options.first_box else bench.package_opens()

    size = Path(options.setup_exe).stat().st_size
    build = "the shipped 32-bit build" if winebed.host().runs_32bit else "the x64 test build"
    print(f"Machine: {machine()}; {options.setup_exe} ({build}); medians of {options.runs} interleaved rounds, "
          f"milliseconds.\n")
    print("| measurement | Setup.exe | baseline | ratio |")
    print("|---|---:|---:|---:|")
    for name, ours, baseline in rows:
        print(f"| {name} | {ours:.0f} | {baseline:.0f} | {ours / baseline:.2f} |")
    if options.first_box:
        return
    print(f"\nSetup.exe / the floor, median of the rounds' own ratios: {'; '.join(round_ratios)}.")
    print(f"Setup.exe: {size:,} bytes. One update run opened package files {opens} times ({files} distinct files).")
    print("msi.dll calls of one run, Setup.exe and the floor (in order, with their text arguments):")
    for name, setup, floor in calls:
        if setup == floor:
            print(f"- {name}: the same, {describe_calls(setup)}")
        else:
            print(f"- {name}: DIFFERENT at {first_difference(setup, floor)}")


if __name__ == "__main__":
    try:
        main()
    except winebed.BedError as error:
        sys.exit(f"bench: {error}")
