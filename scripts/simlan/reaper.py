"""What an interrupted run left behind, found and ended by the next one.

Every process the harness starts carries a tag in its environment:
WINEPREFIX=PREFIX for Wine and for an Xvfb that serves one prefix, or
RIVELO_HARNESS_OWNER=PID:START for an Xvfb owned by one harness process.
A temporary prefix has the same owner token in PREFIX.owner beside it, a
simulated LAN in simlan.sh's record of it. A run that is killed
(SIGKILL, a lost terminal) cannot clean up, so each start reaps first: it ends
the processes of a prefix before it uses the prefix, and everything whose
owner is no longer alive. Only Wine's own programs and Xvfb are ever signalled.
"""

import os
import shutil
import signal
import subprocess
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
WINESERVER = "/usr/lib/wine/wineserver"
OWNER = "RIVELO_HARNESS_OWNER"


def harness_dir():
    """Where prefixes live: $RIVELO_HARNESS_DIR, else build/harness in the repository."""
    path = Path(os.environ.get("RIVELO_HARNESS_DIR", REPO / "build" / "harness"))
    path.mkdir(parents=True, exist_ok=True)
    return path


def _start_time(pid):
    try:
        return Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[19]
    except (OSError, IndexError):
        return None


def owner_token(pid=None):
    """PID:START of this process: a pid that was reused later does not match."""
    pid = pid or os.getpid()
    return f"{pid}:{_start_time(pid)}"


def owner_file(prefix):
    return Path(f"{prefix}.owner")


def owner_alive(token):
    pid, _, start = token.partition(":")
    return pid.isdigit() and _start_time(int(pid)) == start


def _environ(pid):
    try:
        return Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
    except OSError:
        return []


def _ours(pid, display=True):
    """Wine's programs and Xvfb: the only processes the harness starts and ends."""
    try:
        exe = os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return False
    return exe.startswith("/usr/lib/wine/") or (display and os.path.basename(exe) == "Xvfb")


def _pids(predicate, display=True):
    return [int(entry) for entry in os.listdir("/proc")
            if entry.isdigit() and int(entry) != os.getpid() and predicate(_environ(entry))
            and _ours(entry, display)]


def prefix_pids(prefix, display=True):
    """Ids of Wine's programs (and, with `display`, Xvfbs) that run with WINEPREFIX=prefix."""
    wanted = f"WINEPREFIX={prefix}".encode()
    return _pids(lambda env: wanted in env, display)


def _end(find, grace=5):
    """Sends SIGTERM to what find() returns until nothing is left; SIGKILL after `grace` s."""
    deadline = time.monotonic() + grace
    while True:
        pids = find()
        if not pids:
            return
        sig = signal.SIGKILL if time.monotonic() > deadline else signal.SIGTERM
        for pid in pids:
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
        time.sleep(0.1)


def clear_prefix(prefix, timeout=20, display=True):
    """Ends the prefix's wineserver, every Wine program of it and, with `display`, the Xvfb
    started for it."""
    if Path(prefix).is_dir():
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "WINEPREFIX": str(prefix), "WINEDEBUG": "-all"}
        for flag in ("-k", "-w"):
            try:
                # -k only signals a running server; it never starts one.
                subprocess.run([WINESERVER, flag], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=timeout)
            except subprocess.TimeoutExpired:
                pass
    _end(lambda: prefix_pids(prefix, display))


def reap_orphans():
    """Ends the Xvfbs and clears the temporary prefixes of harness processes that are gone."""
    def orphaned(env):
        tags = [item.split(b"=", 1)[1].decode() for item in env if item.startswith(OWNER.encode() + b"=")]
        return bool(tags) and not owner_alive(tags[0])
    _end(lambda: _pids(orphaned))
    for owner in harness_dir().glob("wine-*.owner"):
        if not owner_alive(owner.read_text().strip()):
            prefix = owner.with_suffix("")
            clear_prefix(prefix)
            shutil.rmtree(prefix, ignore_errors=True)
            owner.unlink(missing_ok=True)
