#!/usr/bin/python3
"""Sweep timing and the shutdown soak: rivelo.exe under Wine in a simulated LAN.

    lan_evidence.py sweep  --build DIR [--runs 5] [--figures PATH] [--keep DIR]
    lan_evidence.py soak   --build DIR [--runs 50] [--seed 7] [--figures PATH] [--keep DIR]

Every Windows run and every peer tool (fping, nmap) runs inside the checked
namespace of a SimulatedLan made by this run (scripts/simlan), never outside.
Nothing here trusts rivelo's own account: events are read from the stand-in
engine's transcript and decoded with scripts/wire_reader.py.

sweep: a full sweep where only a few hosts answer, `--runs` times; the wall
time from the "listen" leaving the Dart side to the end of the stream, as a
ratio to the floor of 7.2 s (six batches, each waiting out one 1000 ms echo
time-out and then pausing 200 ms). Then fping and nmap sweep the same /24 from
the same namespace; each must find exactly the hosts that rivelo found
answering.

soak: `--runs` runs that close the window at a moment drawn from a seeded
uniform distribution over 0..9000 ms after the first frame, and two more that
close at 0 ms and at 15000 ms, so that closes land before the first event,
mid-batch, in a pause and after the end; every
run must exit 0, leave a shutdown report with no outstanding messenger
reference and no unanswered message, and send nothing after teardown. Then
one run with five listens in quick succession must deliver 1270 events and
five ends of the stream.

--keep writes the transcripts there instead of a temporary folder.
--figures appends tab-separated rows (figure, value, target or peer, ratio,
met/MISSED) for scripts/evidence.sh. The exit code is 0 only when every check
held.
"""

import argparse
import contextlib
import json
import random
import statistics
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "scripts"))

from simlan import SimulatedLan, WineRunner, XDisplay  # noqa: E402
import wire_reader  # noqa: E402

CHANNEL = "com.tarnok.rivelo/scanForPingableDevices"
ANSWERING_HOSTS = (1, 7, 200)
SELF_HOST = 23
FLOOR_SECONDS = 7.2
HOSTS_PER_SWEEP = 254
BATCH = 50
PAUSE_MS = 200
# Under Wine a sweep takes about 10 s and its first events come after about
# 150 ms, so draws over 0..9000 ms rarely close before the first event and
# never after the end: two fixed closes make sure both moments are tried.
FIXED_CLOSES = (0, 15000)


@dataclass
class Transcript:
    """What one run's transcript says about the discovery stream and teardown."""
    listens: list = field(default_factory=list)       # t of each "listen" to native
    listen_answers: list = field(default_factory=list)  # decoded responses to them
    events: list = field(default_factory=list)         # (t, ip, success)
    ends: list = field(default_factory=list)           # t of each end of stream
    first_frame: float = None
    shutdown: dict = None
    after_teardown: int = 0
    late_sends: int = 0                                # to_dart after the shutdown line
    quit_reason: str = None
    quit_time: float = None


def read_transcript(path):
    transcript = Transcript()
    listen_ids = {}
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        entry = json.loads(line)
        kind = entry["type"]
        if kind == "first_frame":
            transcript.first_frame = entry["t"]
        elif kind == "shutdown":
            transcript.shutdown = entry
        elif kind == "after_teardown":
            transcript.after_teardown += 1
        elif kind == "quit":
            transcript.quit_reason = entry["reason"]
            transcript.quit_time = entry["t"]
        elif kind == "message" and entry["channel"] == CHANNEL:
            data = bytes.fromhex(entry["hex"])
            if transcript.shutdown is not None and entry["direction"] == "to_dart":
                transcript.late_sends += 1
            if entry["direction"] == "to_native":
                if wire_reader.decode_method_call(data).method == "listen":
                    transcript.listens.append(entry["t"])
                    listen_ids[entry["response_id"]] = True
            elif not data:
                transcript.ends.append(entry["t"])
            else:
                envelope = wire_reader.decode_envelope(data)
                if not isinstance(envelope, wire_reader.Success):
                    raise ValueError(f"event is not a success envelope: {envelope}")
                event = envelope.result
                transcript.events.append((entry["t"], event["ip"], event["success"]))
        elif kind == "response" and entry.get("response_id") in listen_ids:
            transcript.listen_answers.append(wire_reader.decode_envelope(bytes.fromhex(entry["hex"])))
    return transcript


