"""The demo: how it reads a scan from the transcript, how it refuses, a whole run
with two scans in a small simulated LAN, and Ctrl-C; both runs must leave
nothing behind."""

import importlib.util
import json
import os
import re
import signal
import subprocess
import time
from pathlib import Path

import pytest

from simlan import colour_count, prefix_pids
from simlan.simlan import link_exists, namespace_exists
from wire_reader import decode_envelope

REPO = Path(__file__).resolve().parents[1]
DEMO_SH = REPO / "scripts" / "demo.sh"
CHANNEL = "com.tarnok.rivelo/scanForPingableDevices"
PREFIX = "10.77.9"

spec = importlib.util.spec_from_file_location("demo", REPO / "scripts" / "demo.py")
demo = importlib.util.module_from_spec(spec)
spec.loader.exec_module(demo)


# --- following the transcript: messages written byte by byte ----------------------

def text(value):
    return b"\x07" + bytes([len(value)]) + value.encode()


def event_bytes(host, success):
    answer = b"\x01" if success else b"\x02"
    return b"\x00\x0d\x02" + text("ip") + text(f"{PREFIX}.{host}") + text("success") + answer


def error_bytes(code, message):
    return b"\x01" + text(code) + text(message) + b"\x00"


def message(t, direction, payload, channel=CHANNEL, **extra):
    return {"type": "message", "t": t, "direction": direction, "seq": 1, "channel": channel,
            "hex": payload.hex(), "size": len(payload), **extra}


def listen(t):
    return message(t, "to_native", text("listen") + b"\x00", response_id=9)


def end(t):
    return message(t, "to_dart", b"")


def sweep(answering, skip=(), twice=()):
    return [message(100 + host, "to_dart", event_bytes(host, host in answering))
            for host in range(1, 255) if host not in skip for _ in range(2 if host in twice else 1)]


def follow(tmp_path, lines, scans=1):
    follower = demo.ScanFollower(tmp_path / "t.jsonl", scans)
    (tmp_path / "t.jsonl").write_text("".join(json.dumps(line) + "\n" for line in lines))
    follower.poll()
    return follower


def problems(follower, expected_hosts):
    lan = type("Lan", (), {"address": staticmethod(lambda host: f"{PREFIX}.{host}")})()
    labels = {lan.address(h): f"h{h}" for h in expected_hosts}
    return demo.summary(demo.Console(), follower, lan, labels, set(labels))


def test_a_scan_is_followed_as_the_transcript_grows(tmp_path):
    path = tmp_path / "t.jsonl"
    follower = demo.ScanFollower(path, 1)
    assert follower.poll() == []
    other = message(3, "to_dart", event_bytes(99, True), channel="other/channel")
    lines = [{"type": "first_frame", "t": 50.0}, listen(90.0), other] + sweep({1, 7, 23}) + [end(1290.0)]
    written = "".join(json.dumps(line) + "\n" for line in lines)
    path.write_text(written[:-20])
    assert len(follower.poll()) == 254 and not follower.done
    with open(path, "a") as f:
        f.write(written[-20:])
    assert follower.poll() == [] and follower.done
    assert follower.scan_seconds == pytest.approx(1.2)
    assert problems(follower, {1, 7, 23}) == []


@pytest.mark.parametrize("lines, expected, problem", [
    (sweep({1, 7}), {1, 7, 200}, "missing 10.77.9.200"),
    (sweep({1, 7, 99}), {1, 7}, "unexpected 10.77.9.99"),
    (sweep({1}, skip={254}), {1}, "10.77.9.254 was never probed"),
    (sweep({1}, twice={30}), {1}, "10.77.9.30 was probed 2 times"),
    (sweep({1}) + [message(5, "to_dart", error_bytes("error", "boom"))], {1}, "on the discovery stream: error boom"),
    (sweep({1}) + [message(5, "to_dart", b"\x00\x0d\x01" + text("ip") + text("x"))], {1}, "unexpected event"),
    (sweep({1}) + [message(5, "to_dart", event_bytes(1, True)[:-1] + b"\x03\x01\x00\x00\x00")], {1},
     "unexpected event"),
    (sweep({1}) + [message(5, "to_dart", b"\x00\x0d\x05")], {1}, "undecodable"),
])
def test_a_scan_that_differs_is_reported(tmp_path, lines, expected, problem):
    found = problems(follow(tmp_path, [listen(1)] + lines + [end(900)]), expected)
    assert any(problem in p for p in found), found


