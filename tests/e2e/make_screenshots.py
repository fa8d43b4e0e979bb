"""Makes the README's screenshots from the real Setup.exe under Wine, each cropped to its window.

Run by hand (not a test): python3 tests/e2e/make_screenshots.py [output folder, default docs/]
It needs what the end-to-end tests need (SETUP_WINDOWS_BUILD, SETUP_FIXTURE_PACKAGES) and xdotool.
Wine draws the window frames itself (there is no window manager), under a Russian locale so that
the buttons Wine labels read in Russian too.
"""

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winebed import REPO, BedError, WineBed  # noqa: E402

PAINT = "wait:300"  # a box without an icon is dumped before it has been painted


class ScreenshotBed(WineBed):
    """Crops each snap: step to the program's window that is on the screen at that moment."""

    def __init__(self, output, **kwargs):
        super().__init__(**kwargs)
        self.output = Path(output)
        self.made = []

    def _window_geometry(self):
        env = {"DISPLAY": self.display, "PATH": os.environ.get("PATH", "")}

        def xdotool(*args):
            return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True, timeout=20).stdout

        found = []
        for window in xdotool("search", "--onlyvisible", "--name", "").split():
            shell = xdotool("getwindowgeometry", "--shell", window)
            values = dict(line.split("=", 1) for line in shell.splitlines() if "=" in line)
            x, y, w, h = (int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
            if (w, h) != (1024, 768):  # Wine's desktop window covers the whole screen
                found.append((x, y, w, h))
        if len(found) != 1:
            raise BedError(f"expected one window on the screen, found {found}")
        return found[0]

    def _snapshot(self, name, run_dir):
        x, y, w, h = self._window_geometry()  # before the driver is let go on
        shot = super()._snapshot(name, run_dir)
        target = self.output / f"{name}.png"
        subprocess.run(["convert", str(shot), "-crop", f"{w}x{h}+{x}+{y}", "+repage", str(target)], check=True)
        self.made.append(target)
        return target


def main():
    output = Path(sys.argv[1] if len(sys.argv) > 1 else REPO / "docs").resolve()
    output.mkdir(parents=True, exist_ok=True)
    screens = tempfile.mkdtemp(prefix="screenshots-")
    os.environ["E2E_ARTIFACTS"] = screens
    bed = ScreenshotBed(output, arch="any")
    bed.start()
    try:
        # A short TMP, so that the error box does not show the build user's profile folder.
        (bed.drive_c / "Temp").mkdir(exist_ok=True)
        environment = {"TMP": r"C:\Temp"}

        dist = bed.make_distribution("Solvarn")
        dist.add_packages("2.0.13000")
        setup_exe = dist.add_setup()
        dist.add_providers("csp")

        def run(program, args, steps, folder):
            bed.run(program, args=args, steps=steps, cwd=folder.windows, env=environment, lang="ru")

        run(
            setup_exe,
            ["-csp", "-selectDlg"],
            [
                f"{PAINT}+snap:box-question+yes",
                f"{PAINT}+snap:dialog-welcome+click:1015+{PAINT}+snap:dialog-options+click:2",
            ],
            dist,
        )
        run(setup_exe, ["-csp", "-ucsp", "-help"], [f"{PAINT}+snap:box-usage+ok"], dist)
        # The CSP setup fails with 1603 after writing its log: message 105 with the log line.
        dist.write("csp/exitcode.txt", "1603")
        run(setup_exe, ["-csp"], ["yes", f"{PAINT}+snap:box-error+ok"], dist)
        dist.write("csp/exitcode.txt", "0")
        run(setup_exe, ["-csp"], ["yes", f"{PAINT}+snap:box-completion+ok"], dist)
    finally:
        bed.stop()
        shutil.rmtree(screens, ignore_errors=True)
    for path in bed.made:
        print(path)


if __name__ == "__main__":
    main()