def find_exe(build):
    for folder in (build, build / "bin", build / "shell"):
        if (folder / "rivelo.exe").is_file():
            return folder / "rivelo.exe"
    raise SystemExit(f"lan_evidence: rivelo.exe not found under {build}")


def find_echo_batch(build):
    for folder in (build / "bench", build.parent / "bench"):
        if (folder / "echo_batch.exe").is_file():
            return folder / "echo_batch.exe"
    raise SystemExit(f"lan_evidence: echo_batch.exe not found under {build}/bench "
                     "(cmake --build --preset windows --target echo_batch)")


class Figures:
    def __init__(self, path):
        self.path = path
        self.failures = []

    def add(self, figure, value, target, ratio, met):
        print(f"  {figure}: {value} ({target}) {ratio} {'met' if met else 'MISSED'}", flush=True)
        if self.path:
            with open(self.path, "a", encoding="utf-8") as out:
                out.write(f"{figure}\t{value}\t{target}\t{ratio}\t{'met' if met else 'MISSED'}\n")

    def check(self, condition, what):
        if not condition:
            print(f"  FAILED: {what}", flush=True)
            self.failures.append(what)
        return condition


@contextlib.contextmanager
def work_folder(args, prefix):
    if args.keep:
        Path(args.keep).mkdir(parents=True, exist_ok=True)
        yield args.keep
    else:
        with tempfile.TemporaryDirectory(prefix=prefix) as folder:
            yield folder


def run_rivelo(wine, exe, workdir, name, args, timeout):
    # Relative to the working directory, which Wine maps through its Z: drive.
    transcript = Path(workdir) / f"{name}.jsonl"
    result = wine.run(exe, [*args, f"--transcript={transcript.name}"], timeout=timeout, cwd=workdir,
                      stop_server=False)
    return result, (read_transcript(transcript) if transcript.is_file() else None)


def timed_peer(lan, argv):
    started = time.monotonic()
    result = lan.run(argv, capture_output=True, text=True, timeout=120)
    return time.monotonic() - started, result


def sweep(args, figures):
    exe = find_exe(Path(args.build).resolve())
    batch_exe = find_echo_batch(Path(args.build).resolve())
    with SimulatedLan(hosts=ANSWERING_HOSTS, self_host=SELF_HOST, tag="ev") as lan, \
            XDisplay() as display, WineRunner(lan, display=display) as wine, \
            work_folder(args, "rivelo-sweep-") as workdir:
        print(f"sweep: LAN {lan.name}, {lan.prefix}.0/24, answering {lan.host_addresses}, "
              f"rivelo at {lan.self_address}", flush=True)
        durations, answered_sets = [], []
        for run in range(args.runs):
            result, transcript = run_rivelo(wine, exe, workdir, f"sweep{run}",
                                            ["--scan", "--quit-when-done=30000"], timeout=90)
            ok = figures.check(result.returncode == 0 and not result.timed_out,
                               f"sweep run {run}: exit {result.returncode}, timed out {result.timed_out}")
            ok = ok and figures.check(transcript is not None and len(transcript.listens) == 1
                                      and len(transcript.ends) == 1
                                      and len(transcript.events) == HOSTS_PER_SWEEP,
                                      f"sweep run {run}: one listen, {HOSTS_PER_SWEEP} events and one end")
            if not ok:
                continue
            seconds = (transcript.ends[0] - transcript.listens[0]) / 1000
            durations.append(seconds)
            answered_sets.append(sorted({ip for _, ip, success in transcript.events if success}))
            print(f"  run {run}: {seconds:.3f} s, answered {answered_sets[-1]}; silent hosts' events "
                  f"spread over {batch_spreads(transcript)} ms per batch", flush=True)
        if not durations:
            return
        median = statistics.median(durations)
        figures.add(f"sweep wall time, median of {len(durations)}", f"{median:.3f} s",
                    f"floor {FLOOR_SECONDS} s", f"{median / FLOOR_SECONDS:.3f}x", True)
        answered = answered_sets[0]
        figures.check(all(s == answered for s in answered_sets), "every sweep found the same hosts")

        echo_batch(lan, wine, batch_exe, workdir, figures)

        prefix = lan.prefix
        seconds, fping = timed_peer(lan, ["fping", "-a", "-g", "-r", "0", "-t", "1000", f"{prefix}.0/24"])
        fping_found = sorted(fping.stdout.split())
        figures.add("fping -g -r 0 -t 1000, same /24", f"{seconds:.3f} s",
                    f"rivelo {median:.3f} s", f"{median / seconds:.2f}x rivelo/fping",
                    figures.check(fping_found == answered,
                                  f"fping found {fping_found}, rivelo {answered}"))
        seconds, nmap = timed_peer(lan, ["nmap", "-sn", "-n", "-oG", "-", f"{prefix}.0/24"])
        nmap_found = sorted(line.split()[1] for line in nmap.stdout.splitlines()
                            if line.startswith("Host:") and "Status: Up" in line)
        figures.add("nmap -sn -n, same /24", f"{seconds:.3f} s", f"rivelo {median:.3f} s",
                    f"{median / seconds:.2f}x rivelo/nmap",
                    figures.check(nmap_found == answered, f"nmap found {nmap_found}, rivelo {answered}"))
        figures.add("hosts found (rivelo = fping = nmap)", " ".join(answered), "LAN " + " ".join(
            sorted(lan.host_addresses + [lan.self_address])), "", True)


