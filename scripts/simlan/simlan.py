"""Simulated LANs: a Python face for scripts/simlan.sh (see the package docstring)."""

import atexit
import os
import signal
import subprocess
import threading
from pathlib import Path

from .reaper import REPO, owner_alive, owner_token

SIMLAN = REPO / "scripts" / "simlan.sh"
STATE_DIR = Path(os.environ.get("RIVELO_SIMLAN_STATE", "/run/rivelo-simlan"))

# The defaults of every simulated LAN, kept here only: the host number of the
# machine under test, the hosts that answer, and the demo's LAN, the one a
# person would expect at home (number: label).
SELF_HOST = 23
HOSTS = (1, 7, 200)
DEMO_HOSTS = {1: "gateway", 20: "printer", 42: "nas", 77: "phone", 150: "laptop", 254: "edge"}

# Exit codes of simlan.sh.
TAKEN = 3
NOT_ISOLATED = 4


class SimlanError(RuntimeError):
    """A simulated LAN could not be made or removed."""


class IsolationError(SimlanError):
    """The namespace is not proven to be closed; nothing may run in it."""


def _simlan(*args):
    result = subprocess.run([str(SIMLAN), *args], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True)
    if result.returncode != 0:
        message = result.stderr.strip() or f"simlan.sh {args[0]} exited with {result.returncode}"
        raise (IsolationError if result.returncode == NOT_ISOLATED else SimlanError)(message)
    return result


