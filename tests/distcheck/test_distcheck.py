"""scripts/distcheck on the demo distribution folder and on faulty copies of it: each fault is found with a
problem line naming the files, the demo folder is sound, with its verdict line."""

import hashlib
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


def older(name):
    return winebed.fixture_packages_dir() / "2.0.12900" / name


def write_sums(folder):
    files = sorted(p for p in folder.rglob("*") if p.is_file())
    lines = [f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.relative_to(folder)}\n" for p in files]
    (folder / "SHA256SUMS").write_text("".join(lines), encoding="utf-8")


def swap(folder, a, b):
    (folder / a).rename(folder / "swap")
    (folder / b).rename(folder / a)
    (folder / "swap").rename(folder / b)


def set_property(package, name, value):
    subprocess.run(["msibuild", str(package), "-q", f"UPDATE Property SET Value='{value}' WHERE Property='{name}'"],
                   check=True)


def list_twice(folder):
    write_sums(folder)
    with (folder / "SHA256SUMS").open("a", encoding="utf-8") as sums:
        sums.write(f"{'0' * 64}  README.txt\n")


def crowd(folder):
    """3,200 entries: 3,000 files beside Setup.exe and 200 subfolders."""
    for i in range(200):
        (folder / f"d{i}").mkdir()
    for i in range(3000):
        (folder / f"f{i}.txt").write_bytes(b"")


def spoil_sums(folder):
    write_sums(folder)
    (folder / "README.txt").write_text("changed\n", encoding="utf-8")
    (folder / "version.dll").write_bytes(b"MZ")
    (folder / "csp" / "Setup.exe").unlink()
    (folder / "csp" / "setup.ini").write_text("\n", encoding="utf-8")


_signing = {}


def signer(who):
    """A throwaway code-signing certificate and key, made once per run: (certificate, key, SHA-1 thumbprint)."""
    if who not in _signing:
        folder = Path(tempfile.mkdtemp())
        cert, key = folder / "cert.pem", folder / "key.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                        f"/CN=Solvarn test signer {who}", "-addext", "extendedKeyUsage=codeSigning", "-keyout",
                        str(key), "-out", str(cert)], check=True, capture_output=True)
        fingerprint = subprocess.run(["openssl", "x509", "-in", str(cert), "-noout", "-fingerprint", "-sha1"],
                                     check=True, capture_output=True, text=True).stdout
        _signing[who] = (cert, key, fingerprint.split("=")[1].strip().replace(":", ""))
    return _signing[who]


def sign(path, who):
    cert, key, _ = signer(who)
    subprocess.run(["bash", str(ROOT / "scripts" / "sign"), str(cert), str(key), str(path)], check=True,
                   capture_output=True)


def sign_release(folder, who="A"):
    """Every program and package signed, then SHA256SUMS and its detached signature, as a signed release."""
    for path in sorted(folder.rglob("*")):
        if path.suffix.lower() in (".exe", ".msi"):
            sign(path, who)
    write_sums(folder)
    cert, key, _ = signer(who)
    subprocess.run(["openssl", "cms", "-sign", "-binary", "-outform", "DER", "-md", "sha256", "-in",
                    str(folder / "SHA256SUMS"), "-signer", str(cert), "-inkey", str(key), "-out",
                    str(folder / "SHA256SUMS.p7s")], check=True)


def change_byte(path):
    with path.open("r+b") as program:
        program.seek(1100)
        byte = program.read(1)
        program.seek(1100)
        program.write(bytes([byte[0] ^ 1]))


def unsign_setup(folder):
    unsigned = (folder / "Setup.exe").read_bytes()
    sign_release(folder)
    (folder / "Setup.exe").write_bytes(unsigned)
    write_sums(folder)