def echo_batch(lan, wine, exe, workdir, figures, repeats=3):
    """One batch of 50 echoes to silent hosts under Wine alone, without rivelo."""
    batches, spreads = [], []
    for _ in range(repeats):
        result = wine.run(exe, [lan.prefix, 51, 100], timeout=60, cwd=workdir, stop_server=False)
        if not figures.check(result.returncode == 0, f"echo_batch exit {result.returncode}"):
            return
        rows = [line.split() for line in result.stdout.splitlines()]
        starts = [float(row[2]) for row in rows if row[0] == "host"]
        answered = [row[1] for row in rows if row[0] == "host" and row[4] == "1"]
        figures.check(not answered, f"echo_batch: silent hosts answered: {answered}")
        batches.append(next(float(row[1]) for row in rows if row[0] == "batch_ms"))
        spreads.append(max(starts) - min(starts))
    batch, spread = statistics.median(batches), statistics.median(spreads)
    print(f"  echo_batch: {batches} ms per batch, starts spread over {spreads} ms", flush=True)
    figures.add(f"50 echoes to silent hosts under Wine, no rivelo, median of {repeats}",
                f"{batch:.0f} ms (starts spread {spread:.0f} ms)", "time-out 1000 ms",
                f"{batch / 1000:.2f}x", True)