def _simlan_to_the_end(*args):
    """Runs simlan.sh to its end even through Ctrl-C or SIGTERM, since an interrupted up or down would
    leave half a LAN; returns (exit code, stderr, the interruption or None)."""
    proc = subprocess.Popen([str(SIMLAN), *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    interrupted = None
    while True:
        try:
            _, err = proc.communicate()
            return proc.returncode, err, interrupted
        except BaseException as exc:
            interrupted = exc


class _Cleanup:
    """Removes every LAN still open when the interpreter exits or is told to stop.

    SIGTERM would otherwise end Python without running any `with` exit; turning
    it into SystemExit lets the context managers clean up as on Ctrl-C.
    """

    def __init__(self):
        self._lock = threading.Lock()
        self._open = {}
        self._previous_term = None
        atexit.register(self.close_all)

    def add(self, lan):
        with self._lock:
            self._open[id(lan)] = lan
            if len(self._open) == 1 and threading.current_thread() is threading.main_thread():
                self._previous_term = signal.signal(signal.SIGTERM, self._on_term)

    def remove(self, lan):
        with self._lock:
            self._open.pop(id(lan), None)
            if not self._open and self._previous_term is not None:
                if threading.current_thread() is threading.main_thread():
                    signal.signal(signal.SIGTERM, self._previous_term)
                self._previous_term = None

    def close_all(self):
        with self._lock:
            lans = list(self._open.values())
        for lan in lans:
            lan.close()

    @staticmethod
    def _on_term(signum, frame):
        raise SystemExit(128 + signum)


_cleanup = _Cleanup()


class SimulatedLan:
    """Two namespaces: NAME-a for the program under test, NAME-b answering as `hosts`.

    Use as a context manager; leaving it (normally, by exception, Ctrl-C or
    SIGTERM) removes both namespaces, the veth pair and the hosts file, and
    stops the wineservers of prefixes registered with `add_wineprefix`.
    """

    def __init__(self, hosts=HOSTS, self_host=SELF_HOST, labels=None, tag="rv"):
        self.hosts = sorted(set(int(h) for h in hosts))
        self.self_host = int(self_host)
        self.labels = dict(labels or {})
        self.tag = tag
        self.name = None
        self.prefix = None
        self._wineprefixes = []

    # Addresses and names -------------------------------------------------
    @property
    def namespace(self):
        """Where the program under test runs."""
        return f"{self.name}-a"

    @property
    def lan_namespace(self):
        """Where the simulated hosts answer."""
        return f"{self.name}-b"

    def address(self, host):
        return f"{self.prefix}.{int(host)}"

    @property
    def self_address(self):
        return self.address(self.self_host)

    @property
    def host_addresses(self):
        return [self.address(h) for h in self.hosts]

    @property
    def hosts_file(self):
        return Path("/etc/netns") / self.namespace / "hosts"

    @property
    def marker(self):
        """The LAN's token, which simlan.sh exec sets as RIVELO_SIMULATED_LAN (check proves that the
        hosts file holds the same)."""
        return (STATE_DIR / self.name / "token").read_text().strip()

    # Life cycle ----------------------------------------------------------
    def __enter__(self):
        self.open()
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def open(self):
        if self.name is not None:
            raise SimlanError("this SimulatedLan is already open")
        host_args = [f"{h}={self.labels[h]}" if h in self.labels else str(h) for h in self.hosts]
        _remove_orphans()
        for _ in range(32):
            name, prefix = _simlan("pick", self.tag).stdout.split()
            # Wait for `up` even when interrupted: it cleans up after itself on
            # failure, and only a finished, successful `up` makes the LAN ours.
            code, err, interrupted = _simlan_to_the_end("up", name, prefix, str(self.self_host), *host_args)
            if code == 0:
                self.name, self.prefix = name, prefix
                (STATE_DIR / name / "owner").write_text(owner_token())
                _cleanup.add(self)
                try:
                    if interrupted is not None:
                        raise interrupted
                    self.check()
                except BaseException:
                    self.close()
                    raise
                return self
            if interrupted is not None:
                raise interrupted
            if code != TAKEN:
                raise SimlanError(err.strip() or f"simlan.sh up exited with {code}")
        raise SimlanError("no free simulated LAN slot after 32 attempts")

    def close(self):
        """Removes everything; safe to call twice and after a failed open."""
        if self.name is None:
            return
        code, err, interrupted = _simlan_to_the_end("down", self.name, *self._wineprefixes)
        _cleanup.remove(self)
        self.name = None
        if interrupted is not None:
            raise interrupted
        if code != 0:
            raise SimlanError(err.strip() or f"simlan.sh down exited with {code}")

    # Use -----------------------------------------------------------------
    def check(self, wineprefix=None):
        """Raises IsolationError unless NAME-a is proven closed and `wineprefix`, if
        given, is not served by a wineserver outside NAME-a (simlan.sh winecheck)."""
        self._require_open()
        _simlan("check", self.name)
        if wineprefix:
            _simlan("winecheck", self.name, str(wineprefix))

    def add_wineprefix(self, path):
        """Records a prefix whose wineserver must be stopped when the LAN goes."""
        self._wineprefixes.append(str(path))

    def run(self, argv, **kwargs):
        """subprocess.run of `argv` inside NAME-a, after the isolation check."""
        return subprocess.run(self._exec(argv, kwargs), **kwargs)

    def popen(self, argv, **kwargs):
        return subprocess.Popen(self._exec(argv, kwargs), **kwargs)

    def _exec(self, argv, kwargs):
        """Checks here, then returns the argv that runs `argv` inside NAME-a after simlan.sh's own check."""
        self.check((kwargs.get("env") or {}).get("WINEPREFIX"))
        return [str(SIMLAN), "exec", self.name, "--", *map(str, argv)]

    def pids(self):
        """Ids of every process still inside either namespace."""
        self._require_open()
        found = []
        for ns in (self.namespace, self.lan_namespace):
            out = subprocess.run(["ip", "netns", "pids", ns], capture_output=True, text=True).stdout
            found += [int(p) for p in out.split()]
        return found

    def _require_open(self):
        if self.name is None:
            raise SimlanError("the simulated LAN is not open")


def _remove_orphans():
    """Removes the LANs that a killed harness process left (LANs made by hand have no owner)."""
    for name in open_lans():
        owner = STATE_DIR / name / "owner"
        if owner.is_file() and not owner_alive(owner.read_text().strip()):
            _simlan("down", name)


def open_lans():
    """Names of every LAN that simlan.sh made and has not removed (any run)."""
    return _simlan("list").stdout.split()


def namespace_exists(ns):
    out = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout
    return ns in [line.split()[0] for line in out.splitlines() if line.strip()]


def link_exists(name):
    return subprocess.run(["ip", "link", "show", "dev", name], capture_output=True).returncode == 0