@pytest.mark.parametrize("handled, answer, fatal", [
    (True, b"\x00\x00", None),
    (False, None, "no handler on the discovery channel"),
    (True, error_bytes("error", "no thread"), "refused 'listen': error no thread"),
    (True, b"\x07", "undecodable"),
])
def test_an_unanswered_or_refused_listen_is_fatal_at_once(tmp_path, handled, answer, fatal):
    lines = [listen(1), {"type": "delivered", "t": 2, "direction": "to_native", "seq": 1, "handled": handled}]
    if answer is not None:
        lines.append({"type": "response", "t": 3, "response_id": 9, "hex": answer.hex()})
    follower = follow(tmp_path, lines)
    if fatal is None:
        assert follower.fatal is None
    else:
        assert fatal in follower.fatal


def test_two_interleaved_scans_are_told_apart(tmp_path):
    interleaved = [line for pair in zip(sweep({1, 7}), sweep({1, 7})) for line in pair]
    follower = follow(tmp_path, [listen(1), listen(2)] + interleaved + [end(900)], scans=2)
    assert not follower.done
    follower = follow(tmp_path, [listen(1), listen(2)] + interleaved + [end(900), end(910)], scans=2)
    assert follower.done and problems(follower, {1, 7}) == []
    assert follower.per_scan()[0] == [254, 254]


class FeedingProcess:
    """A running rivelo.exe whose transcript grows by one chunk each time the demo looks."""

    def __init__(self, path, chunks):
        self.path, self.chunks = path, list(chunks)

    def poll(self):
        if self.chunks:
            with open(self.path, "a") as f:
                f.write("".join(json.dumps(line) + "\n" for line in self.chunks.pop(0)))
        return None


def test_every_printed_time_comes_from_one_clock_in_order(tmp_path, capsys):
    events = [message(90 + 30 * host, "to_dart", event_bytes(host, host in (1, 77, 200))) for host in range(1, 255)]
    lines = [listen(90.0)] + events
    chunks = [lines[i:i + 40] for i in range(0, len(lines), 40)] + [[end(7900.0)]]
    follower = demo.ScanFollower(tmp_path / "t.jsonl", 1)
    demo.follow(demo.Console(), follower, FeedingProcess(follower.path, chunks), timeout=60, labels={})
    problems(follower, {1, 77, 200})
    printed = capsys.readouterr().out
    times = [float(t) for t in re.findall(r"(\d+\.\d) s\b", printed)]
    assert times == sorted(times), printed
    last_progress = re.findall(r"254/254 probed, 3 answered,\s+(\d+\.\d) s", printed)
    assert last_progress == re.findall(r"3 of 254 hosts answered in (\d+\.\d) s", printed) == ["7.8"], printed


# --- refusals before anything is made ----------------------------------------------

@pytest.mark.parametrize("args", [["--hosts", "300"], ["--host-list", "1,7=bad name"], ["--host-list", "0"],
                                  ["--self", "7", "--host-list", "7"], ["--scans", "3"], ["--frobnicate"]])
def test_bad_options_exit_with_2(args):
    with pytest.raises(SystemExit) as exited:
        demo.parse_args(args)
    assert exited.value.code == 2


