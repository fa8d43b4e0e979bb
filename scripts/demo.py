"""Runs Setup.exe on a sample distribution folder under Wine and says what happened.

Where the host runs no 32-bit programs (or SETUP_E2E_ARCH=x64) the x64 test build of the same
sources stands in for the shipped 32-bit Setup.exe, and the demo says so."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import winebed  # noqa: E402


def lay_out_distribution(target):
    """dist/: Setup.exe, the sample plug-in packages, and csp/ucsp folders with stand-in setups."""
    if target.exists():
        shutil.rmtree(target)
    target.mkdir(parents=True)
    shutil.copy2(winebed.windows_build_dir() / "Setup.exe", target / "Setup.exe")
    for package in sorted((winebed.fixture_packages_dir() / "2.0.13000").glob("*.msi")):
        shutil.copy2(package, target / package.name)
    for provider in ("csp", "ucsp"):
        (target / provider).mkdir()
        shutil.copy2(winebed.windows_build_dir() / "programs" / "nested_setup.exe", target / provider / "Setup.exe")
    (target / "README.txt").write_text(
        "Sample distribution of Setup.exe.\n"
        "tarvex-*.msi are sample plug-in packages; csp\\Setup.exe and ucsp\\Setup.exe are stand-ins\n"
        "for the provider distributions that record their command line in received.txt.\n",
        encoding="utf-8",
    )


def describe(box):
    text = box.get("text", "").replace("\n", "\n      ")
    return f"  box \"{box.get('caption', '')}\": {text}"


def installed_files(bed):
    base = bed.drive_c
    return sorted(str(p.relative_to(base)).replace("/", "\\") for p in base.glob("Program Files*/Solvarn/**/*")
                  if p.is_file())


def main(arguments):
    dist = ROOT / "dist"
    on_32bit = winebed.host(announce=False).runs_32bit
    lay_out_distribution(dist)
    print(f"Distribution folder: {dist}")
    if on_32bit:
        print(f"Setup.exe: the shipped 32-bit program ({winebed.windows_build_dir()})")
    else:
        print(f"Setup.exe: the x64 test build ({winebed.windows_build_dir()}), not the shipped 32-bit program: "
              f"{winebed.host().why}")
    interactive = bool(os.environ.get("DISPLAY")) and sys.stdin.isatty()
    with winebed.WineBed(display=os.environ.get("DISPLAY") if interactive else None) as bed:
        folder = bed.make_distribution("demo")
        for item in dist.iterdir():
            (shutil.copytree if item.is_dir() else shutil.copy2)(item, folder.linux / item.name)
        temp = folder.linux / "logs"
        temp.mkdir()
        if interactive:
            print("Answer the boxes on your display.")
            run = bed.run(folder.win("Setup.exe"), arguments, env={"TMP": folder.win("logs")}, timeout=3600,
                          steps=(), expect_clean=False, observe=True)
        else:
            print("No display: running on Xvfb as a user who answers Yes (or OK) to every box.")
            run = bed.run(folder.win("Setup.exe"), arguments, env={"TMP": folder.win("logs")}, timeout=300,
                          steps=["accept"] * 8, expect_clean=False)
        for box in run.boxes:
            print(describe(box))
        logs = sorted(temp.glob("*.log"))
        for log in logs:
            print(f"  installer log: {folder.win('logs')}\\{log.name}")
        for provider in ("csp", "ucsp"):
            received = folder.linux / provider / "received.txt"
            if received.exists():
                for line in received.read_text(encoding="utf-8").splitlines():
                    print(f"  {provider} setup ran: {line}")
        files = installed_files(bed)
        if files:
            print("  installed:")
            for name in files:
                print(f"    C:\\{name}")
        else:
            print("  nothing was installed")
        print(f"Exit code: {run.exit_code}")
        return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except winebed.BedError as error:
        sys.exit(f"demo: {error}")
