"""Wine runs inside a simulated LAN, each with a fresh prefix of its own."""

import fcntl
import os
import shutil
import subprocess
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

from .display import XDisplay
from .reaper import WINESERVER, clear_prefix, harness_dir, owner_file, owner_token, reap_orphans

WINE = "/usr/lib/wine/wine64"
BOOTED = ".rivelo-booted"
# Mono and Gecko would be offered for download on the first start; the menu
# builder would write desktop entries outside the prefix.
DLL_OVERRIDES = "mscoree,mshtml,winemenubuilder.exe=d"
# How Wine's set-up steps run: silent, and never for ever.
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)


class WineError(RuntimeError):
    pass


@dataclass
class WineResult:
    returncode: int
    stdout: str
    stderr: str
    timed_out: bool


def boot(prefix, run, dpi=None, display=None):
    """Makes `prefix` a booted Wine prefix with run(argv, **kwargs), subprocess.run or alike.

    A prefix whose boot never finished (no BOOTED file) is deleted and booted
    again; a failed boot deletes it, so the next start begins afresh.
    """
    prefix = Path(prefix)
    booted = f"dpi {dpi}\n"
    if (prefix / BOOTED).is_file() and (prefix / BOOTED).read_text() == booted:
        return
    shutil.rmtree(prefix, ignore_errors=True)
    prefix.mkdir(parents=True)
    try:
        steps = [[WINE, "wineboot", "-i"]]
        if dpi is not None:
            steps.append([WINE, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                          "/d", str(int(dpi)), "/f"])
        for argv in steps:
            result = run(argv, env=wine_env(prefix, display), **QUIET)
            if result.returncode != 0:
                raise WineError(f"{' '.join(argv[1:3])} failed in {prefix} (exit {result.returncode})")
        # LogPixels applies from the next wineserver start on.
        clear_prefix(prefix, display=False)
        (prefix / BOOTED).write_text(booted)
    except BaseException:
        clear_prefix(prefix, display=False)
        shutil.rmtree(prefix, ignore_errors=True)
        raise


def wine_env(prefix, display=None, extra=None):
    env = {k: v for k, v in os.environ.items() if not k.startswith("WINE") and k != "DISPLAY"}
    env.update(WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES=DLL_OVERRIDES)
    if display:
        env["DISPLAY"] = display
    env.update(extra or {})
    return env


class WineRunner:
    """Runs Windows executables under Wine inside `lan` (an open SimulatedLan).

    The prefix is booted inside the LAN's namespace, so Wine's network service
    sees only the simulated LAN, and its wineserver is stopped after each run.
    By default it is created fresh in __enter__ and deleted in close(). With
    `reuse` (a name) it is harness_dir()/reuse, booted once and kept between
    runs and LANs; one runner at a time holds it (a lock), and each holder
    first ends whatever an interrupted holder left in it. Every start
    re-checks the LAN's isolation, and that no wineserver serves the prefix
    from outside the LAN, and refuses to run otherwise.

    display: an XDisplay or a display name such as ":0"; None starts a private
    Xvfb owned by this runner.
    dpi: written to HKCU\\Control Panel\\Desktop\\LogPixels when the prefix is
    booted.
    """

    def __init__(self, lan, display=None, dpi=None, root=None, reuse=None):
        self.lan = lan
        self.dpi = dpi
        self.root = Path(root) if root else None
        self.reuse = reuse
        self.prefix = None
        self.boot_seconds = None
        self._display_arg = display
        self._own_display = None
        self._lock = None
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
        display = self._display_arg
        if not display:
            display = self._own_display = XDisplay().__enter__()
        self.display = display.name if isinstance(display, XDisplay) else str(display)
        root = self.root or harness_dir()
        reap_orphans()
        if self.reuse:
            self._lock = open(root / f"{self.reuse}.lock", "w")
            fcntl.flock(self._lock, fcntl.LOCK_EX)
            self.prefix = root / self.reuse
            clear_prefix(self.prefix)
        else:
            self.prefix = Path(tempfile.mkdtemp(prefix=f"wine-{self.lan.name}-", dir=root))
            owner_file(self.prefix).write_text(owner_token())
        self.lan.add_wineprefix(self.prefix)
        started = time.monotonic()
        boot(self.prefix, self.lan.run, self.dpi, self.display)
        self.boot_seconds = time.monotonic() - started

    def env(self, extra=None):
        return wine_env(self.prefix, self.display, extra)

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
            process = self.start(exe, args, cwd=cwd, env=env, stdout=out, stderr=err)
            timed_out = False
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                timed_out = True
            finally:
                if process.returncode is None:
                    process.kill()
                    process.wait()
                if stop_server:
                    self.stop_server()
            out.seek(0)
            err.seek(0)
            return WineResult(process.returncode, out.read().decode(errors="replace"),
                              err.read().decode(errors="replace"), timed_out)

    def stop_server(self):
        """Ends the prefix's wineserver and every Wine process of the prefix."""
        if self.prefix is not None:
            clear_prefix(self.prefix, display=False)

    def close(self):
        try:
            if self.prefix is not None:
                self.stop_server()
                if not self.reuse:
                    shutil.rmtree(self.prefix, ignore_errors=True)
                    owner_file(self.prefix).unlink(missing_ok=True)
                self.prefix = None
        finally:
            if self._lock is not None:
                self._lock.close()
                self._lock = None
            if self._own_display is not None:
                self._own_display.close()
                self._own_display = None


def start_for_tests(prefix):
    """ctest's fixture: a booted `prefix` with a persistent wineserver, outside any LAN.

    The unit tests reach no network code: they link the fake network platform.
    Whatever an interrupted run left in the prefix is ended first; without
    DISPLAY the prefix gets an Xvfb of its own (its number in PREFIX/xvfb.display,
    which cmake/wine-run.sh reads). Everything started is detached from our
    output, since ctest waits for every holder of a test's output pipe. A
    start that fails leaves nothing running.
    """
    prefix = Path(prefix)
    stop_for_tests(prefix)
    try:
        display = os.environ.get("DISPLAY")
        if not display:
            # The screen fits a 700 x 600 window scaled to 200 %.
            display = XDisplay(2560, 1600, wineprefix=prefix).__enter__().name
        boot(prefix, subprocess.run, display=display)
        for argv in ([WINESERVER, "-p"], [WINE, "wineboot"]):
            if subprocess.run(argv, env=wine_env(prefix, display), **QUIET).returncode != 0:
                raise WineError(f"{' '.join(argv)} failed in {prefix}")
        if not os.environ.get("DISPLAY"):
            (prefix / "xvfb.display").write_text(display.lstrip(":"))
    except BaseException:
        stop_for_tests(prefix)
        raise


def stop_for_tests(prefix):
    clear_prefix(prefix)
    Path(prefix, "xvfb.display").unlink(missing_ok=True)
