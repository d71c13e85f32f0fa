"""rivelo.exe under Wine in a simulated LAN at 144 DPI, seen through the stand-in
engine's transcript (standin/engine/transcript.md): a window closed while three
sweeps run. The shell's unit tests (shell/*_test.cpp) cover the failed start and
what the window does with each message; the full sweep that must report exactly
the simulated hosts is the demo's run (test_demo.py)."""

import pytest

from simlan import SimulatedLan, WineRunner
from transcript import CHANNEL, read
from windows_build import plugins
from wire_reader import Success

CLAIMED_MESSAGE = 0x8123
CLAIM_RESULT = 0x5EED


@pytest.fixture(scope="module")
def wine(x_display):
    with SimulatedLan() as lan, \
            WineRunner(lan, display=x_display, dpi=144, reuse="lan-prefix") as runner:
        yield runner


def test_closing_during_three_sweeps(wine, windows_build, tmp_path):
    args = ["--listens=3", "--close-after-ms=1500", "--probe-messages"]
    result = wine.run(windows_build / "rivelo.exe", [*args, "--transcript=t.jsonl"], timeout=60, cwd=tmp_path)
    assert not result.timed_out, "no window may be left waiting"
    assert result.returncode == 0, result.stderr
    run = read(tmp_path / "t.jsonl")
    assert run.problems == []

    assert run.first("engine_properties")[1]["argv"] == [*args, "--transcript=t.jsonl"]

    # Shown at the first frame where 144 DPI puts (10, 10) and 700 x 600.
    _, frame = run.first("first_frame")
    assert frame["after"]["visible"] and frame["after"]["state"] == "normal"
    assert (frame["after"]["dpi"], frame["after"]["top_level"]) == (144, [15, 15, 1065, 915])
    left, top, right, bottom = frame["before"]["client"]
    _, created = run.first("view_controller_created")
    assert (created["width"], created["height"]) == (right - left, bottom - top)

    # Start-up order: view controller, plug-ins, channel, content, next-frame callback, redraw.
    registered = run.of("plugin_registered")
    assert [line["plugin"] for line in registered] == plugins()
    assert all(line["registrar_matches"] for line in registered)
    channel = run.of("set_callback", channel=CHANNEL, callback=True)[0]
    order = [run.first("view_controller_created")[0], run.first("plugin_registered")[0],
             run.records.index(registered[-1]), run.records.index(channel),
             *(run.first(kind)[0] for kind in ("next_frame_callback_set", "redraw", "first_frame"))]
    assert order == sorted(order)

    # The engine sees every window message first; a claimed one never reaches the window.
    claimed = run.of("probe", message=CLAIMED_MESSAGE)[0]
    assert (claimed["claimed"], claimed["result"]) == (True, CLAIM_RESULT)
    assert run.of("window_message", name="WM_CHAR"), "the message loop translates key presses"

    assert (len(run.listens), run.listen_answers) == (3, [Success(None)] * 3)
    assert run.ends == [], "a stopped sweep does not end its stream"
    assert 0 < len(run.events) < 3 * 254, "the window closed in the middle of the sweeps"
    answered = {ip for _, ip, success in run.events if success}
    assert answered and answered <= {*wine.lan.host_addresses, wine.lan.self_address}
    assert f"Local IP: {wine.lan.self_address}\r\n" in result.stdout, "console lines reach the parent's output"

    # Teardown: the sweeps stop before the engine goes, and nothing is sent after it.
    assert run.first("quit")[1]["reason"] == "close_after"
    assert run.first("view_controller_destroyed")[0] < run.first("shutdown")[0]
    assert run.teardown_problems() == []
    assert "flutter_windows (stand-in):" not in result.stderr

