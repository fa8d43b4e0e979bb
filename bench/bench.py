"""Setup.exe against a bare msiexec under one Wine prefix, in one run; prints a Markdown table.

Measured: the program's own run time (from the driver's CreateProcessW call to the exit) of
`Setup.exe -silent` and of `msiexec /i` on the same package, for a first installation and a
reinstallation, with a small package and a 50 MB one; the time from that call to the first message
box on the screen against a program that only shows one, the driver looking every 2 ms; Setup.exe's
size; and how many times one run opens a package file (Windows Installer copies the whole file on
every open). Each measurement is the median of interleaved rounds: the two programs of a row take
turns, so that a slow spell of the machine falls on both.

The build measured is the one the end-to-end tests use on this host (winebed.host()): the shipped
32-bit Setup.exe where the host runs 32-bit programs, the x64 test build where it runs 64-bit ones only.
"""

import argparse
import os
import platform
import statistics
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import winebed  # noqa: E402

# How often the driver looks for the first box: at its default 30 ms a box appears up to 30 ms before it
# is seen, a large part of a start-up of about 100 ms.
BOX_POLL_MS = 2

UPGRADE_CODE = "{3F7A2C91-5B4E-4D08-A6C3-19E8B0D4F257}"
PRODUCTS = {"2.0.13000": "{50A1C0DE-2013-4000-8000-000000000064}", "large": "{50A1C0DE-1A26-4000-8000-000000000064}"}


def median_ms(values):
    return statistics.median(values)


class Bench:
    def __init__(self, bed, runs, setup_exe):
        self.bed = bed
        self.runs = runs
        self.setup_exe = Path(setup_exe)
        self.folders = {}

    def folder(self, package_set):
        if package_set not in self.folders:
            dist = self.bed.make_distribution(package_set.replace(".", "_"))
            dist.add_packages(package_set)
            dist.copy(self.setup_exe, "Setup.exe")
            dist.mkdir("logs")
            self.folders[package_set] = dist
        return self.folders[package_set]

    def timed(self, program, args, cwd, env=None):
        run = self.bed.run(program, args=args, cwd=cwd, env=env, timeout=600)
        if run.exit_code != 0:
            raise SystemExit(f"{program} {' '.join(args)} ended with {run.exit_code}")
        return run.elapsed_ms

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
        """(Setup first, msiexec first, Setup reinstall, msiexec reinstall) medians in ms."""
        setup_first, bare_first, setup_again, bare_again = [], [], [], []
        for _ in range(self.runs):
            self.uninstall(package_set)
            setup_first.append(self.setup(package_set, []))
            setup_again.append(self.setup(package_set, ["-reinstall"]))
            self.uninstall(package_set)
            bare_first.append(self.msiexec(package_set, ["ADDPLUGVEX=1"]))
            bare_again.append(self.msiexec(package_set, ["REINSTALL=ALL", "REINSTALLMODE=vomus"]))
        self.uninstall(package_set)
        return tuple(median_ms(v) for v in (setup_first, bare_first, setup_again, bare_again))

    def first_box(self):
        dist = self.folder("2.0.13000")
        one_box = dist.copy(winebed.windows_build_dir() / "programs" / "one_box.exe")
        setup, plain = [], []
        for _ in range(self.runs):
            for times, program in ((setup, dist.win("Setup.exe")), (plain, one_box)):
                run = self.bed.run(program, steps=["no"], cwd=dist.windows, poll_ms=BOX_POLL_MS)
                times.append(run.seen_ms[0])
        return median_ms(setup), median_ms(plain)

    def package_opens(self):
        """MsiOpenPackageExW calls of one update run (the run that reads the most from the packages)."""
        self.bed.reg_add(r"HKCU\Software\Wine\Debug", "RelayInclude", "msi.MsiOpenPackageExW")
        try:
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
            self.bed.reg_delete(r"HKCU\Software\Wine\Debug", "RelayInclude")
            for package_set in ("2.0.12900", "2.0.13000"):
                self.bed.uninstall("{50A1C0DE-20%s-4000-8000-000000000064}" % ("12-4900" if package_set == "2.0.12900"
                                                                               else "13-4000"))


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
    parser.add_argument("--runs", type=int, default=11, help="rounds per measurement (the median is shown)")
    parser.add_argument("--setup-exe", default=str(winebed.windows_build_dir() / "Setup.exe"))
    options = parser.parse_args()

    with winebed.WineBed() as bed:
        bench = Bench(bed, options.runs, options.setup_exe)
        rows = []
        for label, package_set in (("small (10 KB)", "2.0.13000"), ("large (50 MB)", "large")):
            setup_first, bare_first, setup_again, bare_again = bench.installation_times(package_set)
            rows.append((f"first installation, {label}", setup_first, bare_first))
            rows.append((f"reinstallation, {label}", setup_again, bare_again))
        setup_box, plain_box = bench.first_box()
        opens, files = bench.package_opens()

    size = Path(options.setup_exe).stat().st_size
    build = "the shipped 32-bit build" if winebed.host().runs_32bit else "the x64 test build"
    print(f"Machine: {machine()}; {options.setup_exe} ({build}); medians of {options.runs} interleaved rounds, "
          f"milliseconds.\n")
    print("| measurement | Setup.exe | baseline | ratio |")
    print("|---|---:|---:|---:|")
    for name, ours, baseline in rows:
        print(f"| {name} (`Setup.exe -silent` / bare `msiexec /i /qn`) | {ours:.0f} | {baseline:.0f} | "
              f"{ours / baseline:.2f} |")
    print(f"| time to the first message box (Setup.exe / a program that only shows one) | {setup_box:.0f} | "
          f"{plain_box:.0f} | {setup_box / plain_box:.2f} |")
    print(f"\nSetup.exe: {size:,} bytes. One update run opened package files {opens} times ({files} distinct files).")


if __name__ == "__main__":
    try:
        main()
    except winebed.BedError as error:
        sys.exit(f"bench: {error}")
