"""Wine test bed for the end-to-end tests: runs the real Setup.exe under Wine and an Xvfb display.

One WineBed per test module: a fresh Wine prefix in a temporary folder, its own persistent
wineserver and its own Xvfb. Programs run through boxdriver.exe (tests/e2e/driver), which answers
every box the program shows, describes it as JSON and reports the full 32-bit exit code (a Linux
parent of Wine only sees the low 8 bits).

Costs measured on a 2-core Debian 12 machine (Wine 8.0), wall time:
  - one bed: 9-16 s to start a 64-bit prefix, nearly all of it wineboot -i (8.5-15.5 s, varying
    from hour to hour on the same machine with the disk), 6.5 s a 32-bit one; about 1 s to stop
    (wineserver -k, then removing the 1.3 GB prefix).
  - one scenario: 0.15 s for a run answering one box, 0.25 s for the usage box, 0.5 s for a run
    that also installs a small package with msiexec; relay=True adds next to nothing.
    Uninstalling a product: 0.3-0.4 s; set_windows_version: 0.2-0.6 s; reg_add/reg_query: 0.1 s.
  - test_spine.py as a whole: 12-19 s; two modules under ctest -j2: 16-22 s.

What the host runs decides the build (Host): the real 32-bit Setup.exe where 32-bit programs run,
else its x64 test build under 64-bit Wine alone, with the cases that need 32-bit Windows or the 32-bit
binary skipped by name (needs_32bit, require_32bit).

Environment:
  SETUP_E2E_ARCH=x64   act as on a host that runs 64-bit programs only
  SETUP_WINDOWS_BUILD  the Windows build folder holding Setup.exe and boxdriver.exe
                       (default <repo>/build/windows)
  SETUP_WINDOWS_X64_BUILD  the same for x86_64 (default <repo>/build/windows-x64)
  SETUP_E2E_HOST, SETUP_E2E_REPORT  set by CTest: the mode its fixture e2e.host found, and the
                       report of the run (the mode line, then each module's skipped cases)
  SETUP_FIXTURE_PACKAGES  the fixture package sets (default <repo>/build/native/fixtures/packages)
  E2E_TMP              where prefixes go (default: the system's temporary folder)
  E2E_KEEP=1           keep the prefix folder after the module, for a post-mortem
  E2E_ARTIFACTS        where screenshots taken by snap: steps go (default: inside the bed)

Run by Debian's /usr/bin/python3: the detection rules are read with python3-gi (libmsi) and the
installed files' versions with python3-pefile.
"""

import atexit
import ctypes
import functools
import json
import os
import queue
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path, PureWindowsPath

REPO = Path(__file__).resolve().parents[2]

# Spellings of the message box functions a program may call; relay shows only calls made across
# module boundaries, so user32's own MessageBoxW -> MessageBoxIndirectW chain is not doubled.
MESSAGE_BOX_FUNCTIONS = (
    "MessageBoxW",
    "MessageBoxA",
    "MessageBoxExW",
    "MessageBoxExA",
    "MessageBoxIndirectW",
    "MessageBoxIndirectA",
    "MessageBoxTimeoutW",
    "MessageBoxTimeoutA",
)

# The functions that make a window of any kind (a message box's own window is made inside user32, so
# relay shows only the call above). Relay traces them too, so that a test can show a run made none.
WINDOW_FUNCTIONS = MESSAGE_BOX_FUNCTIONS + (
    "CreateWindowExW",
    "CreateWindowExA",
    "DialogBoxParamW",
    "DialogBoxParamA",
    "CreateDialogParamW",
    "CreateDialogParamA",
    "DialogBoxIndirectParamW",
    "DialogBoxIndirectParamA",
)

# CurrentVersion as winecfg writes it, to notice when Wine did not take a version.
_CURRENT_VERSION = {
    "win2k": "5.0",
    "winxp": "5.1",
    "winxp64": "5.2",
    "win2003": "5.2",
    "win7": "6.1",
    "win10": "10.0",
}
# Windows 2000 and XP: a 64-bit prefix does not take them.
WIN32_ONLY_VERSIONS = {"win2k", "winxp"}

# The locale Wine starts under decides the user interface language (ru_RU.UTF-8: 0x0419) and how
# Linux file names map to Windows ones. C.UTF-8 exists on every machine, so by default non-ASCII
# file names map right; ru_RU.UTF-8 and en_US.UTF-8 may not be installed, and then Wine falls back
# to ASCII for file names (program arguments reach the driver through a file, unharmed).
_LOCALES = {None: "C.UTF-8", "en": "en_US.UTF-8", "ru": "ru_RU.UTF-8"}


# ---- what the host runs -------------------------------------------------------------------

LOADER_32 = "/usr/lib/wine/wine"
LOADER_64 = "/usr/lib/wine/wine64"
# A loader that needs longer than this to print its version (qemu-user took about 55 s for each
# 32-bit process) is of no use to a suite that starts hundreds of processes.
PROBE_SECONDS = 10