def batch_spreads(transcript):
    """Per batch, the ms between the first and the last silent host's event.

    Every silent host times out after the same 1000 ms, so the spread is how
    long the batch took to get all its echoes under way.
    """
    batches = {}
    for t, ip, success in transcript.events:
        if not success:
            batches.setdefault((int(ip.rsplit(".", 1)[1]) - 1) // BATCH, []).append(t)
    return [round(max(times) - min(times)) for _, times in sorted(batches.items())]


def moment_of_close(transcript):
    """Where in the sweep the window was closed, judged by the events sent
    before the close was posted (the host lets a running batch finish)."""
    closed = transcript.quit_time
    if closed is None:
        return "never closed"
    if any(t < closed for t in transcript.ends):
        return "after the end"
    before = [t for t, _, _ in transcript.events if t < closed]
    if not before:
        return "before the first event"
    if len(before) % BATCH == 0 and closed - max(before) < PAUSE_MS:
        return "in a pause"
    return "mid-batch"


def soak(args, figures):
    exe = find_exe(Path(args.build).resolve())
    draw = random.Random(args.seed)
    delays = [draw.randint(0, 9000) for _ in range(args.runs)] + list(FIXED_CLOSES)
    moments, failures_before = {}, len(figures.failures)
    with SimulatedLan(hosts=ANSWERING_HOSTS, self_host=SELF_HOST, tag="es") as lan, \
            XDisplay() as display, WineRunner(lan, display=display) as wine, \
            work_folder(args, "rivelo-soak-") as workdir:
        print(f"soak: LAN {lan.name}, {args.runs} runs, seed {args.seed}", flush=True)
        for run, delay in enumerate(delays):
            result, transcript = run_rivelo(wine, exe, workdir, f"soak{run}",
                                            ["--scan", f"--close-after-ms={delay}"], timeout=60)
            label = f"soak run {run} (close after {delay} ms)"
            figures.check(result.returncode == 0 and not result.timed_out,
                          f"{label}: exit {result.returncode}, timed out {result.timed_out}")
            figures.check("flutter_windows (stand-in):" not in result.stderr,
                          f"{label}: the stand-in reported {result.stderr.strip()[-300:]}")
            if not figures.check(transcript is not None and transcript.shutdown is not None,
                                 f"{label}: no shutdown report"):
                continue
            figures.check(transcript.shutdown["outstanding_messenger_refs"] == 0,
                          f"{label}: outstanding messenger references {transcript.shutdown}")
            figures.check(not transcript.shutdown["unanswered"], f"{label}: unanswered messages")
            figures.check(transcript.after_teardown == 0 and transcript.late_sends == 0,
                          f"{label}: {transcript.after_teardown} calls and {transcript.late_sends} "
                          "sends after teardown")
            figures.check(len(transcript.events) <= HOSTS_PER_SWEEP and len(transcript.ends) <= 1,
                          f"{label}: {len(transcript.events)} events, {len(transcript.ends)} ends")
            moment = moment_of_close(transcript)
            moments[moment] = moments.get(moment, 0) + 1
            print(f"  run {run}: close after {delay} ms, {len(transcript.events)} events, {moment}, "
                  f"exit {result.returncode}", flush=True)
        clean = len(figures.failures) == failures_before
        spread = ", ".join(f"{count} {moment}" for moment, count in sorted(moments.items()))
        figures.add(f"shutdown soak, {args.runs} drawn + {len(FIXED_CLOSES)} fixed closes (seed {args.seed})",
                    f"{sum(moments.values())} clean" if clean else "FAILURES", spread, "", clean)

        failures_before = len(figures.failures)
        result, transcript = run_rivelo(wine, exe, workdir, "listens5",
                                        ["--listens=5", "--quit-when-done=60000"], timeout=120)
        ok = figures.check(result.returncode == 0 and transcript is not None
                           and transcript.shutdown is not None
                           and transcript.shutdown["outstanding_messenger_refs"] == 0
                           and transcript.quit_reason == "done",
                           f"five listens: exit {result.returncode}, quit "
                           f"{transcript.quit_reason if transcript else None}")
        events = len(transcript.events) if transcript else 0
        ends = len(transcript.ends) if transcript else 0
        answered = sum(1 for _, _, success in transcript.events if success) if transcript else 0
        ok = figures.check(events == 5 * HOSTS_PER_SWEEP and ends == 5,
                           f"five listens: {events} events, {ends} ends") and ok
        expected_answers = 5 * (len(ANSWERING_HOSTS) + 1)
        ok = figures.check(answered == expected_answers,
                           f"five listens: {answered} answered events, expected {expected_answers}") and ok
        figures.add("five listens in one run", f"{events} events, {ends} ends",
                    f"{5 * HOSTS_PER_SWEEP} events, 5 ends", f"{answered} answered", ok)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=["sweep", "soak"])
    parser.add_argument("--build", default=str(REPO / "build" / "windows"))
    parser.add_argument("--runs", type=int)
    parser.add_argument("--seed", type=int, default=7)
    parser.add_argument("--figures")
    parser.add_argument("--keep")
    args = parser.parse_args()
    figures = Figures(args.figures)
    if args.what == "sweep":
        args.runs = 5 if args.runs is None else args.runs
        sweep(args, figures)
    else:
        args.runs = 50 if args.runs is None else args.runs
        soak(args, figures)
    if figures.failures:
        print(f"lan_evidence {args.what}: {len(figures.failures)} check(s) failed", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
