"""rivelo discovering a simulated LAN: the body of scripts/demo.sh.

Builds what is missing, makes a simulated LAN of network namespaces, runs
rivelo.exe under Wine inside it with the stand-in engine's scripted Dart side
scanning at the first frame, follows the scan live from the stand-in's
transcript, then prints the answering hosts, saves a screenshot of the window,
closes it and removes everything it made.
"""

import argparse
import contextlib
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

from simlan import (DEMO_HOSTS, SELF_HOST, DisplayError, SimlanError, SimulatedLan, WineError, WineRunner,
                    XDisplay, find_window, screenshot_when_drawn)
from simlan.wine import WINE
from sweep_pacing import BATCH_SIZE
from transcript import HOSTS_PER_SCAN, Transcript
import windows_build

REPO = Path(__file__).resolve().parents[1]

WINDOW_TITLE = "rivelo"

# Exit codes; --help lists them.
(EXIT_OK, EXIT_USAGE, EXIT_NOT_ROOT, EXIT_DEPS, EXIT_BUILD, EXIT_LAN, EXIT_WINE, EXIT_RIVELO, EXIT_RESULT,
 EXIT_SCREENSHOT, EXIT_INTERRUPTED) = (0, 2, 10, 11, 12, 13, 14, 15, 16, 17, 130)

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
    """The first `count` hosts of the demo's home LAN, filled up with numbered hosts."""
    named = [(n, label) for n, label in DEMO_HOSTS.items() if n != self_host]
    hosts = dict(named[:count])
    number = 2
    while len(hosts) < count:
        if number not in hosts and number != self_host and number not in DEMO_HOSTS:
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
    which.add_argument("--hosts", type=int, metavar="N", default=len(DEMO_HOSTS),
                       help=f"number of simulated hosts that answer (default {len(DEMO_HOSTS)}: "
                            + ", ".join(f"{label} .{n}" for n, label in DEMO_HOSTS.items()) + ")")
    which.add_argument("--host-list", type=parse_host_list, metavar="N[=NAME],...",
                       help="explicit answering hosts, e.g. 1=gateway,7,200=nas")
    parser.add_argument("--self", type=int, default=SELF_HOST, dest="self_host", metavar="N",
                        help=f"host number of the machine rivelo runs on (default {SELF_HOST})")
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
    parser.add_argument("--build-dir", type=Path, default=windows_build.default_root(),
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

    def progress(self, probed, total, answered, seconds, final=False):
        """Plain lines: one per batch of hosts, and the last once the scan has ended, with its end time."""
        if self.tty:
            width = 30
            filled = width * probed // total if total else 0
            sys.stdout.write(f"\r\033[K  [{'#' * filled}{'.' * (width - filled)}] {probed:3}/{total} probed, "
                             f"{answered} answered, {seconds:5.1f} s")
            sys.stdout.flush()
            self._bar_shown = True
        elif final or (probed // BATCH_SIZE != self._last_plain // BATCH_SIZE and probed < total):
            self._last_plain = probed
            print(f"  {probed:3}/{total} probed, {answered} answered, {seconds:5.1f} s", flush=True)


# --- steps ----------------------------------------------------------------------

def ensure_build(console, build_dir, log_path):
    """The folder with rivelo.exe; the default build tree is brought up to date first."""
    if build_dir.resolve() != windows_build.DEFAULT.resolve():
        folder = windows_build.rivelo_folder(build_dir)
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
    folder = windows_build.rivelo_folder(build_dir)
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
    """Asks rivelo to close its window the way a person would (WM_CLOSE); the caller kills it if it will not."""
    lan.run([WINE, "taskkill", "/im", "rivelo.exe"], env=wine.env(), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        raise DemoError(EXIT_RIVELO, f"rivelo.exe did not end within {timeout} s of WM_CLOSE; killed")


def follow(console, run, scans, process, timeout, labels):
    started = time.monotonic()
    while True:
        for t, address, success in run.poll():
            if success:
                console.line(f"  + {address:<15} {labels.get(address, ''):<12} answered "
                             f"{run.seconds_since_listen(t):4.1f} s into the scan")
        done = len(run.ends) >= scans
        console.progress(len(run.events), HOSTS_PER_SCAN * scans, sum(event.success for event in run.events),
                         run.seconds_since_listen(run.last_t), final=done)
        if done:
            break
        if run.fatal:
            raise DemoError(EXIT_RIVELO, run.fatal)
        if process.poll() is not None:
            raise DemoError(EXIT_RIVELO, f"rivelo.exe ended with exit code {process.returncode} "
                                         "before the scan was over")
        if time.monotonic() - started > timeout:
            what = "no first frame" if run.first("first_frame")[1] is None else "the scan did not end"
            raise DemoError(EXIT_RIVELO, f"{what} within {timeout:.0f} s")
        time.sleep(0.1)
    console.line()


def summary(console, run, scans, lan, labels, expected):
    """Prints the answering hosts of each scan; returns how the run differs from the simulated LAN."""
    answered, _ = run.per_scan(scans)
    console.line(f"{'address':<15}  {'name':<14}  answered")
    for address in sorted(set().union(*answered), key=lambda a: int(a.rsplit(".", 1)[1])):
        marks = " ".join("yes" if address in a else "no" for a in answered)
        console.line(f"{address:<15}  {labels.get(address, ''):<14}  {marks}")
    seconds = run.seconds_since_listen(run.ends[-1])
    for k in range(scans):
        which = f"scan {k + 1}: " if scans > 1 else ""
        console.line(f"{which}{len(answered[k])} of {HOSTS_PER_SCAN} hosts answered in {seconds:.1f} s")
    return run.scan_problems(lan.prefix, expected, scans)


def run_demo(args, console):
    if os.geteuid() != 0:
        raise DemoError(EXIT_NOT_ROOT, "the demo makes network namespaces, which needs root: run it as root")
    folder = ensure_build(console, args.build_dir, REPO / "build" / "demo" / "build.log")
    for path in (args.screenshot, args.transcript):
        path.parent.mkdir(parents=True, exist_ok=True)
    args.transcript.unlink(missing_ok=True)

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
        private = display is None
        try:
            if private:
                display = made.enter_context(XDisplay(width=1280, height=1024)).name
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
            run = Transcript(args.transcript)
            follow(console, run, args.scans, process, args.timeout, labels)
            problems = summary(console, run, args.scans, lan, labels, expected)
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