class Host:
    """What the end-to-end tests run on this host, decided once.

    "x86": the host runs 32-bit programs; the real 32-bit Setup.exe (build/windows) runs under 64-
    and 32-bit prefixes, every case as always. "x64": it runs 64-bit programs only (or
    SETUP_E2E_ARCH=x64 says to act as if); the x64 test build of the same sources
    (build/windows-x64) runs under 64-bit Wine alone, and the cases that need 32-bit Windows or the
    32-bit binary are skipped (needs_32bit)."""

    def __init__(self, mode, why=""):
        self.mode = mode
        self.why = why  # for "x64": what made the choice

    @property
    def runs_32bit(self):
        return self.mode == "x86"

    @property
    def wine(self):
        """The command that starts a Windows program: Debian's wrapper always starts the 32-bit
        loader first, which a 64-bit-only host cannot run."""
        return ["wine"] if self.runs_32bit else [LOADER_64]

    def build_dir(self):
        if self.runs_32bit:
            return Path(os.environ.get("SETUP_WINDOWS_BUILD") or REPO / "build" / "windows")
        return Path(os.environ.get("SETUP_WINDOWS_X64_BUILD") or REPO / "build" / "windows-x64")

    def describe(self):
        if self.runs_32bit:
            return (f"e2e: the host runs 32-bit programs: the real Setup.exe of {self.build_dir()} "
                    f"under 64- and 32-bit prefixes")
        kind = "as on a host that runs" if self.why.startswith("SETUP_E2E_ARCH") else "the host runs"
        return (f"e2e: {kind} 64-bit programs only ({self.why}): the x64 test build of {self.build_dir()} "
                f"under 64-bit Wine; the cases that need 32-bit Windows or the 32-bit binary are skipped")


