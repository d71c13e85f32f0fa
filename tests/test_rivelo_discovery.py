"""The discovery stream end to end: rivelo.exe under Wine sweeps a simulated
LAN whose hosts .1, .7 and .200 answer (and its own address, .23); the
stand-in engine's scripted Dart side listens, and the transcript shows every
message on the channel, decoded with the Python reference codec."""

import subprocess
import time
from pathlib import Path

import pytest

from simlan import WINE, SimulatedLan, WineRunner, find_window, is_blank, screenshot_when_drawn
from reference_codec import MethodCall, Success, decode_envelope, decode_method_call
from rivelo_runs import read_transcript, run_rivelo

HOSTS = [1, 7, 200]
SELF_HOST = 23
# A full sweep of a silent /24 takes about 7.2 s (six batches of a 1 s echo
# time-out and a 200 ms pause); Wine's start comes on top.
SWEEP_TIMEOUT = 120


@pytest.fixture(scope="module")
def lan(x_display):
    with SimulatedLan(hosts=HOSTS, self_host=SELF_HOST) as simulated:
        yield simulated


@pytest.fixture(scope="module")
def wine(lan, x_display):
    with WineRunner(lan, display=x_display) as runner:
        yield runner


def decode_event(hex_text):
    """A host event sent to Dart: a success envelope around a map, as a dict."""
    envelope = decode_envelope(bytes.fromhex(hex_text))
    assert isinstance(envelope, Success), envelope
    return envelope.result.to_dict()


def decode_response(hex_text):
    return decode_envelope(bytes.fromhex(hex_text))


def decode_call(hex_text):
    return decode_method_call(bytes.fromhex(hex_text))


def events_and_ends(run):
    """Host events (decoded) and the number of end-of-stream messages sent to Dart."""
    events, ends = [], 0
    for line in run.messages("to_dart"):
        if line["size"] == 0:
            ends += 1
        else:
            events.append(decode_event(line["hex"]))
    return events, ends


def assert_full_sweeps(run, lan, sweeps):
    events, ends = events_and_ends(run)
    assert ends == sweeps
    assert len(events) == 254 * sweeps
    assert all(set(event) == {"ip", "success"} for event in events)
    prefix = lan.prefix
    addresses = sorted(event["ip"] for event in events)
    assert addresses == sorted(f"{prefix}.{n}" for n in range(1, 255) for _ in range(sweeps))
    answered = {event["ip"] for event in events if event["success"]}
    assert answered == {lan.address(h) for h in [*HOSTS, SELF_HOST]}
    # No event follows the last end of stream: with one sweep, its end comes last.
    assert run.messages("to_dart")[-1]["size"] == 0


def calls_and_responses(run):
    """The Dart side's calls on the channel and the answers they got, decoded."""
    calls = [decode_call(line["hex"]) for line in run.messages("to_native")]
    return calls, [decode_response(line["hex"]) for line in run.of_type("response")]


def test_listen_sweeps_the_subnet_once(wine, lan, windows_build, tmp_path):
    run = run_rivelo(wine, windows_build, tmp_path, ["--scan", "--quit-when-done"],
                     timeout=SWEEP_TIMEOUT)
    assert run.returncode == 0, run.stderr
    assert run.first("quit")["reason"] == "done"
    assert calls_and_responses(run) == ([MethodCall("listen", None)], [Success(None)])
    assert_full_sweeps(run, lan, sweeps=1)
    listen = run.messages("to_native")[0]
    end = [line for line in run.messages("to_dart") if line["size"] == 0][0]
    print(f"\nfirst frame after {run.first('first_frame')['t']:.0f} ms of engine time; "
          f"sweep {end['t'] - listen['t']:.0f} ms; whole run {run.seconds:.1f} s")


def test_cancel_does_not_stop_a_running_sweep(wine, lan, windows_build, tmp_path):
    run = run_rivelo(wine, windows_build, tmp_path,
                     ["--scan", "--cancel-after-ms=50", "--quit-when-done"], timeout=SWEEP_TIMEOUT)
    assert run.returncode == 0, run.stderr
    assert calls_and_responses(run) == ([MethodCall("listen", None), MethodCall("cancel", None)],
                                        [Success(None), Success(None)])
    assert_full_sweeps(run, lan, sweeps=1)


def test_two_listens_run_two_sweeps(wine, lan, windows_build, tmp_path):
    run = run_rivelo(wine, windows_build, tmp_path, ["--listens=2", "--quit-when-done"],
                     timeout=SWEEP_TIMEOUT)
    assert run.returncode == 0, run.stderr
    assert calls_and_responses(run) == ([MethodCall("listen", None)] * 2, [Success(None)] * 2)
    assert_full_sweeps(run, lan, sweeps=2)


def test_closing_during_a_sweep_stops_it_before_the_engine_goes(wine, windows_build, tmp_path):
    # Three sweeps at once make it likely that probes finish while the
    # window goes, which is when a sink could outlive its messenger.
    run = run_rivelo(wine, windows_build, tmp_path, ["--listens=3", "--close-after-ms=1500"],
                     timeout=SWEEP_TIMEOUT)
    assert not run.timed_out
    assert run.returncode == 0, run.stderr
    events, ends = events_and_ends(run)
    assert 0 < len(events) < 3 * 254, "the window closed in the middle of the sweeps"
    assert ends == 0, "a stopped sweep does not end its stream"
    shutdown = run.first("shutdown")
    assert shutdown["outstanding_messenger_refs"] == 0
    assert shutdown["unanswered"] == []
    assert not run.of_type("after_teardown")
    assert all(line["t"] <= shutdown["t"] for line in run.messages("to_dart"))
    assert "flutter_windows (stand-in):" not in run.stderr


def wait_for_line(transcript, predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = [line for line in read_transcript(transcript) if predicate(line)]
        if found:
            return found[0]
        time.sleep(0.2)
    return None


def is_end_of_stream(line):
    return line["type"] == "message" and line["direction"] == "to_dart" and line["size"] == 0


def test_screenshot_after_a_sweep_then_user_close(wine, windows_build, x_display, tmp_path):
    artifacts = Path(windows_build).resolve().parent / "artifacts"
    artifacts.mkdir(exist_ok=True)
    transcript = tmp_path / "transcript.jsonl"
    started = time.monotonic()
    process = wine.start(Path(windows_build) / "rivelo.exe",
                         ["--scan", "--transcript=transcript.jsonl"], cwd=tmp_path)
    try:
        assert wait_for_line(transcript, lambda l: l["type"] == "first_frame", SWEEP_TIMEOUT)
        first_frame_seconds = time.monotonic() - started
        assert wait_for_line(transcript, is_end_of_stream, SWEEP_TIMEOUT), "the sweep did not end"
        window = find_window(x_display.name, "rivelo", timeout=10)
        assert window is not None
        # The view paints what it received on its next frame.
        time.sleep(1.0)
        shot = screenshot_when_drawn(x_display.name, artifacts / "rivelo-after-sweep.png", window)
        assert not is_blank(shot)
        # As a user closing the window: taskkill without /f sends WM_CLOSE.
        wine.lan.run([WINE, "taskkill", "/im", "rivelo.exe"], env=wine.env(),
                     stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        process.wait(timeout=60)
        assert process.returncode == 0
        print(f"\nstart to first frame {first_frame_seconds:.1f} s (wall clock, Wine start included)")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        wine.stop_server()
