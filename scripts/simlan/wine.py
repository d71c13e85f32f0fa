"""Wine runs inside a simulated LAN, each with a fresh prefix of its own."""

import os
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

from .display import XDisplay
from .simlan import REPO

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
# Mono and Gecko would be offered for download on the first start; the menu
# builder would write desktop entries outside the prefix.
DLL_OVERRIDES = "mscoree,mshtml,winemenubuilder.exe=d"


class WineError(RuntimeError):
    pass


@dataclass
class WineResult:
    returncode: int
    stdout: str
    stderr: str
    timed_out: bool
    seconds: float


def harness_dir():
    """Where prefixes live: $RIVELO_HARNESS_DIR, else build/harness in the repository."""
    path = Path(os.environ.get("RIVELO_HARNESS_DIR", REPO / "build" / "harness"))
    path.mkdir(parents=True, exist_ok=True)
    return path


def prefix_pids(prefix):
    """Ids of every process on the machine that runs with WINEPREFIX=prefix."""
    wanted = f"WINEPREFIX={prefix}".encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if wanted in f.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            continue
    return found


class WineRunner:
    """Runs Windows executables under Wine inside `lan` (an open SimulatedLan).

    The prefix is created fresh in __enter__ and booted inside the LAN's
    namespace, so Wine's network service sees only the simulated LAN; it is
    used by nothing else and deleted in close(). Every start re-checks the
    LAN's isolation first and refuses to run when it is not proven.

    display: an XDisplay or a display name such as ":0"; None starts a private
    Xvfb owned by this runner.
    dpi: when set, written to HKCU\\Control Panel\\Desktop\\LogPixels before the
    first run (it applies from the next wineserver start on).
    """

    def __init__(self, lan, display=None, dpi=None, root=None):
        self.lan = lan
        self.dpi = dpi
        self.root = Path(root) if root else None
        self.prefix = None
        self.boot_seconds = None
        self._display_arg = display
        self._own_display = None
        self.display = None

    def __enter__(self):
        try:
            self.open()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def open(self):
        if isinstance(self._display_arg, XDisplay):
            self.display = self._display_arg.name
        elif self._display_arg:
            self.display = str(self._display_arg)
        else:
            self._own_display = XDisplay().__enter__()
            self.display = self._own_display.name
        self.prefix = Path(tempfile.mkdtemp(prefix=f"wine-{self.lan.name}-", dir=self.root or harness_dir()))
        self.lan.add_wineprefix(self.prefix)
        started = time.monotonic()
        boot = self.lan.run([WINE, "wineboot", "-i"], env=self.env(), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        if boot.returncode != 0:
            raise WineError(f"wineboot failed in {self.prefix} (exit {boot.returncode})")
        if self.dpi is not None:
            self.set_dpi(self.dpi)
        self.stop_server()
        self.boot_seconds = time.monotonic() - started

    def env(self, extra=None):
        env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
        env.update(WINEPREFIX=str(self.prefix), WINEDEBUG="-all", WINEDLLOVERRIDES=DLL_OVERRIDES)
        if self.display:
            env["DISPLAY"] = self.display
        else:
            env.pop("DISPLAY", None)
        env.update(extra or {})
        return env

    def set_dpi(self, dpi):
        result = self.lan.run([WINE, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                               "/t", "REG_DWORD", "/d", str(int(dpi)), "/f"],
                              env=self.env(), stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        if result.returncode != 0:
            raise WineError(f"setting LogPixels failed: {result.stderr.decode(errors='replace').strip()}")
        self.stop_server()

    def start(self, exe, args=(), cwd=None, env=None, stdout=None, stderr=None):
        """Starts `exe` under Wine inside the LAN; returns the Popen (its pid is the Windows process)."""
        if self.prefix is None:
            raise WineError("the WineRunner is not open")
        return self.lan.popen([WINE, str(exe), *[str(a) for a in args]], cwd=cwd, env=self.env(env),
                              stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr)

    def run(self, exe, args=(), timeout=60, cwd=None, env=None, stop_server=True):
        """Runs `exe` to its end (or kills it after `timeout` s) and stops the wineserver.

        Output goes through files, not pipes: Wine's helper processes inherit
        the standard handles and could hold a pipe open long after the program.
        """
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            started = time.monotonic()
            process = self.start(exe, args, cwd=cwd, env=env, stdout=out, stderr=err)
            timed_out = False
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                timed_out = True
                process.kill()
                process.wait()
            except BaseException:
                process.kill()
                process.wait()
                raise
            finally:
                if stop_server:
                    self.stop_server()
            seconds = time.monotonic() - started
            out.seek(0)
            err.seek(0)
            return WineResult(process.returncode, out.read().decode(errors="replace"),
                              err.read().decode(errors="replace"), timed_out, seconds)

    def stop_server(self, timeout=20):
        """Ends the prefix's wineserver and every Wine process of the prefix."""
        if self.prefix is None:
            return
        env = self.env()
        subprocess.run([WINESERVER, "-k"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
        try:
            subprocess.run([WINESERVER, "-w"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
        except subprocess.TimeoutExpired:
            pass
        self._kill_leftovers()

    def _kill_leftovers(self):
        deadline = time.monotonic() + 5
        sig = signal.SIGTERM
        while True:
            pids = prefix_pids(self.prefix)
            if not pids:
                return
            if time.monotonic() > deadline:
                sig = signal.SIGKILL
            for pid in pids:
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            time.sleep(0.1)

    def close(self):
        try:
            if self.prefix is not None:
                self.stop_server()
                shutil.rmtree(self.prefix, ignore_errors=True)
                self.prefix = None
        finally:
            if self._own_display is not None:
                self._own_display.close()
                self._own_display = None