def _loader_fault(loader):
    """Why this Wine loader cannot start a program here, or None when it reports its version."""
    try:
        done = subprocess.run([loader, "--version"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=PROBE_SECONDS)
    except subprocess.TimeoutExpired:
        return f"{loader} took more than {PROBE_SECONDS} s to start"
    except OSError as error:
        return f"{loader} cannot start: {error.strerror}"
    return None if done.returncode == 0 else f"{loader} --version ended with {done.returncode}"


def probe_host():
    """Tries the loaders. SETUP_E2E_PROBE_LOADERS ("32-bit:64-bit" loader paths) stands in for the
    real ones in this check only, so that its failing branches can be shown on any host."""
    forced = os.environ.get("SETUP_E2E_ARCH", "")
    if forced not in ("", "x64"):
        raise BedError(f"SETUP_E2E_ARCH is {forced!r}: x64, or unset to ask the host")
    loader_32, loader_64 = (os.environ.get("SETUP_E2E_PROBE_LOADERS") or f"{LOADER_32}:{LOADER_64}").split(":")
    fault_64 = _loader_fault(loader_64)
    if fault_64:
        fault_32 = _loader_fault(loader_32)
        raise BedError(f"no end-to-end case can run: every case needs a 64-bit prefix, and {fault_64}"
                       + (f"; {fault_32}" if fault_32 else ""))
    if forced:
        return Host("x64", "SETUP_E2E_ARCH=x64")
    fault_32 = _loader_fault(loader_32)
    return Host("x64", fault_32) if fault_32 else Host("x86")


_host = None


def host(announce=True):
    """The host's mode, taken from the file the CTest fixture e2e.host wrote for this run
    (SETUP_E2E_HOST) or probed here. Its line goes to stderr, first in a test module's output,
    unless the first call says not to (the demo and the benchmark say it in their own words)."""
    global _host
    if _host is None:
        _host = _recorded_host() or probe_host()
        if announce:
            print(_host.describe(), file=sys.stderr, flush=True)
    return _host


def _recorded_host():
    try:
        record = json.loads(Path(os.environ["SETUP_E2E_HOST"]).read_text())
    except (KeyError, OSError, ValueError):
        return None
    # Made under another SETUP_E2E_ARCH (a run by hand with an old file), it does not count.
    if record.get("forced") != os.environ.get("SETUP_E2E_ARCH", ""):
        return None
    return Host(record["mode"], record["why"])


def _record_host(path):
    """The CTest fixture: probes once for the whole run; exit 1 with one line when no case can run.
    The line starts the run's report (SETUP_E2E_REPORT), which scripts/test shows at its end."""
    target = Path(path)
    target.unlink(missing_ok=True)
    try:
        found = probe_host()
        line = found.describe()
    except BedError as error:
        found, line = None, f"e2e: {error}"
    if os.environ.get("SETUP_E2E_REPORT"):
        Path(os.environ["SETUP_E2E_REPORT"]).write_text(line + "\n")
    print(line, file=sys.stdout if found else sys.stderr)
    if found is None:
        return 1
    target.write_text(json.dumps({"mode": found.mode, "why": found.why,
                                  "forced": os.environ.get("SETUP_E2E_ARCH", "")}))
    return 0


_skipped = []


def require_32bit(case, reason):
    """Skips the running case (or subTest) with this reason where the host runs 64-bit programs
    only; the module's output ends with a line naming every case skipped so."""
    if not host().runs_32bit:
        _skip((getattr(case, "_subtest", None) or case).id(), reason)


def _skip(name, reason):
    if not _skipped:
        atexit.register(_report_skipped)
    _skipped.append(f"{name}: {reason}")
    raise unittest.SkipTest(reason)


def needs_32bit(reason):
    """Decorator of a test method or class that only a host running 32-bit programs can show. On a
    class it skips setUpClass as well, so that no 32-bit prefix is asked for there."""

    def mark(target):
        if isinstance(target, type):
            set_up = target.setUpClass

            def set_up_class(cls):
                if not host().runs_32bit:
                    _skip(f"{cls.__module__}.{cls.__qualname__}", reason)
                set_up()

            target.setUpClass = classmethod(set_up_class)
            return target

        @functools.wraps(target)
        def run(case, *args, **kwargs):
            require_32bit(case, reason)
            return target(case, *args, **kwargs)

        return run

    return mark


def _report_skipped():
    line = f"e2e: skipped {len(_skipped)} on this 64-bit-only run: " + "; ".join(_skipped)
    print(line, file=sys.stderr)
    if os.environ.get("SETUP_E2E_REPORT"):
        with open(os.environ["SETUP_E2E_REPORT"], "a") as report:
            report.write(line + "\n")


def windows_build_dir():
    return host().build_dir()


@functools.cache
def _string_table():
    # Both Windows builds carry the same table; the 32-bit one is built on every host.
    import pefile

    builds = [os.environ.get("SETUP_WINDOWS_BUILD") or REPO / "build" / "windows",
              os.environ.get("SETUP_WINDOWS_X64_BUILD") or REPO / "build" / "windows-x64"]
    program = next((Path(b) / "Setup.exe" for b in builds if (Path(b) / "Setup.exe").is_file()), None)
    if program is None:
        raise BedError("no Setup.exe built to read the messages from")
    image = pefile.PE(str(program))
    table = {}
    for entry in image.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == pefile.RESOURCE_TYPE["RT_STRING"]:
            for block in entry.directory.entries:
                table.update(block.directory.strings)
    return table


@functools.cache
def _string_ids():
    header = (REPO / "src" / "base" / "resource_ids.h").read_text(encoding="utf-8")
    return {name: int(number) for name, number in re.findall(r"^#define (IDS_\w+) (\d+)", header, re.M)}


def message(name):
    """The text of the string IDS_... of the program's table, read from the built Setup.exe, as its boxes
    show it: the tests take the texts from the program, not from copies of their own."""
    return _string_table()[_string_ids()[name]]


def fixture_packages_dir():
    return Path(os.environ.get("SETUP_FIXTURE_PACKAGES") or REPO / "build" / "native" / "fixtures" / "packages")


def _die_with_parent():
    # Xvfb and the wineserver must not outlive a test process that was killed outright.
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def _kill_prefix_processes(prefix):
    """SIGKILLs every process started with this WINEPREFIX: whatever wineserver -k left behind."""
    needle = b"\0WINEPREFIX=" + os.fsencode(str(prefix)) + b"\0"
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                environ = b"\0" + f.read() + b"\0"
        except OSError:
            continue
        if needle in environ:
            try:
                os.kill(int(entry), signal.SIGKILL)
            except OSError:
                pass


def _watchdog(root, prefix, keep):
    # Runs apart from the test process and cleans up after it if it dies without stop() (a
    # SIGKILL from a test timeout): the pipe from the test process then ends without "done".
    if os.fork():
        os._exit(0)
    os.setsid()  # out of the test's process tree and session, so that it outlives their killing
    pids, clean = [], False
    for line in sys.stdin:
        word, _, rest = line.strip().partition(" ")
        if word == "pid":
            pids.append(int(rest))
        elif word == "done":
            clean = True
    if clean:
        return
    _kill_prefix_processes(prefix)
    for pid in pids:
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read()
            if b"Xvfb" in command or b"wineserver" in command:  # not a pid used again since
                os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
    if not keep:
        shutil.rmtree(root, ignore_errors=True)


class BedError(AssertionError):
    pass


class Run:
    """What one run of a program under the driver showed and returned."""

    def __init__(self):
        self.pid = None
        self.exit_code = None  # full 32-bit, None when the program was killed or never started
        self.boxes = []  # every BOX line, parsed, in order (a step with two dumps gives two)
        self.unexpected = []  # boxes that came with no step left (they were dismissed)
        self.unused = 0
        self.timed_out = False
        self.errors = []
        self.snapshots = {}  # snap name -> screenshot path
        self.driver_status = None
        self.stdout = ""  # the driver's raw output, for diagnostics
        self.trace_path = None
        self.message_box_calls = None  # relay=True only
        self.window_calls = None  # relay=True only: every call of WINDOW_FUNCTIONS the process made
        self.seconds = None  # wall time of the run, for the cost notes; never asserted on
        # Times in ms from the driver's CreateProcessW call: the run time to the exit, and when each
        # new window was found.
        self.elapsed_ms = None
        self.seen_ms = []
        self.created_ms = None  # how long CreateProcessW itself took

    @property
    def windows(self):
        """One description per window: the first dump of each."""
        seen, out = set(), []
        for box in self.boxes:
            if box["window"] not in seen:
                seen.add(box["window"])
                out.append(box)
        return out

    def describe(self):
        """The driver's output with every box spelled out readably (the JSON escapes non-ASCII)."""
        readable = []
        for box in self.boxes:
            readable.append(
                f"window {box['window']} (step {box['step'] or 'none'}): caption {box['caption']!r}, "
                f"text {box['text']!r}, buttons {box['buttons']}, icon {box['icon']}"
            )
        summary = "\n".join(readable) or "(no window)"
        return f"windows:\n{summary}\nexit code: {self.exit_code}\ndriver output:\n{self.stdout or '(none)'}"


class Distribution:
    """A folder the program is run from, as both a Linux and a Windows path."""

    def __init__(self, bed, linux):
        self.bed = bed
        self.linux = Path(linux)
        self.windows = bed.to_windows(self.linux)

    def path(self, relative=""):
        """(linux, windows) of an item inside the folder."""
        linux = self.linux / relative if relative else self.linux
        return linux, self.bed.to_windows(linux)

    def win(self, relative=""):
        return self.path(relative)[1]

    def mkdir(self, relative):
        (self.linux / relative).mkdir(parents=True, exist_ok=True)
        return self.win(relative)

    def copy(self, source, name=None):
        """Copies a file or a folder in; returns its Windows path."""
        source = Path(source)
        target = self.linux / (name or source.name)
        target.parent.mkdir(parents=True, exist_ok=True)
        if source.is_dir():
            shutil.copytree(source, target, dirs_exist_ok=True)
        else:
            shutil.copy2(source, target)
        return self.bed.to_windows(target)

    def add_setup(self, name="Setup.exe"):
        return self.copy(self.bed.setup_exe, name)

    def add_providers(self, *names):
        """The stand-in nested setup (tests/fixtures/programs/nested_setup.cpp) as <name>\\Setup.exe
        for each provider folder named, "csp" and "ucsp" by default."""
        for name in names or ("csp", "ucsp"):
            self.copy(self.bed.build_dir / "programs" / "nested_setup.exe", f"{name}/Setup.exe")

    def add_packages(self, package_set, relative=""):
        """Copies the files of a fixture package set (tests/fixtures/README.md) into the folder."""
        source = fixture_packages_dir() / package_set
        if not source.is_dir():
            raise BedError(
                f"{source} is missing: build the native targets (fixture_packages) first "
                f"or point SETUP_FIXTURE_PACKAGES at the package sets"
            )
        target = self.linux / relative
        target.mkdir(parents=True, exist_ok=True)
        for item in sorted(source.iterdir()):
            self.copy(item, Path(relative) / item.name if relative else None)
        return self.win(relative)

    def write(self, relative, data):
        target = self.linux / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(data, str):
            data = data.encode("utf-8")
        target.write_bytes(data)
        return self.bed.to_windows(target)


class WineBed:
    """A Wine prefix with its own wineserver and display.

    Use as a context manager, or call start() in setUpModule and stop() in tearDownModule.
    """

    def __init__(self, arch="win64", display=None, build_dir=None):
        """arch: "win64", "win32" (only where the host runs 32-bit programs), or "any" for a case
        that does not depend on the platform: the 32-bit prefix, quicker to make, where there is one."""
        if arch not in ("win64", "win32", "any"):
            raise ValueError("arch must be win64, win32 or any")
        if arch == "any":
            arch = "win32" if host().runs_32bit else "win64"
        elif arch == "win32" and not host().runs_32bit:
            raise BedError("a 32-bit prefix needs a host that runs 32-bit programs: mark the case needs_32bit")
        self.arch = arch
        self.build_dir = Path(build_dir) if build_dir else windows_build_dir()
        self.display = display  # ":N" of a running X server to use instead of an own Xvfb
        self._own_display = display is None
        self.root = None
        self.prefix = None
        self._xvfb = None
        self._server = None
        self._runs = 0
        self._watchdog = None
        self._server_dirs = []
        self.timings = {}

    # ---- life cycle -------------------------------------------------------------------------

    @property
    def setup_exe(self):
        return self._built("Setup.exe")

    @property
    def driver_exe(self):
        return self._built("boxdriver.exe")

    def _built(self, name):
        path = self.build_dir / name
        if not path.is_file():
            raise BedError(
                f"{path} is missing: build the Windows targets first "
                f"(cmake --build {self.build_dir}) or point SETUP_WINDOWS_BUILD at their folder"
            )
        return path

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def start(self):
        self.driver_exe  # fail before spending seconds on a prefix
        began = time.monotonic()
        atexit.register(self.stop)
        try:
            base = os.environ.get("E2E_TMP") or None
            if base:
                Path(base).mkdir(parents=True, exist_ok=True)
            self.root = Path(tempfile.mkdtemp(prefix="winebed-", dir=base))
            self.prefix = self.root / "prefix"
            self.prefix.mkdir()
            (self.root / "runs").mkdir()
            self._start_watchdog()
            if self._own_display:
                self._start_xvfb()
                self._watch(self._xvfb.pid)
            self._start_server()
            self._watch(self._server.pid)
            t = time.monotonic()
            self._call([*host().wine, "wineboot", "-i"], timeout=300, log="wineboot")
            self.timings["wineboot"] = time.monotonic() - t
            self.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
            self.reg_add(
                r"HKCU\Software\Wine\Debug",
                "RelayInclude",
                ";".join("user32." + f for f in WINDOW_FUNCTIONS),
            )
            # A crashing program then asks "Exception raised ... Do you wish to debug it?" in a box
            # of its own, which the driver sees and dismisses, and ends with its exception code;
            # Wine's default (winedbg --auto) held a crashed Setup.exe and the driver's pipe for good.
            self.reg_add(r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug", "Auto", "0")
            # Programs that import no user32 (the stand-in setups) still get winedbg, whose crash
            # dialog would hold the crashed process, and the run with it, for good.
            self.reg_add(r"HKCU\Software\Wine\WineDbg", "ShowCrashDialog", 0, "REG_DWORD")
        except BaseException:
            self.stop()
            raise
        self.timings["start"] = time.monotonic() - began

    def stop(self):
        if self.root is None:
            return
        began = time.monotonic()
        if self._server is not None:
            try:
                subprocess.run(
                    ["wineserver", "-k"],
                    env=self._env(),
                    stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL,
                    timeout=30,
                )
            except (subprocess.TimeoutExpired, OSError):
                pass
            self._reap(self._server)
            self._server = None
        if self.prefix is not None:
            _kill_prefix_processes(self.prefix)
        self._remove_server_dirs()
        if self._xvfb is not None:
            self._xvfb.terminate()
            self._reap(self._xvfb)
            self._xvfb = None
        if self._own_display:
            self.display = None
        if os.environ.get("E2E_KEEP") == "1":
            print(f"winebed: kept {self.root}")
        else:
            shutil.rmtree(self.root, ignore_errors=True)
        if self._watchdog is not None:
            try:
                self._watchdog.write(b"done\n")
                self._watchdog.close()
            except OSError:
                pass
            self._watchdog = None
        self.root = None
        self.timings["stop"] = time.monotonic() - began

    def _start_watchdog(self):
        keep = "1" if os.environ.get("E2E_KEEP") == "1" else "0"
        process = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), "--watchdog", str(self.root), str(self.prefix), keep],
            stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        process.wait()  # the watchdog itself lives on in a forked child
        self._watchdog = process.stdin

    def _watch(self, pid):
        self._watchdog.write(f"pid {pid}\n".encode())
        self._watchdog.flush()

    @staticmethod
    def _reap(process):
        try:
            process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        try:
            with open(self.root / "xvfb.log", "wb") as log:
                self._xvfb = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                    pass_fds=(write_end,),
                    stdin=subprocess.DEVNULL,
                    stdout=subprocess.DEVNULL,
                    stderr=log,
                    preexec_fn=_die_with_parent,
                )
            os.close(write_end)
            write_end = None
            number = b""
            deadline = time.monotonic() + 30
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([read_end], [], [], left)[0]:
                    raise BedError("Xvfb did not report its display: " + self._log("xvfb"))
                chunk = os.read(read_end, 64)
                if not chunk:
                    raise BedError("Xvfb ended at start: " + self._log("xvfb"))
                number += chunk
            self.display = ":" + number.decode().strip()
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)

    def _start_server(self):
        with open(self.root / "wineserver.log", "wb") as log:
            self._server = subprocess.Popen(
                ["wineserver", "-p", "-f"],
                env=self._env(),
                stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL,
                stderr=log,
                preexec_fn=_die_with_parent,
            )
        # A wine process started before our server listens would start a second one of its own.
        st = os.stat(self.prefix)
        leaf = f"server-{st.st_dev:x}-{st.st_ino:x}"
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if self._server.poll() is not None:
                raise BedError("wineserver ended at start: " + self._log("wineserver"))
            self._server_dirs = self._server_places(leaf)
            if any((p / "socket").exists() for p in self._server_dirs):
                return
            time.sleep(0.05)

    def _server_places(self, leaf):
        places = [Path(f"/tmp/.wine-{os.getuid()}") / leaf]
        marker = self.prefix / "wineserver"  # Debian's wine names its own server folder here
        if marker.is_file():
            places.append(Path("/tmp") / marker.read_text().strip() / leaf)
        return places

    def _remove_server_dirs(self):
        # The server leaves its folder behind; Debian's wine one more per prefix (/tmp/wine-XXXXXX).
        for place in self._server_dirs:
            shutil.rmtree(place, ignore_errors=True)
            if place.parent.name.startswith("wine-"):
                try:
                    place.parent.rmdir()
                except OSError:
                    pass
        self._server_dirs = []

    def _log(self, name):
        try:
            return (self.root / f"{name}.log").read_text(errors="replace")[-4000:]
        except OSError:
            return "(no log)"

    # ---- Wine commands ----------------------------------------------------------------------

    def _env(self, lang=None, debug="-all"):
        env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "LC_")) and k != "LANGUAGE"}
        locale = _LOCALES.get(lang, lang)
        env.update(
            WINEPREFIX=str(self.prefix),
            WINEARCH=self.arch,
            WINEDEBUG=debug,
            # No Mono/Gecko install prompts: nothing here needs .NET or HTML.
            WINEDLLOVERRIDES="mscoree,mshtml=",
            LANG=locale,
            LC_ALL=locale,
        )
        if not host().runs_32bit:
            # What Wine starts a child program with; Debian's wrapper sets it so too without wine32.
            env["WINELOADER"] = LOADER_64
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def _call(self, argv, timeout=120, log=None, check=True, lang=None):
        """Runs a Wine command; output goes to files, since Wine's service processes inherit pipes."""
        name = log or "cmd"
        out_path = self.root / f"{name}.out"
        err_path = self.root / f"{name}.log"
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            try:
                proc = subprocess.run(
                    argv, env=self._env(lang), stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout
                )
            except subprocess.TimeoutExpired:
                raise BedError(f"{argv} took more than {timeout} s")
        stdout = out_path.read_bytes().decode("utf-8", "replace")
        stderr = err_path.read_bytes().decode("utf-8", "replace")
        if check and proc.returncode != 0:
            raise BedError(f"{argv} failed with {proc.returncode}:\n{stdout}\n{stderr}")
        return proc.returncode, stdout, stderr

    def wine(self, *args, timeout=120, check=True, lang=None):
        """Runs `wine ARGS`; returns (Linux exit status, stdout, stderr)."""
        return self._call([*host().wine, *map(str, args)], timeout=timeout, check=check, lang=lang)

    # ---- registry ---------------------------------------------------------------------------

    @staticmethod
    def _view(view):
        if view is None:
            return []
        if view not in (32, 64):
            raise ValueError("view is 32, 64 or None")
        return [f"/reg:{view}"]

    def reg_add(self, key, name=None, data="", type="REG_SZ", view=None):
        """Sets a value (name None: the key's default value); REG_DWORD data may be an int."""
        argv = ["reg", "add", key]
        argv += ["/ve"] if name is None else ["/v", name]
        argv += ["/t", type, "/d", str(data), "/f"] + self._view(view)
        self.wine(*argv)

    def reg_delete(self, key, name=None, view=None):
        """Deletes a value, or the whole key when name is None; a missing one is no error."""
        argv = ["reg", "delete", key] + ([] if name is None else ["/v", name]) + ["/f"] + self._view(view)
        self.wine(*argv, check=False)

    def reg_query(self, key, name=None, view=None):
        """A value (str, int for DWORD/QWORD, list for MULTI_SZ, bytes for BINARY) or None if absent;
        with name None, a dict of all values of the key (None if the key is absent)."""
        argv = ["reg", "query", key] + self._view(view)
        code, out, _ = self.wine(*argv, check=False)
        if code != 0:
            return None
        values = {}
        for line in out.splitlines():
            m = re.match(r"^ {4}(.*?) {4}(REG_[A-Z_]+)(?: {4}(.*))?$", line)
            if not m:
                continue
            value_name, kind, raw = m.group(1), m.group(2), m.group(3) or ""
            if value_name == "(Default)":
                value_name = None
            if kind in ("REG_DWORD", "REG_QWORD"):
                value = int(raw, 16)
            elif kind == "REG_MULTI_SZ":
                value = raw.split("\\0") if raw else []
            elif kind == "REG_BINARY":
                value = bytes.fromhex(raw)
            else:
                value = raw
            values[value_name] = value
        if name is None:
            return values
        return next((v for k, v in values.items() if k is not None and k.lower() == name.lower()), None)

    def set_windows_version(self, version, service_pack=None):
        """Makes the prefix report this Windows version and, if given, this service pack number."""
        if version not in _CURRENT_VERSION:
            raise ValueError(f"unknown Windows version {version!r}")
        if version in WIN32_ONLY_VERSIONS and self.arch != "win32":
            raise ValueError(f"{version} needs WineBed(arch='win32')")
        self.wine("winecfg", "-v", version)
        current = self.reg_query(r"HKLM\Software\Microsoft\Windows NT\CurrentVersion", "CurrentVersion")
        if current != _CURRENT_VERSION[version]:
            raise BedError(f"winecfg -v {version} left CurrentVersion at {current!r}")
        if service_pack is not None:
            self.reg_add(
                r"HKLM\System\CurrentControlSet\Control\Windows", "CSDVersion", service_pack * 0x100, "REG_DWORD"
            )
            self.reg_add(
                r"HKLM\Software\Microsoft\Windows NT\CurrentVersion",
                "CSDVersion",
                f"Service Pack {service_pack}" if service_pack else "",
            )

    def uninstall(self, product_code):
        """Removes an installed product quietly; a product that is not there is no error."""
        code, _, _ = self.wine("msiexec", "/x", product_code, "/qn", check=False, timeout=300)
        return code

    def detects(self, rule):
        """Whether a release's file-system detection rule (intune-win32app.json) finds the plug-in, as an
        agent evaluates it: %ProgramFiles% expanded in the 64-bit view of 64-bit Windows, or the 32-bit
        view where the rule asks for it, and the fixed file version of the file's version resource
        compared with the rule's."""
        import pefile

        program_files = r"C:\Program Files"
        if self.arch == "win64" and rule["check32BitOn64System"]:
            program_files += " (x86)"
        folder = rule["path"].replace("%ProgramFiles%", program_files)
        if "%" in folder:
            raise BedError(f"the rule names a folder the bed cannot expand: {rule['path']}")
        path = self.to_linux(folder + "\\" + rule["fileOrFolderName"])
        if rule["operationType"] != "version" or rule["operator"] != "greaterThanOrEqual":
            raise BedError(f"the bed evaluates version rules with greaterThanOrEqual only: {rule}")
        if not path.is_file():
            return False
        fixed = pefile.PE(str(path)).VS_FIXEDFILEINFO[0]
        found = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16,
                 fixed.FileVersionLS & 0xFFFF)
        wanted = tuple(int(field) for field in rule["comparisonValue"].split("."))
        return found >= wanted + (0,) * (4 - len(wanted))

    def related_products(self, upgrade_code):
        """Product codes of the installed products of this upgrade code, read where Windows Installer
        keeps them for MsiEnumRelatedProducts (per-machine installations), in no particular order."""
        values = self.reg_query(r"HKLM\Software\Classes\Installer\UpgradeCodes" + "\\" + squash_guid(upgrade_code))
        return sorted(unsquash_guid(name) for name in (values or {}) if name)

    # ---- paths ------------------------------------------------------------------------------

    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    def to_windows(self, linux):
        linux = Path(linux).resolve()
        try:
            rest = linux.relative_to(self.drive_c.resolve())
            return str(PureWindowsPath("C:\\", *rest.parts))
        except ValueError:
            return "Z:" + str(linux).replace("/", "\\")

    def to_linux(self, windows):
        path = PureWindowsPath(windows)
        drive = path.drive.upper()
        parts = path.parts[1:]
        if drive == "C:":
            return self.drive_c.joinpath(*parts)
        if drive == "Z:":
            return Path("/").joinpath(*parts)
        raise ValueError(f"no Linux path for {windows}")

    def make_distribution(self, name, drive="C"):
        """A fresh, empty folder C:\\dist\\<name> (or, with drive "Z", one outside the prefix)."""
        base = self.drive_c / "dist" if drive.upper() == "C" else self.root / "dist"
        folder = base / name
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        return Distribution(self, folder)

    # ---- running programs -------------------------------------------------------------------

    def run(
        self,
        program,
        args=(),
        steps=(),
        env=None,
        unset=(),
        cwd=None,
        lang=None,
        timeout=60,
        cmdline=None,
        relay=False,
        expect_clean=True,
        observe=False,
        dll_overrides=None,
        poll_ms=None,
    ):
        """Runs a program (Windows or Linux path) under the driver.

        steps: one action string per window the program is expected to show, e.g. "yes",
        "dump+click:1001+ok", "snap:first+no". env/unset change the program's environment,
        lang ("ru", "en" or a locale name) the locale Wine starts with; dll_overrides (e.g.
        "msi=n,b") is added to WINEDLLOVERRIDES, which Wine reads from the Linux environment; poll_ms
        (default 30) is how often the driver looks for new windows. cmdline replaces program
        and args with a raw command line. Unless expect_clean is False, anything but "every step
        used, no unexpected window, program ended" fails with the driver's output.
        """
        if self.root is None:
            raise BedError("the bed is not started")
        self._runs += 1
        run_dir = self.root / "runs" / str(self._runs)
        run_dir.mkdir(parents=True)
        options = ["--timeout", str(int(timeout))]
        if cwd is not None:
            options += ["--cwd", self._as_windows(cwd)]
        for k, v in (env or {}).items():
            options += ["--env", f"{k}={v}"]
        for k in unset:
            options += ["--unset", k]
        for s in steps:
            options += ["--step", s]
        if observe:
            options.append("--observe")
        if poll_ms is not None:
            options += ["--poll", str(int(poll_ms))]
        if cmdline is not None:
            options += ["--cmdline", cmdline]
        else:
            options += ["--", self._as_windows(program), *map(str, args)]
        # Through a file, since Wine would pass non-ASCII arguments through the Linux locale,
        # which is not installed for ru_RU.UTF-8 on a bare machine.
        argfile = run_dir / "args.bin"
        argfile.write_bytes(b"".join(o.encode("utf-8") + b"\0" for o in options))
        argv = [*host().wine, str(self.driver_exe), "--argfile", self.to_windows(argfile)]

        result = Run()
        trace = run_dir / "stderr.txt"
        result.trace_path = trace if relay else None
        debug = "-all,+pid,+relay" if relay else "-all"
        lines = []
        began = time.monotonic()
        with open(trace, "wb") as err:
            wine_env = self._env(lang, debug)
            if dll_overrides:
                wine_env["WINEDLLOVERRIDES"] += ";" + dll_overrides
            proc = subprocess.Popen(
                argv,
                env=wine_env,
                cwd=run_dir,
                stdin=subprocess.DEVNULL,
                stdout=subprocess.PIPE,
                stderr=err,
            )
            try:
                self._read_driver(proc, run_dir, result, lines, timeout + 60)
            finally:
                result.stdout = "".join(lines)
                if proc.poll() is None:
                    proc.kill()
                proc.wait()
                # Not closed here: a descendant that keeps the pipe open (a crashed program's
                # debugger was seen doing so for good) leaves the reading thread inside readline,
                # and closing the file under it blocks until that descendant dies.
                result.seconds = time.monotonic() - began
        if relay:
            text = trace.read_bytes().decode("utf-8", "replace")
            result.message_box_calls = parse_message_box_calls(text, result.pid)
            result.window_calls = parse_window_calls(text, result.pid)
        if result.driver_status is None:
            raise BedError(f"the driver did not finish\n{result.describe()}\n{self._tail(trace)}")
        if expect_clean and (result.driver_status != 0 or result.exit_code is None):
            raise BedError(f"the run was not clean\n{result.describe()}")
        return result

    def _as_windows(self, path):
        text = str(path)
        return self.to_windows(text) if text.startswith("/") else text

    @staticmethod
    def _tail(path):
        try:
            return "stderr: " + path.read_bytes()[-3000:].decode("utf-8", "replace")
        except OSError:
            return ""

    def _read_driver(self, proc, run_dir, result, lines, limit):
        # Lines come through a thread so that a blocked read cannot outlast the limit; EOF may
        # never come, because the program's descendants inherit the pipe.
        q = queue.Queue()

        def pump():
            for raw in iter(proc.stdout.readline, b""):
                q.put(raw.decode("utf-8", "replace"))
            proc.stdout.close()
            q.put(None)

        threading.Thread(target=pump, daemon=True).start()
        deadline = time.monotonic() + limit
        exited_at = None
        while True:
            try:
                line = q.get(timeout=0.2)
            except queue.Empty:
                now = time.monotonic()
                if now > deadline:
                    lines.append(f"(winebed: the driver ran past {limit} s; killed)\n")
                    return
                if proc.poll() is not None:
                    exited_at = exited_at or now
                    if now - exited_at > 5:
                        return
                continue
            if line is None:
                return
            lines.append(line)
            self._take_line(line.rstrip("\r\n"), run_dir, result)
            if result.driver_status is not None:
                return

    def _take_line(self, line, run_dir, result):
        word, _, rest = line.partition(" ")
        if word == "START":
            result.pid = int(rest)
        elif word == "BOX":
            result.boxes.append(json.loads(rest))
        elif word == "UNEXPECTED":
            number = int(rest)
            result.unexpected += [b for b in result.boxes if b["window"] == number][:1]
        elif word == "SNAP":
            result.snapshots[rest] = self._snapshot(rest, run_dir)
        elif word == "ERROR":
            result.errors.append(rest)
        elif word == "UNUSED":
            result.unused = int(rest)
        elif word == "TIMEOUT":
            result.timed_out = True
        elif word == "EXIT":
            result.exit_code = int(rest)
        elif word == "ELAPSED":
            result.elapsed_ms = int(rest)
        elif word == "CREATED":
            result.created_ms = int(rest)
        elif word == "SEEN":
            result.seen_ms.append(int(rest.split()[1]))
        elif word == "END":
            result.driver_status = int(rest)

    def _snapshot(self, name, run_dir):
        folder = Path(os.environ.get("E2E_ARTIFACTS") or self.root / "snaps")
        folder.mkdir(parents=True, exist_ok=True)
        target = folder / f"{name}.png"
        try:
            subprocess.run(
                ["import", "-display", self.display, "-window", "root", str(target)],
                stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL,
                timeout=20,
            )
        except (subprocess.TimeoutExpired, OSError):
            target = None
        (run_dir / f"{name}.done").touch()
        return target


