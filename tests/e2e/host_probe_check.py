"""The host probe of the end-to-end tests (winebed.py --probe), with stand-in loaders: one that
starts, and one that a 64-bit-only kernel would refuse ("Exec format error")."""

import json
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

WINEBED = Path(__file__).resolve().parent / "winebed.py"


class HostProbe(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.folder = Path(folder.name)
        self.starts = self.loader("starts", b"#!/bin/sh\necho wine-8.0\n")
        self.refused = self.loader("refused", b"\x7fELF not for this kernel")

    def loader(self, name, content):
        path = self.folder / name
        path.write_bytes(content)
        path.chmod(0o755)
        return str(path)

    def probe(self, loader_32, loader_64, arch=None):
        env = {k: v for k, v in os.environ.items() if k != "SETUP_E2E_ARCH"}
        env["SETUP_E2E_PROBE_LOADERS"] = f"{loader_32}:{loader_64}"
        if arch is not None:
            env["SETUP_E2E_ARCH"] = arch
        record = self.folder / "host.json"
        done = subprocess.run([sys.executable, str(WINEBED), "--probe", str(record)], env=env,
                              capture_output=True, text=True, timeout=60)
        mode = json.loads(record.read_text())["mode"] if record.exists() else None
        return done.returncode, (done.stdout + done.stderr).splitlines(), mode

    def test_modes(self):
        # (32-bit loader, 64-bit loader, SETUP_E2E_ARCH, mode, what the one line says)
        for loader_32, loader_64, arch, mode, says in (
            (self.starts, self.starts, None, "x86", "the host runs 32-bit programs"),
            (self.refused, self.starts, None, "x64", "refused cannot start: Exec format error"),
            (self.starts, self.starts, "x64", "x64", "(SETUP_E2E_ARCH=x64)"),
        ):
            with self.subTest(loader_32=Path(loader_32).name, arch=arch):
                code, lines, found = self.probe(loader_32, loader_64, arch)
                self.assertEqual((code, found, len(lines)), (0, mode, 1), lines)
                self.assertIn(says, lines[0])

    def test_fails_with_one_line_where_no_case_can_run(self):
        # Every case needs a 64-bit prefix: without the 64-bit loader nothing runs, whatever else does.
        for loader_32, loader_64, arch, says in (
            (self.refused, self.refused, None, "refused cannot start: Exec format error"),
            (self.starts, self.refused, None, "refused cannot start: Exec format error"),
            (self.refused, self.refused, "x64", "refused cannot start: Exec format error"),
            (self.starts, self.starts, "x86", "SETUP_E2E_ARCH is 'x86'"),
        ):
            with self.subTest(loader_32=Path(loader_32).name, loader_64=Path(loader_64).name, arch=arch):
                code, lines, found = self.probe(loader_32, loader_64, arch)
                self.assertEqual((code, found, len(lines)), (1, None, 1), lines)
                self.assertIn(says, lines[0])

if __name__ == "__main__":
    unittest.main()