# folder, how it is spoilt, exit code, lines the output must hold (problem lines unwrapped), and the check's
# options if any
CASES = [
    ("sound", lambda f: None, 0, [r"^verdict: sound; Setup\.exe installs 2\.0\.13000 on x64 and 2\.0\.13000 on win32$",
                                  r"^  x64    Package tarvex-x64\.msi$",
                                  r"^         ProductCode \{50A1C0DE-2013-4000-8000-000000000064\}$"]),
    ("older release beside, suffix names", lambda f: [shutil.copy2(older(n), f / n.replace(".msi", "-2.0.12900.msi"))
                                                      for n in ("tarvex-x64.msi", "tarvex-win32.msi")], 1,
     [r"^problem: x64 installation \(tarvex\*x64\*\) can pick entries that differ: tarvex-x64-2\.0\.12900\.msi: "
      r"ProductCode \{50A1C0DE-2012-4900-8000-000000000064\}, ProductVersion 2\.0\.12900; tarvex-x64\.msi: "]),
    ("older release beside, prefix name", lambda f: shutil.copy2(older("tarvex-x64.msi"), f / "2.0.12900-tarvex-x64.msi"),
     1, [r"^problem: x64 identity \(\*x64\*\*\.msi, then \*\.msi\) can pick entries that differ: 2\.0\.12900-tarvex"]),
    ("folder named like a package", lambda f: (f / "tarvex-x64 old").mkdir(), 1,
     [r"^problem: tarvex-x64 old is a folder, not a package; it can be picked by x64 installation$"]),
    ("readme named like a package", lambda f: (f / "tarvex-x64-readme.txt").write_text("notes\n"), 1,
     [r"^problem: tarvex-x64-readme\.txt is not a Windows Installer package; it can be picked by x64 installation$"]),
    ("matched by its 8.3 name only", lambda f: (f / "tarvex.msix").write_text("x\n"), 1,
     [r"^problem: tarvex\.msix is not a Windows Installer package; it can be picked by version$"]),
    ("platforms swapped", lambda f: swap(f, "tarvex-x64.msi", "tarvex-win32.msi"), 1,
     [r"^problem: tarvex-x64\.msi holds a package for platform Intel, not x64; it can be picked by x64 identity, x64 installation$",
      r"^problem: tarvex-win32\.msi holds a package for platform x64, not win32; it can be picked by win32 identity, "]),
    ("names equal but for case", lambda f: shutil.copy2(older("tarvex-x64.msi"), f / "TARVEX-X64.MSI"), 1,
     [r"^problem: TARVEX-X64\.MSI and tarvex-x64\.msi are one name on Windows$"]),
    ("Setup.exe.local file", lambda f: (f / "Setup.exe.local").write_text(""), 1,
     [r"^problem: Setup\.exe\.local makes Setup\.exe refuse to run \(exit 10, nothing shown\)$"]),
    ("SETUP.EXE.LOCAL folder", lambda f: (f / "SETUP.EXE.LOCAL").mkdir(), 1, [r"^problem: SETUP\.EXE\.LOCAL makes"]),
    ("external manifest", lambda f: (f / "Setup.exe.manifest").write_text("<assembly/>"), 1,
     [r"^problem: Setup\.exe\.manifest would replace Setup\.exe's own manifest on Windows XP"]),
    ("name Windows cannot hold", lambda f: (f / "notes?.txt").write_text(""), 1,
     [r"^problem: notes\?\.txt is a name Windows cannot hold$"]),
    ("planted DLL", lambda f: (f / "version.dll").write_bytes(b"MZ"), 1,
     [r"^problem: version\.dll lies beside Setup\.exe, where Windows may load or run it"]),
    ("no Setup.exe", lambda f: (f / "Setup.exe").unlink(), 1, [r"^problem: no Setup\.exe in the folder$"]),
    ("csp is a file", lambda f: [shutil.rmtree(f / "csp"), (f / "csp").write_text("")], 1,
     [r"^problem: csp is a file, not the folder of the provider's Setup\.exe$"]),
    ("csp is empty", lambda f: (f / "csp" / "Setup.exe").unlink(), 1,
     [r"^problem: csp is an empty folder: no Setup\.exe for -csp$"]),
    ("ucsp without its Setup.exe", lambda f: (f / "ucsp" / "Setup.exe").rename(f / "ucsp" / "Setup.ex_"), 1,
     [r"^problem: ucsp has no Setup\.exe for -ucsp$"]),
    ("name not UTF-8", lambda f: shutil.copy2(f / "tarvex-x64.msi", os.fsencode(f) + b"/tarvex-x64-\xe9.msi"), 1,
     [r"^problem: tarvex-x64-\\xE9\.msi is not a UTF-8 name", r"^    tarvex-x64-\\xE9\.msi, tarvex-x64\.msi$"]),
    ("link named like a package", lambda f: (f / "tarvex-x64-old.msi").symlink_to(f / "gone.msi"), 1,
     [r"^problem: tarvex-x64-old\.msi is a link or junction: Windows follows it wherever it leads"]),
    ("links to the parent", lambda f: [(f / "docs").mkdir(), (f / "docs" / "up").symlink_to(".."),
                                       (f / "docs" / "up2").symlink_to("..")], 1, [r"^problem: docs\\up2 is a link"]),
    ("FIFO named like a package", lambda f: os.mkfifo(f / "tarvex-x64-0.msi"), 1,
     [r"^problem: tarvex-x64-0\.msi is a special file \(FIFO, socket or device\), not a file: it is not opened$"]),
    ("csp leads elsewhere", lambda f: [shutil.move(f / "csp", f.parent / f"{f.name}-csp"),
                                       (f / "csp").symlink_to(f.parent / f"{f.name}-csp")], 1,
     [r"^problem: csp is a link or junction"]),
    ("empty provider setup", lambda f: (f / "csp" / "Setup.exe").write_bytes(b""), 1,
     [r"^problem: csp\\Setup\.exe is not a Windows program: starting it fails with 193$"]),
    ("text Setup.exe", lambda f: (f / "Setup.exe").write_text("MZ is not enough\n"), 1,
     [r"^problem: Setup\.exe is not a Windows program"]),
    ("version Setup.exe cannot compare", lambda f: set_property(f / "tarvex-x64.msi", "ProductVersion", "v2.0.15000"),
     1, [r"^problem: tarvex-x64\.msi holds ProductVersion v2\.0\.15000, which Setup\.exe cannot compare"]),
    ("version part too large", lambda f: set_property(f / "tarvex-win32.msi", "ProductVersion", "2.0.65536"), 1,
     [r"^problem: tarvex-win32\.msi holds ProductVersion 2\.0\.65536, which"]),
    ("device names", lambda f: [(f / n).write_text("") for n in ("CON.txt", "aux", "nul.msi")], 1,
     [r"^problem: CON\.txt is a name Windows keeps for a device", r"^problem: aux is a name Windows keeps",
      r"^problem: nul\.msi is a name Windows keeps"]),
    ("control characters in a property", lambda f: set_property(f / "rus-tarvex-x64.msi", "ProductName",
                                                                "x\nverdict: sound\x1b[2J"), 1,
     [r"ProductName x\\x0Averdict: sound\\x1B\[2J$"]),
    ("a file listed twice", list_twice, 1, [r"^problem: README\.txt is listed twice in SHA256SUMS$"]),
    ("SHA256SUMS a folder", lambda f: (f / "SHA256SUMS").mkdir(), 1,
     [r"^problem: SHA256SUMS is a folder, not the list of sums$"]),
    ("3,200 entries", crowd, 0, [r"^verdict: sound"]),
    ("DLL beside distcheck.exe", lambda f: [(f / "tools").mkdir(exist_ok=True), (f / "tools" / "distcheck.exe").write_bytes(b"MZ"),
                                            (f / "tools" / "version.dll").write_bytes(b"MZ"),
                                            (f / "tools" / "distcheck.exe.local").mkdir()], 1,
     [r"^problem: tools\\version\.dll lies beside distcheck\.exe, where Windows may load",
      r"^problem: tools\\distcheck\.exe\.local makes distcheck\.exe refuse to run \(exit 10\)$"]),
    ("one platform only", lambda f: [(f / n).unlink() for n in os.listdir(f) if n.endswith("win32.msi")], 1,
     [r"^problem: win32: no package to install, nothing matches tarvex\*win32\*$"]),
    ("signed, then changed", lambda f: [sign_release(f), change_byte(f / "Setup.exe")], 1,
     [r"^problem: Setup\.exe: its signature does not verify \(its digest does not match the file\)",
      r"^problem: Setup\.exe has changed since SHA256SUMS was written$"]),
    ("a package signed by another", lambda f: [sign_release(f), sign(f / "tarvex-win32.msi", "B")], 1,
     [r"^problem: tarvex-win32\.msi is signed by CN=Solvarn test signer B \(SHA-1 [0-9A-F]{40}\), not by the "
      r"release's signer CN=Solvarn test signer A"]),
    ("an unsigned program among signed ones", unsign_setup, 1,
     [r"^problem: Setup\.exe is not signed, where the release's other files are signed by CN=Solvarn test signer A",
      r"^problem: SHA256SUMS\.p7s: its signature does not verify"]),
    ("signed by the signer named", sign_release, 0,
     [r"^    signed by CN=Solvarn test signer A$", r"^  SHA256SUMS, to compare.*\n    SHA-256  [0-9a-f]{64}$",
      r"^verdict: sound"],
     lambda: ["--signer", signer("A")[2]]),
    ("signed, but not by the signer named", sign_release, 1,
     [r"^problem: Setup\.exe is signed by CN=Solvarn test signer A \(SHA-1 [0-9A-F]{40}\), not by --signer$"],
     lambda: ["--signer", signer("B")[2]]),
    ("SHA256SUMS and later changes", spoil_sums, 1,
     [r"^problem: README\.txt has changed since SHA256SUMS was written$",
      r"^problem: version\.dll is not listed in SHA256SUMS \(added after the release\?\)$",
      r"^problem: csp\\Setup\.exe is listed in SHA256SUMS but missing$"]),
    ("missing", None, 2, [r"no such folder"]),
]