def detection_rule(package_set):
    """The detection rule scripts/release hands to Intune for a fixture package set."""
    sys.path.insert(0, str(REPO / "scripts"))
    import agent_files

    folder = fixture_packages_dir() / package_set
    # The packages Setup.exe installs, as the release takes them: from the distribution check's report.
    report = subprocess.run(["bash", str(REPO / "scripts" / "distcheck"), str(folder)], capture_output=True,
                            text=True).stdout
    with tempfile.NamedTemporaryFile("w", suffix=".txt", encoding="utf-8") as file:
        file.write(report)
        file.flush()
        release = agent_files.read_release(agent_files.packages_in(folder), agent_files.installed_packages(file.name))
    [rule] = agent_files.intune_app(release)["rules"]
    return rule


def squash_guid(guid):
    """A braced GUID as Windows Installer writes it into registry key names (the "packed" form)."""
    g = guid.strip("{}").replace("-", "").upper()
    swapped = "".join(g[i + 1] + g[i] for i in range(16, 32, 2))
    return g[7::-1] + g[11:7:-1] + g[15:11:-1] + swapped


def unsquash_guid(packed):
    g = packed.upper()
    plain = g[7::-1] + g[11:7:-1] + g[15:11:-1] + "".join(g[i + 1] + g[i] for i in range(16, 32, 2))
    return "{%s-%s-%s-%s-%s}" % (plain[:8], plain[8:12], plain[12:16], plain[16:20], plain[20:])


