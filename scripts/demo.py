"""rivelo discovering a simulated LAN: the body of scripts/demo.sh.

Builds what is missing, makes a simulated LAN of network namespaces, runs
rivelo.exe under Wine inside it with the stand-in engine's scripted Dart side
scanning at the first frame, follows the scan live from the stand-in's
transcript, then prints the answering hosts, saves a screenshot of the window,
closes it and removes everything it made.
"""

import argparse
import contextlib
import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

from simlan import (DisplayError, SimlanError, SimulatedLan, WineError, WineRunner, XDisplay,
                    find_window, screenshot_when_drawn)
from simlan.wine import WINE
import wire_reader

REPO = Path(__file__).resolve().parents[1]

CHANNEL = "com.tarnok.rivelo/scanForPingableDevices"
HOSTS_PER_SCAN = 254
WINDOW_TITLE = "rivelo"

# Exit codes; --help lists them.
EXIT_OK = 0
EXIT_USAGE = 2
EXIT_NOT_ROOT = 10
EXIT_DEPS = 11
EXIT_BUILD = 12
EXIT_LAN = 13
EXIT_WINE = 14
EXIT_RIVELO = 15
EXIT_RESULT = 16
EXIT_SCREENSHOT = 17
EXIT_INTERRUPTED = 130

EXIT_CODES = f"""exit codes:
  {EXIT_OK}    the scan found exactly the simulated hosts and rivelo.exe exited with 0
  {EXIT_USAGE}    bad options
  {EXIT_NOT_ROOT}   not run as root (network namespaces need root)
  {EXIT_DEPS}   installing the Debian packages failed
  {EXIT_BUILD}   building the Windows configuration failed
  {EXIT_LAN}   the simulated LAN could not be made or its isolation not proven
  {EXIT_WINE}   Wine or the X display could not be started
  {EXIT_RIVELO}   rivelo.exe failed: non-zero exit code, no first frame, or no end of the scan in time
  {EXIT_RESULT}   the scan's result differs from the simulated LAN
  {EXIT_SCREENSHOT}   the screenshot could not be taken or is blank
  {EXIT_INTERRUPTED}  interrupted (Ctrl-C); everything made was removed"""

# The LAN a person would expect at home; --hosts N takes the first N and
# fills up with numbered hosts.
NAMED_HOSTS = [(1, "gateway"), (20, "printer"), (42, "nas"), (77, "phone"), (150, "laptop"), (254, "edge")]


class DemoError(Exception):
    def __init__(self, code, message):
        super().__init__(message)
        self.code = code


# --- options --------------------------------------------------------------------

def parse_host_list(text):
    hosts = {}
    for item in text.split(","):
        number, _, label = item.strip().partition("=")
        if not number.isdigit() or not 1 <= int(number) <= 254:
            raise argparse.ArgumentTypeError(f"bad host '{item}': expected a number from 1 to 254, optionally =NAME")
        if label and not re.fullmatch(r"[A-Za-z0-9][A-Za-z0-9.-]*", label):
            raise argparse.ArgumentTypeError(f"bad name in '{item}': letters, digits, '.' and '-' only")
        hosts[int(number)] = label or f"host-{number}"
    return hosts


def hosts_by_count(count, self_host):
    named = [(n, label) for n, label in NAMED_HOSTS if n != self_host]
    hosts = dict(named[:count])
    number = 2
    while len(hosts) < count:
        if number not in hosts and number != self_host and number not in dict(NAMED_HOSTS):
            hosts[number] = f"host-{number}"
        number += 1
    return hosts


