"""The demo command: its reading of the scan, its options and failures, and a
whole run in a small simulated LAN that must leave nothing behind."""

import importlib.util
import json
import os
import re
import signal
import subprocess
import time
from pathlib import Path

import pytest

import reference_codec
from simlan import colour_count, prefix_pids
from simlan.simlan import link_exists, namespace_exists

REPO = Path(__file__).resolve().parents[1]
DEMO_SH = REPO / "scripts" / "demo.sh"
CHANNEL = "com.tarnok.rivelo/scanForPingableDevices"


def load_demo():
    spec = importlib.util.spec_from_file_location("demo", REPO / "scripts" / "demo.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


demo = load_demo()


# --- following the transcript --------------------------------------------------

class FakeLan:
    prefix = "10.77.9"

    def address(self, host):
        return f"{self.prefix}.{host}"


def message(t, direction, payload, channel=CHANNEL):
    return {"type": "message", "t": t, "thread": 1, "platform": direction == "to_native",
            "direction": direction, "seq": 1, "channel": channel, "channel_hex": channel.encode().hex(),
            "hex": payload.hex(), "size": len(payload), "reply": False}


def event(t, host, success):
    payload = reference_codec.encode_success_envelope({"ip": FakeLan().address(host), "success": success})
    return message(t, "to_dart", payload)


def listen(t):
    return message(t, "to_native", reference_codec.encode_method_call("listen"))


def end(t):
    return message(t, "to_dart", b"")


def sweep(answering, t0=100.0, skip=(), twice=()):
    lines = []
    for host in range(1, 255):
        if host in skip:
            continue
        for _ in range(2 if host in twice else 1):
            lines.append(event(t0 + host, host, host in answering))
    return lines


def follow_lines(tmp_path, lines, scans=1):
    path = tmp_path / "transcript.jsonl"
    follower = demo.ScanFollower(path, scans)
    with open(path, "w") as f:
        f.write("".join(json.dumps(line) + "\n" for line in lines))
    follower.poll()
    return follower


def problems_of(follower, expected_hosts):
    lan = FakeLan()
    labels = {lan.address(h): f"h{h}" for h in expected_hosts}
    return demo.summary(demo.Console(), follower, lan, labels, set(labels))


def test_a_complete_scan_matches_and_is_timed(tmp_path):
    lines = [{"type": "first_frame", "t": 50.0}, listen(90.0)] + sweep({1, 7, 23}) + [end(1290.0)]
    follower = follow_lines(tmp_path, lines)
    assert follower.done
    assert follower.scan_seconds == pytest.approx(1.2)
    assert problems_of(follower, {1, 7, 23}) == []


@pytest.mark.parametrize("lines, expected, problem", [
    (sweep({1, 7}) + [end(900)], {1, 7, 200}, "missing 10.77.9.200"),
    (sweep({1, 7, 99}) + [end(900)], {1, 7}, "unexpected 10.77.9.99"),
    (sweep({1}, skip={254}) + [end(900)], {1}, "10.77.9.254 was never probed"),
    (sweep({1}, twice={30}) + [end(900)], {1}, "10.77.9.30 was probed 2 times"),
    (sweep({1}) + [message(5, "to_dart", reference_codec.encode_error_envelope("error", "boom")), end(900)],
     {1}, "error on the discovery stream: error boom"),
    (sweep({1}) + [message(5, "to_dart", b"\x00\x0d\x01\x07\x02ip\x07\x01x"), end(900)],
     {1}, "unexpected event"),
    (sweep({1}) + [message(5, "to_dart", b"\x00\x0d\x05"), end(900)], {1}, "undecodable"),
])
def test_a_scan_that_differs_is_reported(tmp_path, lines, expected, problem):
    follower = follow_lines(tmp_path, [listen(1)] + lines)
    assert any(problem in p for p in problems_of(follower, expected)), problems_of(follower, expected)


def listen_answered(handled, answer=None):
    call = listen(1)
    call.update(seq=4, response_id=9, reply=True)
    lines = [call, {"type": "delivered", "t": 2, "direction": "to_native", "seq": 4, "handled": handled}]
    if answer is not None:
        lines.append({"type": "response", "t": 3, "response_id": 9, "hex": answer.hex(), "size": len(answer),
                      "accepted": True})
    return lines


@pytest.mark.parametrize("lines, fatal", [
    (listen_answered(True, reference_codec.encode_success_envelope()), None),
    (listen_answered(False), "no handler on the discovery channel"),
    (listen_answered(True, reference_codec.encode_error_envelope("error", "no thread")),
     "refused 'listen': error no thread"),
    (listen_answered(True, b"\x07"), "undecodable"),
])
def test_an_unanswered_or_refused_listen_is_fatal_at_once(tmp_path, lines, fatal):
    follower = follow_lines(tmp_path, lines)
    if fatal is None:
        assert follower.fatal is None
    else:
        assert fatal in follower.fatal


def test_two_interleaved_scans_are_told_apart(tmp_path):
    first, second = sweep({1, 7}), sweep({1, 7})
    interleaved = [line for pair in zip(first, second) for line in pair]
    follower = follow_lines(tmp_path, [listen(1), listen(2)] + interleaved + [end(900)], scans=2)
    assert not follower.done
    follower = follow_lines(tmp_path, [listen(1), listen(2)] + interleaved + [end(900), end(910)], scans=2)
    assert follower.done
    assert problems_of(follower, {1, 7}) == []
    probed, answered, _ = follower.per_scan()
    assert probed == [254, 254]


def test_other_channels_and_a_partly_written_line_are_ignored(tmp_path):
    path = tmp_path / "transcript.jsonl"
    follower = demo.ScanFollower(path, 1)
    assert follower.poll() == []
    other = message(3, "to_dart", reference_codec.encode_success_envelope({"ip": "1.2.3.4", "success": True}),
                    channel="other/channel")
    whole = json.dumps(event(4, 7, True)) + "\n"
    with open(path, "w") as f:
        f.write(json.dumps(other) + "\n" + whole[:20])
    assert follower.poll() == []
    with open(path, "a") as f:
        f.write(whole[20:])
    assert follower.poll() == [(4, "10.77.9.7", True)]


# --- options and failures without a run ------------------------------------------

def run_demo_sh(*args, timeout=60, **kwargs):
    return subprocess.run([str(DEMO_SH), *args], capture_output=True, text=True, timeout=timeout, **kwargs)


def test_help_names_the_options_and_exit_codes():
    result = run_demo_sh("--help")
    assert result.returncode == 0
    for text in ("--hosts", "--host-list", "--keep-open", "--screenshot", "--transcript", "--scans",
                 "exit codes", "not run as root"):
        assert text in result.stdout


@pytest.mark.parametrize("args", [["--hosts", "300"], ["--host-list", "1,7=bad name"], ["--host-list", "0"],
                                  ["--self", "7", "--host-list", "7"], ["--scans", "3"], ["--frobnicate"]])
def test_bad_options_exit_with_2(args):
    assert run_demo_sh(*args).returncode == 2


def test_hosts_by_count_avoids_the_self_address():
    hosts = demo.hosts_by_count(8, self_host=20)
    assert len(hosts) == 8 and 20 not in hosts
    assert hosts[1] == "gateway" and hosts[254] == "edge"


def test_not_root_is_refused_with_its_exit_code():
    result = run_demo_sh(preexec_fn=lambda: (os.setgid(65534), os.setuid(65534)))
    assert result.returncode == 10
    assert "root" in result.stderr


def test_a_missing_build_is_reported_with_its_exit_code(tmp_path):
    result = subprocess.run(["/usr/bin/python3", str(REPO / "scripts" / "demo.py"), "--build-dir", str(tmp_path)],
                            capture_output=True, text=True, timeout=60)
    assert result.returncode == 12
    assert "rivelo.exe" in result.stdout


# --- whole runs ------------------------------------------------------------------

def leftovers_of(output):
    """What the run named in its output and left behind."""
    found = []
    lan = re.search(r"in namespaces (\w+)-a", output)
    assert lan, output
    name = lan.group(1)
    found += [ns for ns in (f"{name}-a", f"{name}-b") if namespace_exists(ns) or link_exists(ns)]
    if Path(f"/etc/netns/{name}-a").exists():
        found.append(f"/etc/netns/{name}-a")
    prefix = re.search(r"Wine: prefix (\S+) ready", output)
    if prefix:
        if Path(prefix.group(1)).exists():
            found.append(prefix.group(1))
        found += [f"process {pid}" for pid in prefix_pids(prefix.group(1))]
    display = re.search(r"display :(\d+) \(private Xvfb\)", output)
    if display and Path(f"/tmp/.X{display.group(1)}-lock").exists():
        found.append(f"Xvfb :{display.group(1)}")
    return found


def summary_rows(output):
    table = output.split("address ", 1)[1].split("\n")[1:]
    rows = []
    for line in table:
        match = re.match(r"(\d+\.\d+\.\d+\.\d+)\s", line)
        if not match:
            break
        rows.append(match.group(1))
    return rows


@pytest.mark.parametrize("scans", [1, 2])
def test_the_demo_finds_exactly_the_simulated_hosts(windows_build, tmp_path, scans):
    shot, transcript = tmp_path / "shot.png", tmp_path / "transcript.jsonl"
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    result = run_demo_sh("--host-list", "1=gateway,7,200=nas", "--self", "23", "--scans", str(scans),
                         "--screenshot", str(shot), "--transcript", str(transcript),
                         "--build-dir", str(windows_build), timeout=600, env=env)
    output = result.stdout + result.stderr
    assert result.returncode == 0, output
    prefix = re.search(r"LAN: (\d+\.\d+\.\d+)\.0/24", output).group(1)
    assert summary_rows(output) == [f"{prefix}.{h}" for h in (1, 7, 23, 200)]
    answered = re.findall(r"(?:scan \d: )?(\d+) of 254 hosts answered in (\d+\.\d) s", output)
    assert [count for count, _ in answered] == ["4"] * scans
    assert all(float(seconds) > 1.0 for _, seconds in answered)
    assert shot.is_file() and colour_count(shot) > 2
    assert transcript.is_file()
    assert leftovers_of(output) == []


def test_ctrl_c_removes_everything(windows_build, tmp_path):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    demo_process = subprocess.Popen(
        [str(DEMO_SH), "--hosts", "2", "--build-dir", str(windows_build),
         "--screenshot", str(tmp_path / "shot.png"), "--transcript", str(tmp_path / "t.jsonl")],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env, start_new_session=True)
    seen = []
    for line in demo_process.stdout:
        seen.append(line)
        if line.startswith("rivelo.exe "):
            break
    time.sleep(2)
    # A terminal's Ctrl-C reaches the whole foreground process group, Wine included.
    os.killpg(demo_process.pid, signal.SIGINT)
    rest, _ = demo_process.communicate(timeout=120)
    output = "".join(seen) + rest
    assert demo_process.returncode == 130, output
    assert "interrupted" in output
    assert leftovers_of(output) == []