def msi_log_properties(path, encoding="cp1251"):
    """The property dump at the end of a verbose Windows Installer log ("Property(S): NAME = value"):
    what the installer received and worked with. Wine writes the log in the ANSI code page of the
    locale it ran under (1251 for ru_RU), and the dump may come more than once; the last one counts."""
    text = Path(path).read_bytes().decode(encoding, "replace")
    properties = {}
    for line in text.splitlines():
        m = re.match(r"^Property\(S\): (\S+) = (.*)$", line.rstrip("\r"))
        if m:
            properties[m.group(1)] = m.group(2)
    return properties


def parse_window_calls(trace, pid):
    """The names of the window-making functions (WINDOW_FUNCTIONS) that one process called, in order."""
    calls = []
    for line in trace.splitlines():
        m = re.match(r"^([0-9a-f]+):[0-9a-f]+:Call user32\.(\w+)\(", line)
        if m and int(m.group(1), 16) == pid and m.group(2) in WINDOW_FUNCTIONS:
            calls.append(m.group(2))
    return calls


_CALL = re.compile(r"^([0-9a-f]+):([0-9a-f]+):Call user32\.(MessageBox\w*)\((.*)\) ret=([0-9a-f]+)$")
_RET = re.compile(r"^([0-9a-f]+):([0-9a-f]+):Ret  user32\.(MessageBox\w*)\(\) retval=([0-9a-f]+) ret=([0-9a-f]+)$")
_ARG = re.compile(r'([0-9a-f]+)(?: L?"((?:[^"\\]|\\.)*)"(\.\.\.)?)?(?:,|$)')