def report_lines(output):
    """The report with each problem's continuation lines joined to it."""
    lines, joined = output.splitlines(), []
    for line in lines:
        if joined and joined[-1].startswith(("problem:", "verdict:")) and line.startswith("  "):
            joined[-1] += " " + line.strip()
        else:
            joined.append(line)
    return "\n".join(joined)


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        sound = Path(work) / "sound"
        demo.lay_out_distribution(sound)
        for number, (name, spoil, expected_code, expected_lines, *options) in enumerate(CASES):
            target = Path(work) / str(number)
            if spoil is not None:
                shutil.copytree(sound, target, symlinks=True)
                spoil(target)
            try:  # a trap that hangs the check fails here, instead of hanging the suite
                arguments = options[0]() if options else []
                run = subprocess.run(["bash", str(ROOT / "scripts" / "distcheck"), *arguments, str(target)],
                                     capture_output=True,
                                     env=dict(os.environ), timeout=120)
            except subprocess.TimeoutExpired:
                print(f"FAIL {name}: no verdict within 120 s")
                failures += 1
                continue
            raw = run.stdout.decode("utf-8") + run.stderr.decode("utf-8")
            output = report_lines(raw)
            missing = [line for line in expected_lines if not re.search(line, output, re.MULTILINE)]
            missing += [f"80 columns: {line}" for line in raw.splitlines() if len(line) > 80]
            if run.returncode != expected_code or missing:
                print(f"FAIL {name}: exit {run.returncode}, expected {expected_code}; missing {missing}\n{output}")
                failures += 1
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
