"""X displays for Wine: a private Xvfb, screenshots, blank-image detection."""

import os
import re
import subprocess
import time


from .reaper import OWNER, owner_token, reap_orphans


class DisplayError(RuntimeError):
    pass


class XDisplay:
    """A private Xvfb on a display number the server picks itself (-displayfd).

    Owned by whoever enters it; leaving stops the server, and if the owner is
    killed first, the next harness start does (reaper.py). With `wineprefix`
    it belongs to that prefix instead and goes when the prefix is cleared, so
    it may outlive the process that started it (ctest's). Local clients only:
    -nolisten tcp, and the socket file in /tmp/.X11-unix is reachable from any
    network namespace.
    """

    def __init__(self, width=1280, height=1024, depth=24, wineprefix=None):
        self.geometry = f"{width}x{height}x{depth}"
        self.wineprefix = wineprefix
        self.process = None
        self.name = None

    def __enter__(self):
        reap_orphans()
        # The tag in its environment is how a later run finds it if this one is
        # killed: the prefix it serves, or else the process that owns it.
        tag = {"WINEPREFIX": str(self.wineprefix)} if self.wineprefix else {OWNER: owner_token()}
        read_end, write_end = os.pipe()
        with os.fdopen(read_end) as pipe:
            try:
                self.process = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0", self.geometry],
                    pass_fds=(write_end,), stdin=subprocess.DEVNULL, env={**os.environ, **tag},
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
            except FileNotFoundError:
                raise DisplayError("Xvfb is missing (Debian package xvfb; run scripts/install-deps.sh)")
            finally:
                # Only Xvfb may hold the write end, so that the read ends if it dies.
                os.close(write_end)
            number = pipe.readline().strip()
        if not number.isdigit():
            self.close()
            raise DisplayError("Xvfb did not start (no display number reported)")
        self.name = f":{number}"
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        if self.process is not None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None


def find_window(display, title, timeout=0):
    """The X id of a top-level window named `title`, or None; polls up to `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        out = subprocess.run(["xwininfo", "-display", display, "-root", "-tree"],
                             capture_output=True, text=True).stdout
        for line in out.splitlines():
            match = re.match(r'\s*(0x[0-9a-f]+) "([^"]*)"', line)
            if match and match.group(2) == title:
                return match.group(1)
        if time.monotonic() >= deadline:
            return None
        time.sleep(0.2)


def screenshot(display, path, window=None):
    """Saves the root window, or the X window `window` (an id), as a PNG."""
    target = window or "root"
    result = subprocess.run(["import", "-display", display, "-window", target, str(path)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise DisplayError(f"screenshot of {target} on {display} failed: {result.stderr.strip()}")
    return path


def screenshot_when_drawn(display, path, window=None, timeout=30):
    """Like screenshot, but retries until the image is not blank (windows paint late)."""
    deadline = time.monotonic() + timeout
    while True:
        screenshot(display, path, window)
        if colour_count(path) > 1 or time.monotonic() >= deadline:
            return path
        time.sleep(0.3)


def colour_count(path):
    """Number of distinct colours in an image (1 for a blank one)."""
    out = subprocess.run(["identify", "-format", "%k", str(path)],
                         capture_output=True, text=True, check=True).stdout
    return int(out.strip())