def _unescape_wine_string(text):
    # Wine's debugstr: \n \r \t \" \\ and \XXXX (four hex digits) for anything else non-printable.
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            simple = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}
            if n in simple:
                out.append(simple[n])
                i += 2
                continue
            if n == "x" and re.match(r"[0-9a-fA-F]{2}", text[i + 2 : i + 4]):
                out.append(chr(int(text[i + 2 : i + 4], 16)))
                i += 4
                continue
            if re.match(r"[0-9a-fA-F]{4}", text[i + 1 : i + 5]):
                out.append(chr(int(text[i + 1 : i + 5], 16)))
                i += 5
                continue
        out.append(c)
        i += 1
    return "".join(out)


def _parse_args(text):
    args, pos = [], 0
    while pos < len(text):
        m = _ARG.match(text, pos)
        if not m:
            return None
        value = int(m.group(1), 16)
        string = _unescape_wine_string(m.group(2)) if m.group(2) is not None else None
        args.append((value, string, bool(m.group(3))))
        pos = m.end()
    return args


def parse_message_box_calls(trace, pid=None):
    """The message box calls in a Wine relay trace (WINEDEBUG=+pid,+relay), of one process if pid
    is given. Each call: function, owner, text, caption (None when the pointer was NULL; Wine cuts
    long strings, then *_truncated is True), style (the uType argument), result (None if the call
    never returned), tid."""
    calls, open_calls = [], {}
    for line in trace.splitlines():
        m = _CALL.match(line)
        if m:
            if pid is not None and int(m.group(1), 16) != pid:
                continue
            args = _parse_args(m.group(4)) or []
            call = {"function": m.group(3), "tid": int(m.group(2), 16), "raw": line, "result": None}
            if m.group(3).startswith("MessageBoxIndirect"):
                call.update(params=args[0][0] if args else None)
            elif len(args) >= 4:
                call.update(
                    owner=args[0][0],
                    text=args[1][1] if args[1][0] else None,
                    text_truncated=args[1][2],
                    caption=args[2][1] if args[2][0] else None,
                    caption_truncated=args[2][2],
                    style=args[3][0],
                )
            calls.append(call)
            open_calls.setdefault(call["tid"], []).append(call)
            continue
        m = _RET.match(line)
        if m and (pid is None or int(m.group(1), 16) == pid):
            stack = open_calls.get(int(m.group(2), 16))
            if stack:
                stack.pop()["result"] = int(m.group(4), 16)
    return calls


if __name__ == "__main__" and sys.argv[1:2] == ["--watchdog"]:
    _watchdog(sys.argv[2], sys.argv[3], sys.argv[4] == "1")
elif __name__ == "__main__" and sys.argv[1:2] == ["--probe"]:
    sys.exit(_record_host(sys.argv[2]))
