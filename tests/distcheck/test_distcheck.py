"""scripts/distcheck on the demo distribution folder and on three faulty copies of it."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import demo  # noqa: E402
import winebed  # noqa: E402


def spoil(folder, case):
    if case == "older":
        older = winebed.fixture_packages_dir() / "2.0.12900" / "tarvex-x64.msi"
        shutil.copy2(older, folder / "2.0.12900-tarvex-x64.msi")
    elif case == "folder":
        (folder / "tarvex-x64").mkdir()
    elif case == "readme":
        (folder / "tarvex-x64-readme.txt").write_text("notes\n", encoding="utf-8")


# folder, exit code, a line the output must hold
CASES = [
    ("sound", 0, r"^x64 +installation +tarvex\*x64\* +tarvex-x64\.msi +\{50A1C0DE-2013-4000-8000-000000000064\}"),
    ("older", 1, r"^problem: x64: different product codes: identity lookup picks 2\.0\.12900-tarvex-x64\.msi"),
    ("folder", 1, r"^problem: x64 installation lookup picks tarvex-x64, a folder"),
    ("readme", 1, r"^problem: x64 installation lookup picks tarvex-x64-readme\.txt, which is not a Windows Installer"),
    ("missing", 2, r"no such folder"),
]


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        sound = Path(work) / "sound"
        demo.lay_out_distribution(sound)
        for folder, expected_code, expected_line in CASES:
            target = Path(work) / folder
            if folder not in ("sound", "missing"):
                shutil.copytree(sound, target)
                spoil(target, folder)
            run = subprocess.run(["bash", str(ROOT / "scripts" / "distcheck"), str(target)], capture_output=True,
                                 text=True, env=dict(os.environ))
            output = run.stdout + run.stderr
            if run.returncode != expected_code or not re.search(expected_line, output, re.MULTILINE):
                print(f"FAIL {folder}: exit {run.returncode}, expected {expected_code} and /{expected_line}/\n{output}")
                failures += 1
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
