"""rivelo.exe under Wine in a simulated LAN at 144 DPI, seen through the stand-in
engine's transcript (standin/engine/transcript.md). Two runs share one LAN and
one Wine prefix: a window closed while three sweeps run, and a folder without
the application's data. The full sweep that must report exactly the simulated
hosts is the demo's run (test_demo.py)."""

import json
import shutil
from pathlib import Path

import pytest

from simlan import SimulatedLan, WineRunner
from wire_reader import MethodCall, Success, decode_envelope, decode_method_call

CHANNEL = "com.tarnok.rivelo/scanForPingableDevices"
PLUGINS = [
    "AutoUpdaterWindowsPluginCApi", "ConnectivityPlusWindowsPlugin", "FileSelectorWindows",
    "OpenDirWindowsPluginCApi", "PrintingPlugin", "ScreenRetrieverWindowsPluginCApi",
    "TrayManagerPlugin", "UrlLauncherWindows", "WindowManagerPlugin", "WindowsSingleInstancePlugin",
]
WM_FONTCHANGE = 0x001D
CLAIMED_MESSAGE = 0x8123
CLAIM_RESULT = 0x5EED


@pytest.fixture(scope="module")
def wine(x_display):
    with SimulatedLan(hosts=[1, 7, 200], self_host=23) as lan, \
            WineRunner(lan, display=x_display, dpi=144, reuse="lan-prefix") as runner:
        yield runner


def run_rivelo(wine, folder, work_dir, args):
    """The run's result and its transcript lines."""
    work_dir.mkdir(parents=True, exist_ok=True)
    result = wine.run(Path(folder) / "rivelo.exe", [*args, "--transcript=t.jsonl"], timeout=60, cwd=work_dir)
    transcript = work_dir / "t.jsonl"
    lines = transcript.read_text(encoding="utf-8").splitlines() if transcript.exists() else []
    assert not result.timed_out, "no window may be left waiting"
    return result, [json.loads(line) for line in lines]


def test_closing_during_three_sweeps(wine, windows_build, tmp_path):
    args = ["--listens=3", "--close-after-ms=1500", "--probe-messages"]
    result, lines = run_rivelo(wine, windows_build, tmp_path, args)
    assert result.returncode == 0, result.stderr
    first = {}
    for index, line in enumerate(lines):
        first.setdefault(line["type"], (index, line))

    properties = first["engine_properties"][1]
    assert (properties["assets_path"], properties["icu_data_path"], properties["aot_library_path"]) == \
        ("data\\flutter_assets", "data\\icudtl.dat", "data\\app.so")
    assert properties["argv"] == [*args, "--transcript=t.jsonl"]

    # Hidden until the first frame, then shown where 144 DPI puts (10, 10) and 700 x 600.
    frame = first["first_frame"][1]
    assert frame["callback"] and not frame["before"]["visible"]
    assert frame["after"]["visible"] and frame["after"]["state"] == "normal"
    assert (frame["after"]["dpi"], frame["after"]["top_level"]) == (144, [15, 15, 1065, 915])
    assert frame["after"]["view_parent_is_top_level"]
    left, top, right, bottom = frame["before"]["client"]
    created = first["view_controller_created"][1]
    assert (created["width"], created["height"]) == (right - left, bottom - top)

    # Start-up order: view controller, plug-ins, channel, content, next-frame callback, redraw.
    registered = [(i, line) for i, line in enumerate(lines) if line["type"] == "plugin_registered"]
    assert [line["plugin"] for _, line in registered] == PLUGINS
    assert all(line["registrar_matches"] for _, line in registered)
    channel = next(i for i, line in enumerate(lines)
                   if line["type"] == "set_callback" and line["channel"] == CHANNEL and line["callback"])
    assert first["view_controller_created"][0] < registered[0][0] < registered[-1][0] < channel \
        < first["next_frame_callback_set"][0] < first["redraw"][0] < first["first_frame"][0]

    # The engine sees every window message first; a claimed one never reaches the window.
    probes = {line["message"]: line for line in lines if line["type"] == "probe"}
    assert (probes[WM_FONTCHANGE]["fonts_reloaded"], probes[WM_FONTCHANGE]["claimed"]) == (1, False)
    assert (probes[CLAIMED_MESSAGE]["claimed"], probes[CLAIMED_MESSAGE]["result"]) == (True, CLAIM_RESULT)
    assert [line for line in lines if line["type"] == "window_message" and line["name"] == "WM_CHAR"], \
        "the message loop translates key presses"

    messages = [line for line in lines if line["type"] == "message" and line["channel"] == CHANNEL]
    calls = [decode_method_call(bytes.fromhex(m["hex"])) for m in messages if m["direction"] == "to_native"]
    answers = [decode_envelope(bytes.fromhex(line["hex"])) for line in lines if line["type"] == "response"]
    assert (calls, answers) == ([MethodCall("listen", None)] * 3, [Success(None)] * 3)
    sent = [m for m in messages if m["direction"] == "to_dart"]
    assert all(m["size"] for m in sent), "a stopped sweep does not end its stream"
    events = [decode_envelope(bytes.fromhex(m["hex"])).result for m in sent]
    assert 0 < len(events) < 3 * 254, "the window closed in the middle of the sweeps"
    answered = {event["ip"] for event in events if event["success"]}
    assert answered and answered <= {wine.lan.address(h) for h in (1, 7, 200, 23)}
    assert f"Local IP: {wine.lan.self_address}\r\n" in result.stdout, "console lines reach the parent's output"

    # Teardown: the sweeps stop before the engine goes, and nothing is sent after it.
    assert first["quit"][1]["reason"] == "close_after"
    shutdown_index, shutdown = first["shutdown"]
    assert first["view_controller_destroyed"][0] < shutdown_index
    assert (shutdown["outstanding_messenger_refs"], shutdown["unanswered"]) == (0, [])
    assert "after_teardown" not in first
    assert all(m["t"] <= shutdown["t"] for m in sent)
    assert "flutter_windows (stand-in):" not in result.stderr


def test_missing_data_fails_with_exit_code_1(wine, windows_build, tmp_path):
    folder = shutil.copytree(windows_build, tmp_path / "bin", ignore=shutil.ignore_patterns("data"))
    result, lines = run_rivelo(wine, folder, tmp_path / "work", ["--close-after-ms=200"])
    assert result.returncode == 1
    assert "Failed to create view controller." in result.stderr
    assert [line["type"] for line in lines if line["type"] in ("plugin_registered", "first_frame")] == []
