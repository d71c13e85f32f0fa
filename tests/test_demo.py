"""The demo: the times it prints while it follows a scan, how it refuses, a whole
run with two scans in a small simulated LAN, and Ctrl-C; both runs must leave
nothing behind."""

import os
import re
import signal
import subprocess
import time
import types
from pathlib import Path

import pytest

from simlan import colour_count, prefix_pids
from simlan.simlan import link_exists, namespace_exists
from test_transcript import PREFIX, end, event_bytes, listen, message, written
import demo
import transcript
from sweep_pacing import BATCH_COUNT, BATCH_SIZE, ECHO_TIMEOUT_MS, FIRST_HOST

REPO = Path(__file__).resolve().parents[1]
DEMO_SH = REPO / "scripts" / "demo.sh"


# --- following the transcript ------------------------------------------------------

class FeedingProcess:
    """A running rivelo.exe whose transcript grows by one chunk each time the demo looks."""

    def __init__(self, path, chunks):
        self.path, self.chunks = path, list(chunks)

    def poll(self):
        if self.chunks:
            with open(self.path, "a") as f:
                f.write(written(self.chunks.pop(0)))
        return None


def test_every_printed_time_comes_from_one_clock_in_order(tmp_path, capsys):
    events = [message(90 + 30 * host, "to_dart", event_bytes(host, host in (1, 77, 200))) for host in range(1, 255)]
    lines = [listen(90.0)] + events
    chunks = [lines[i:i + 40] for i in range(0, len(lines), 40)] + [[end(7900.0)]]
    run = transcript.Transcript(tmp_path / "t.jsonl")
    demo.follow(demo.Console(), run, 1, FeedingProcess(run.path, chunks), timeout=60, labels={})
    lan = types.SimpleNamespace(prefix=PREFIX)
    assert demo.summary(demo.Console(), run, 1, lan, {}, {f"{PREFIX}.{h}" for h in (1, 77, 200)}) == []
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
    run = demo_sh(windows_build, tmp_path, "--host-list", "1=gateway,7,200=nas", "--scans", "2")
    output, _ = run.communicate(timeout=600)
    assert run.returncode == 0, output
    prefix = re.search(r"LAN: (\d+\.\d+\.\d+)\.0/24", output).group(1)
    rows = re.findall(r"^(\d+\.\d+\.\d+\.\d+) .* (\w+) (\w+)$", output, re.MULTILINE)
    assert rows == [(f"{prefix}.{h}", "yes", "yes") for h in sorted((1, 7, 200, demo.SELF_HOST))]
    answered = re.findall(r"scan \d: (\d+) of 254 hosts answered in (\d+\.\d) s", output)
    assert [count for count, _ in answered] == ["4", "4"]
    assert all(float(seconds) > 1.0 for _, seconds in answered)
    events = [(int(ip.rsplit(".", 1)[1]), t) for t, ip, _ in transcript.read(tmp_path / "t.jsonl").events]
    # The last batch's hosts are silent: each scan's last batch waits out the pause and a whole echo
    # time-out after its own previous batch, which ended no earlier than the batch-size-th event of the two.
    batch = {host: (host - FIRST_HOST) // BATCH_SIZE for host, _ in events}
    before_last = sorted(t for host, t in events if batch[host] == BATCH_COUNT - 2)
    assert min(t for host, t in events if batch[host] == BATCH_COUNT - 1) - before_last[BATCH_SIZE - 1] >= ECHO_TIMEOUT_MS
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