def parse_args(argv):
    parser = argparse.ArgumentParser(
        prog="scripts/demo.sh", formatter_class=argparse.RawDescriptionHelpFormatter,
        description="rivelo.exe under Wine discovers a simulated LAN made of network namespaces. "
                    "Nothing is sent to a real network.",
        epilog=EXIT_CODES)
    which = parser.add_mutually_exclusive_group()
    which.add_argument("--hosts", type=int, metavar="N", default=len(NAMED_HOSTS),
                       help=f"number of simulated hosts that answer (default {len(NAMED_HOSTS)}: gateway .1, "
                            "printer .20, nas .42, phone .77, laptop .150, edge .254)")
    which.add_argument("--host-list", type=parse_host_list, metavar="N[=NAME],...",
                       help="explicit answering hosts, e.g. 1=gateway,7,200=nas")
    parser.add_argument("--self", type=int, default=23, dest="self_host", metavar="N",
                        help="host number of the machine rivelo runs on (default 23)")
    parser.add_argument("--scans", type=int, choices=(1, 2), default=1,
                        help="scans in one run; 2 starts two at once (default 1)")
    parser.add_argument("--keep-open", action="store_true",
                        help="with a display, leave the window open until it is closed by hand")
    parser.add_argument("--xvfb", action="store_true", help="use a private Xvfb even when DISPLAY is set")
    parser.add_argument("--screenshot", type=Path, default=REPO / "build" / "demo" / "screenshot.png",
                        metavar="PATH", help="where to write the screenshot PNG (default build/demo/screenshot.png)")
    parser.add_argument("--transcript", type=Path, default=REPO / "build" / "demo" / "transcript.jsonl",
                        metavar="PATH", help="where to write the stand-in's transcript "
                                             "(default build/demo/transcript.jsonl)")
    parser.add_argument("--build-dir", type=Path, default=Path(os.environ.get("RIVELO_WINDOWS_BUILD",
                                                                          REPO / "build" / "windows")),
                        metavar="DIR", help="the Windows build (default build/windows, or $RIVELO_WINDOWS_BUILD)")
    parser.add_argument("--timeout", type=float, default=120, metavar="S",
                        help="give up when the scan has not ended after S seconds (default 120)")
    args = parser.parse_args(argv)
    if not 1 <= args.self_host <= 254:
        parser.error("--self must be from 1 to 254")
    if args.host_list is not None:
        if args.self_host in args.host_list:
            parser.error(f"--host-list contains the self host {args.self_host}")
        args.lan_hosts = args.host_list
    else:
        if not 0 <= args.hosts <= 252:
            parser.error("--hosts must be from 0 to 252")
        args.lan_hosts = hosts_by_count(args.hosts, args.self_host)
    return args


# --- output ---------------------------------------------------------------------