def test_not_root_and_missing_build_have_their_exit_codes(tmp_path):
    nobody = subprocess.run([str(DEMO_SH)], capture_output=True, text=True, timeout=60,
                            preexec_fn=lambda: (os.setgid(65534), os.setuid(65534)))
    assert (nobody.returncode, "root" in nobody.stderr) == (10, True)
    unbuilt = subprocess.run(["/usr/bin/python3", str(REPO / "scripts" / "demo.py"), "--build-dir", str(tmp_path)],
                             capture_output=True, text=True, timeout=60)
    assert (unbuilt.returncode, "rivelo.exe" in unbuilt.stdout) == (12, True)


# --- whole runs --------------------------------------------------------------------

def leftovers_of(output):
    """What the run named in its output and left behind."""
    name = re.search(r"in namespaces (\w+)-a", output).group(1)
    found = [ns for ns in (f"{name}-a", f"{name}-b") if namespace_exists(ns) or link_exists(ns)]
    prefix = re.search(r"Wine: prefix (\S+) ready", output)
    paths = [f"/etc/netns/{name}-a"] + ([prefix.group(1)] if prefix else [])
    found += [path for path in paths if Path(path).exists()]
    if prefix:
        found += [f"process {pid}" for pid in prefix_pids(prefix.group(1))]
    display = re.search(r"display :(\d+) \(private Xvfb\)", output)
    if display and Path(f"/tmp/.X{display.group(1)}-lock").exists():
        found.append(f"Xvfb :{display.group(1)}")
    return found


def demo_sh(windows_build, tmp_path, *args):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    return subprocess.Popen([str(DEMO_SH), *args, "--build-dir", str(windows_build), "--screenshot",
                             str(tmp_path / "shot.png"), "--transcript", str(tmp_path / "t.jsonl")],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env,
                            start_new_session=True)


def test_two_scans_find_exactly_the_simulated_hosts(windows_build, tmp_path):
    run = demo_sh(windows_build, tmp_path, "--host-list", "1=gateway,7,200=nas", "--self", "23", "--scans", "2")
    output, _ = run.communicate(timeout=600)
    assert run.returncode == 0, output
    prefix = re.search(r"LAN: (\d+\.\d+\.\d+)\.0/24", output).group(1)
    rows = re.findall(r"^(\d+\.\d+\.\d+\.\d+) .* (\w+) (\w+)$", output, re.MULTILINE)
    assert rows == [(f"{prefix}.{h}", "yes", "yes") for h in (1, 7, 23, 200)]
    answered = re.findall(r"scan \d: (\d+) of 254 hosts answered in (\d+\.\d) s", output)
    assert [count for count, _ in answered] == ["4", "4"]
    assert all(float(seconds) > 1.0 for _, seconds in answered)
    lines = [json.loads(line) for line in (tmp_path / "t.jsonl").read_text().splitlines()]
    events = [(int(decode_envelope(bytes.fromhex(line["hex"])).result["ip"].rsplit(".", 1)[1]), line["t"])
              for line in lines if line["type"] == "message" and line["direction"] == "to_dart" and line["size"]]
    # .251 to .254 are silent: each scan's last batch waits out the 200 ms pause and a whole 1 s echo
    # time-out after its own fifth batch, which ended no earlier than the 50th fifth-batch event of the two.
    fifth = sorted(t for host, t in events if 200 < host <= 250)
    assert min(t for host, t in events if host > 250) - fifth[49] >= 1000
    assert colour_count(tmp_path / "shot.png") > 2
    assert leftovers_of(output) == []


def test_ctrl_c_removes_everything(windows_build, tmp_path):
    run = demo_sh(windows_build, tmp_path, "--hosts", "2")
    seen = []
    for line in run.stdout:
        seen.append(line)
        if line.startswith("rivelo.exe "):
            break
    time.sleep(2)
    # A terminal's Ctrl-C reaches the whole foreground process group, Wine included.
    os.killpg(run.pid, signal.SIGINT)
    rest, _ = run.communicate(timeout=120)
    output = "".join(seen) + rest
    assert run.returncode == 130, output
    assert "interrupted" in output and leftovers_of(output) == []
