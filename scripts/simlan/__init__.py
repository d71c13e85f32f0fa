"""Simulated LANs and Wine runs for every test or demo that reaches the network code.

Nothing here ever sends traffic to a real network: Windows programs run in a
network namespace whose only link leads to a second namespace holding the
simulated hosts, and isolation is proven before each start. Needs root,
iproute2, Wine (/usr/lib/wine/wine64), Xvfb, ImageMagick and x11-utils
(scripts/install-deps.sh installs them). Standard library only.

    from simlan import SimulatedLan, WineRunner, XDisplay, screenshot

    with SimulatedLan(hosts=[1, 7, 200]) as lan:
        lan.self_address              # "10.77.X.23" (SELF_HOST); lan.host_addresses, lan.address(7)
        lan.namespace                 # "NAME-a", where the program runs
        lan.run(["fping", lan.address(7)])   # any command inside NAME-a, after the check
        with WineRunner(lan, dpi=144) as wine:
            result = wine.run("build/windows/bin/rivelo.exe", ["--scan"], timeout=60)
            result.returncode, result.stdout, result.stderr, result.timed_out

SimulatedLan(hosts=HOSTS, self_host=SELF_HOST, labels=None, tag="rv")
    Context manager. Picks a free name (TAGn) and /24 (10.77.n), creates the
    two namespaces with scripts/simlan.sh, checks isolation and raises
    IsolationError if it is not proven. Leaving it, also by exception, Ctrl-C
    or SIGTERM, removes both namespaces, the veth pair, /etc/netns/NAME-a and
    stops the wineserver of every prefix registered with add_wineprefix().
    labels maps host numbers to names written into the namespace's hosts file.
    check(), run(argv, **kw), popen(argv, **kw), pids() (processes still
    inside), close().
SELF_HOST, HOSTS, DEMO_HOSTS
    The LANs' defaults, kept only here: this machine's host number (23), the
    answering hosts (.1, .7, .200) and the demo's home LAN (number: label).

WineRunner(lan, display=None, dpi=None, root=None, reuse=None)
    Context manager owning a fresh WINEPREFIX under $RIVELO_HARNESS_DIR
    (default build/harness), booted inside lan.namespace (boot_seconds says how
    long it took; about 5 to 12 s), or with reuse=NAME the prefix
    $RIVELO_HARNESS_DIR/NAME, booted once and kept (one holder at a time).
    display: an XDisplay, a name such as ":0", or None for a private Xvfb.
    dpi sets LogPixels. run(exe, args, timeout,
    cwd, env) -> WineResult(returncode, stdout, stderr, timed_out) and
    stops the prefix's wineserver afterwards; start(...) returns a Popen for
    callers that follow a run as it goes. close() leaves no process of the
    prefix behind and deletes the prefix.

XDisplay(width, height, depth)
    A private Xvfb on a free display number; .name is ":N".
find_window(display, title, timeout), screenshot(display, path, window=None),
screenshot_when_drawn(display, path, window=None, timeout=30) (retries while blank),
colour_count(path)

Every start first ends what an interrupted run left (reaper.py): the
processes of the prefix it is about to use, and the Xvfbs, temporary prefixes
and LANs of harness processes that are gone. ctest starts and stops its own
prefix with the same code: python3 -m simlan start|stop PREFIX.

scripts/simlan.sh is the same machinery for shell use (up, check, exec, down,
pick, list); see its header.
"""

# The package's face: what it exports is what it imports here.
from .display import DisplayError, XDisplay, colour_count, find_window, screenshot, screenshot_when_drawn  # noqa: F401
from .reaper import harness_dir, prefix_pids  # noqa: F401
from .simlan import DEMO_HOSTS, HOSTS, SELF_HOST, IsolationError, SimlanError, SimulatedLan, open_lans  # noqa: F401
from .wine import WINE, WineError, WineResult, WineRunner  # noqa: F401