class Console:
    """Progress on one rewritten line when stdout is a terminal, plain lines otherwise."""

    def __init__(self):
        self.tty = sys.stdout.isatty()
        self._bar_shown = False
        self._last_plain = -1

    def line(self, text=""):
        if self._bar_shown:
            sys.stdout.write("\r\033[K")
            self._bar_shown = False
        print(text, flush=True)

    def progress(self, probed, total, answered, seconds):
        if self.tty:
            width = 30
            filled = width * probed // total if total else 0
            sys.stdout.write(f"\r\033[K  [{'#' * filled}{'.' * (width - filled)}] {probed:3}/{total} probed, "
                             f"{answered} answered, {seconds:5.1f} s")
            sys.stdout.flush()
            self._bar_shown = True
        elif probed != self._last_plain and (probed // 50 != self._last_plain // 50 or probed == total):
            self._last_plain = probed
            print(f"  {probed:3}/{total} probed, {answered} answered, {seconds:5.1f} s", flush=True)


# --- the scan as the transcript tells it ------------------------------------------

class ScanFollower:
    """Reads the stand-in's transcript as it grows and tracks the discovery stream."""

    def __init__(self, path, scans):
        self.path = path
        self.scans = scans
        self.offset = 0
        self.partial = b""
        self.first_frame = False
        self.listen_t = None
        self.end_t = None
        self.ends = 0
        self.events = []          # (t, address, success) in arrival order
        self.errors = []
        self.listen_seqs = set()
        self.listen_responses = set()
        self.fatal = None        # why the scan cannot end, when the transcript says so

    def poll(self):
        """Returns the new events since the last call."""
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return []
        self.offset += len(data)
        lines = (self.partial + data).split(b"\n")
        self.partial = lines.pop()
        fresh = []
        for raw in lines:
            if raw.strip():
                fresh += self._take(json.loads(raw))
        return fresh

    def _take(self, record):
        kind = record.get("type")
        if kind == "first_frame":
            self.first_frame = True
        elif kind == "delivered" and record["direction"] == "to_native" and record["seq"] in self.listen_seqs:
            if not record["handled"]:
                self.fatal = "rivelo.exe has no handler on the discovery channel: 'listen' went unanswered"
        elif kind == "response" and record.get("response_id") in self.listen_responses:
            self._listen_answer(bytes.fromhex(record["hex"]))
        elif kind == "message" and record.get("channel") == CHANNEL:
            payload = bytes.fromhex(record["hex"])
            if record["direction"] == "to_native":
                if self.listen_t is None:
                    self.listen_t = record["t"]
                self.listen_seqs.add(record["seq"])
                self.listen_responses.add(record.get("response_id"))
            elif not payload:
                self.ends += 1
                self.end_t = record["t"]
            else:
                return self._event(record["t"], payload)
        return []

    def _listen_answer(self, payload):
        try:
            envelope = wire_reader.decode_envelope(payload)
        except wire_reader.DecodeError:
            self.fatal = f"rivelo.exe answered 'listen' with undecodable bytes {payload.hex()}"
            return
        if isinstance(envelope, wire_reader.Error):
            self.fatal = f"rivelo.exe refused 'listen': {envelope.code} {envelope.message}"

    def _event(self, t, payload):
        try:
            envelope = wire_reader.decode_envelope(payload)
        except wire_reader.DecodeError as error:
            self.errors.append(f"undecodable message on the discovery stream ({error}): {payload.hex()}")
            return []
        if isinstance(envelope, wire_reader.Error):
            self.errors.append(f"error on the discovery stream: {envelope.code} {envelope.message}")
            return []
        event = envelope.result
        if (not isinstance(event, dict) or set(event) != {"ip", "success"}
                or not isinstance(event["ip"], str) or not isinstance(event["success"], bool)):
            self.errors.append(f"unexpected event on the discovery stream: {event!r}")
            return []
        self.events.append((t, event["ip"], event["success"]))
        return [self.events[-1]]

    @property
    def done(self):
        return self.ends >= self.scans

    @property
    def scan_seconds(self):
        if self.listen_t is None or self.end_t is None:
            return None
        return (self.end_t - self.listen_t) / 1000.0

    def per_scan(self):
        """Answering addresses of each scan: the k-th event of an address belongs to scan k."""
        seen = {}
        answered = [set() for _ in range(self.scans)]
        probed = [0] * self.scans
        for _, address, success in self.events:
            k = seen.get(address, 0)
            seen[address] = k + 1
            if k < self.scans:
                probed[k] += 1
                if success:
                    answered[k].add(address)
        return probed, answered, seen


# --- steps ----------------------------------------------------------------------

def find_rivelo(build_dir):
    for folder in (build_dir, build_dir / "bin", build_dir / "shell"):
        if (folder / "rivelo.exe").is_file() and (folder / "flutter_windows.dll").is_file():
            return folder
    return None


def ensure_build(console, build_dir, log_path):
    """The folder with rivelo.exe; the default build tree is brought up to date first."""
    if build_dir.resolve() != (REPO / "build" / "windows").resolve():
        folder = find_rivelo(build_dir)
        if folder is None:
            raise DemoError(EXIT_BUILD, f"no rivelo.exe with flutter_windows.dll under {build_dir}")
        console.line(f"Build: using {folder / 'rivelo.exe'}")
        return folder
    steps = [["cmake", "--build", "--preset", "windows", "--target", "rivelo", "-j", str(os.cpu_count() or 2)]]
    if not (build_dir / "CMakeCache.txt").is_file():
        steps.insert(0, ["cmake", "--preset", "windows"])
        console.line(f"Build: configuring and building the Windows configuration (log: {log_path}); "
                     "the first build takes a few minutes")
    else:
        console.line(f"Build: bringing {build_dir} up to date (log: {log_path})")
    started = time.monotonic()
    log_path.parent.mkdir(parents=True, exist_ok=True)
    with open(log_path, "w") as log:
        for step in steps:
            if subprocess.run(step, cwd=REPO, stdin=subprocess.DEVNULL, stdout=log,
                              stderr=subprocess.STDOUT).returncode != 0:
                tail = "".join(open(log_path).readlines()[-20:])
                raise DemoError(EXIT_BUILD, f"'{' '.join(step)}' failed; the end of {log_path}:\n{tail}")
    folder = find_rivelo(build_dir)
    if folder is None:
        raise DemoError(EXIT_BUILD, f"the build finished but left no rivelo.exe under {build_dir}")
    console.line(f"Build: {folder / 'rivelo.exe'} ready in {time.monotonic() - started:.0f} s")
    return folder


def choose_display(console, args):
    """A usable display name for Wine, or None when a private Xvfb is needed."""
    display = os.environ.get("DISPLAY", "")
    if args.xvfb or not display:
        return None
    if not display.startswith(":"):
        console.line(f"Display: {display} is reached over the network, which the simulated LAN cannot do; "
                     "using a private Xvfb")
        return None
    if subprocess.run(["xdpyinfo", "-display", display], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        console.line(f"Display: cannot open {display} as root (XAUTHORITY?); using a private Xvfb")
        return None
    return display


def windows_path(path):
    """Wine's Z: drive is the Linux root."""
    return "Z:" + str(path.resolve()).replace("/", "\\")


def close_window(wine, lan, process, timeout=30):
    """Asks rivelo to close its window the way a person would (WM_CLOSE); kills it if it will not."""
    lan.run([WINE, "taskkill", "/im", "rivelo.exe"], env=wine.env(), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise DemoError(EXIT_RIVELO, f"rivelo.exe did not end within {timeout} s of WM_CLOSE; killed")


def follow(console, follower, process, timeout, labels):
    total = HOSTS_PER_SCAN * follower.scans
    started = time.monotonic()
    answered = 0
    while not follower.done:
        for t, address, success in follower.poll():
            if success:
                answered += 1
                name = labels.get(address, "")
                since = (t - follower.listen_t) / 1000.0 if follower.listen_t is not None else 0.0
                console.line(f"  + {address:<15} {name:<12} answered {since:4.1f} s into the scan")
        console.progress(len(follower.events), total, answered, time.monotonic() - started)
        if follower.done:
            break
        if follower.fatal:
            raise DemoError(EXIT_RIVELO, follower.fatal)
        if process.poll() is not None:
            raise DemoError(EXIT_RIVELO, f"rivelo.exe ended with exit code {process.returncode} "
                                         "before the scan was over")
        if time.monotonic() - started > timeout:
            what = "no first frame" if not follower.first_frame else "the scan did not end"
            raise DemoError(EXIT_RIVELO, f"{what} within {timeout:.0f} s")
        time.sleep(0.1)
    console.line()


def summary(console, follower, lan, labels, expected):
    probed, answered, seen = follower.per_scan()
    rows = sorted(set().union(*answered), key=lambda a: int(a.rsplit(".", 1)[1]))
    console.line(f"{'address':<15}  {'name':<14}  answered")
    for address in rows:
        marks = " ".join("yes" if address in a else "no" for a in answered)
        console.line(f"{address:<15}  {labels.get(address, ''):<14}  {marks}")
    seconds = follower.scan_seconds
    for k in range(follower.scans):
        which = f"scan {k + 1}: " if follower.scans > 1 else ""
        console.line(f"{which}{len(answered[k])} of {HOSTS_PER_SCAN} hosts answered in {seconds:.1f} s")

    problems = list(follower.errors)
    everyone = {lan.address(n) for n in range(1, HOSTS_PER_SCAN + 1)}
    for address in sorted(everyone - set(seen)):
        problems.append(f"{address} was never probed")
    for address, count in sorted(seen.items()):
        if address not in everyone:
            problems.append(f"{address} is outside the swept range")
        elif count != follower.scans:
            problems.append(f"{address} was probed {count} times, expected {follower.scans}")
    for k in range(follower.scans):
        if answered[k] != expected:
            missing = ", ".join(sorted(expected - answered[k])) or "none"
            extra = ", ".join(sorted(answered[k] - expected)) or "none"
            problems.append(f"scan {k + 1}: missing {missing}; unexpected {extra}")
    return problems


def run_demo(args, console):
    if os.geteuid() != 0:
        raise DemoError(EXIT_NOT_ROOT, "the demo makes network namespaces, which needs root: run it as root")
    folder = ensure_build(console, args.build_dir, REPO / "build" / "demo" / "build.log")
    for path in (args.screenshot, args.transcript):
        path.parent.mkdir(parents=True, exist_ok=True)
    if args.transcript.exists():
        args.transcript.unlink()

    with contextlib.ExitStack() as made:
        hosts = dict(args.lan_hosts)
        try:
            lan = made.enter_context(SimulatedLan(hosts=hosts, self_host=args.self_host, labels=hosts, tag="demo"))
        except SimlanError as error:
            raise DemoError(EXIT_LAN, f"cannot make the simulated LAN: {error}")
        labels = {lan.address(n): name for n, name in hosts.items()}
        labels[lan.self_address] = "this machine"
        console.line(f"LAN: {lan.prefix}.0/24 in namespaces {lan.namespace} (rivelo, {lan.self_address}) and "
                     f"{lan.lan_namespace} ({len(hosts)} answering hosts); isolation checked")
        for number in sorted(hosts):
            console.line(f"     {lan.address(number):<15} {hosts[number]}")

        display = choose_display(console, args)
        try:
            if display is None:
                display = made.enter_context(XDisplay(width=1280, height=1024)).name
                private = True
            else:
                private = False
            console.line("Wine: booting a fresh prefix inside the simulated LAN (the first start takes 5 to 20 s)")
            wine = made.enter_context(WineRunner(lan, display=display))
        except (DisplayError, WineError) as error:
            raise DemoError(EXIT_WINE, str(error))
        console.line(f"Wine: prefix {wine.prefix} ready in {wine.boot_seconds:.1f} s, display {display}"
                     + (" (private Xvfb)" if private else ""))
        # The machine's own address is probed like any other and answers too.
        return run_rivelo(args, console, lan, wine, folder, labels, expected=set(labels),
                          keep_open=args.keep_open and not private)


def run_rivelo(args, console, lan, wine, folder, labels, expected, keep_open):
    rivelo_args = ["--scan" if args.scans == 1 else f"--listens={args.scans}",
                   f"--transcript={windows_path(args.transcript)}"]
    console.line(f"rivelo.exe {' '.join(rivelo_args)}")
    out_path = args.transcript.with_name("rivelo-output.txt")
    started = time.monotonic()
    with open(out_path, "wb") as output:
        process = wine.start(folder / "rivelo.exe", rivelo_args, cwd=folder, stdout=output, stderr=output)
        try:
            follower = ScanFollower(args.transcript, args.scans)
            follow(console, follower, process, args.timeout, labels)
            problems = summary(console, follower, lan, labels, expected)
            shot = take_screenshot(wine, args.screenshot)
            if keep_open:
                console.line("Window left open: close it to finish")
                code = process.wait()
            else:
                code = close_window(wine, lan, process)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
    console.line(f"rivelo.exe exited with code {code} after {time.monotonic() - started:.1f} s; "
                 f"its output: {out_path}")
    console.line(f"Transcript: {args.transcript}")
    console.line(f"Screenshot: {shot}")
    if code != 0:
        raise DemoError(EXIT_RIVELO, f"rivelo.exe exited with code {code}")
    if problems:
        raise DemoError(EXIT_RESULT, "the scan does not match the simulated LAN:\n  " + "\n  ".join(problems))
    return EXIT_OK


def take_screenshot(wine, path):
    # The stand-in paints each event as it arrives; give it a moment for the last ones.
    time.sleep(1.0)
    window = find_window(wine.display, WINDOW_TITLE, timeout=10)
    if window is None:
        raise DemoError(EXIT_SCREENSHOT, f"no window titled '{WINDOW_TITLE}' on display {wine.display}")
    try:
        screenshot_when_drawn(wine.display, path, window=window, timeout=10)
    except DisplayError as error:
        raise DemoError(EXIT_SCREENSHOT, str(error))
    return path


def interrupted(signum, frame):
    # The first Ctrl-C (or SIGTERM) unwinds; later ones must not cut the
    # clean-up short.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
    raise KeyboardInterrupt


def main(argv):
    args = parse_args(argv)
    console = Console()
    started = time.monotonic()
    signal.signal(signal.SIGINT, interrupted)
    signal.signal(signal.SIGTERM, interrupted)
    try:
        code = run_demo(args, console)
        console.line(f"Demo finished in {time.monotonic() - started:.1f} s; everything it made was removed")
        return code
    except DemoError as error:
        console.line(f"demo: {error}")
        return error.code
    except KeyboardInterrupt:
        console.line("demo: interrupted; everything it made was removed")
        return EXIT_INTERRUPTED


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
