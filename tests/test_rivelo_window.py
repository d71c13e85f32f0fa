"""rivelo.exe's window and start-up under Wine, seen through the stand-in
engine's transcript: visibility, DPI scaling, plug-in registration, the
arguments and paths handed to the engine, message routing and exit codes.

One simulated LAN and one Wine prefix serve the whole module; every run of
rivelo.exe happens inside that LAN."""

import subprocess

import pytest

from simlan import WINE, SimulatedLan, WineRunner
from rivelo_runs import (DISCOVERY_CHANNEL, PLUGINS, build_launcher, copy_without_data,
                         run_rivelo)

WM_FONTCHANGE = 0x001D
CLAIMED_MESSAGE = 0x8123
CLAIM_RESULT = 0x5EED
THEME_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize"


@pytest.fixture(scope="module")
def wine(x_display):
    with SimulatedLan(hosts=[1], self_host=23) as lan, WineRunner(lan, display=x_display) as runner:
        yield runner


@pytest.fixture(scope="module")
def launcher(tmp_path_factory):
    return build_launcher(tmp_path_factory.mktemp("launcher"))


@pytest.fixture(scope="module")
def started(wine, windows_build, tmp_path_factory):
    """One plain run that closes itself after its first frame."""
    run = run_rivelo(wine, windows_build, tmp_path_factory.mktemp("started"),
                     ["--close-after-ms=300"])
    assert not run.timed_out
    return run


def test_closing_the_window_ends_with_exit_code_0(started):
    assert started.returncode == 0, started.stderr
    assert started.first("quit")["reason"] == "close_after"
    assert started.of_type("view_controller_destroyed"), "the view controller was released"


def test_window_stays_hidden_until_the_first_frame(started):
    frame = started.first("first_frame")
    assert frame["callback"], "a next-frame callback was pending"
    assert frame["before"]["visible"] is False
    assert frame["after"]["visible"] is True
    assert frame["after"]["state"] == "normal"
    assert frame["after"]["view_parent_is_top_level"]


def test_engine_gets_the_data_folder_paths(started):
    properties = started.first("engine_properties")
    assert properties["assets_path"] == "data\\flutter_assets"
    assert properties["icu_data_path"] == "data\\icudtl.dat"
    assert properties["aot_library_path"] == "data\\app.so"
    assert properties["entrypoint"] == ""
    assert properties["result"] == "created"


def test_plugins_register_once_each_in_order_before_channel_and_view(started):
    registered = started.of_type("plugin_registered")
    assert [line["plugin"] for line in registered] == PLUGINS
    assert all(line["registrar_matches"] for line in registered), registered

    last_plugin = started.position(lambda l: l is registered[-1])
    channel = started.position(
        lambda l: l["type"] == "set_callback" and l["channel"] == DISCOVERY_CHANNEL and l["callback"])
    frame_callback = started.position(lambda l: l["type"] == "next_frame_callback_set")
    redraw = started.position(lambda l: l["type"] == "redraw")
    assert None not in (channel, frame_callback, redraw)
    # The view becomes the content between the channel and the frame callback.
    assert last_plugin < channel < frame_callback < redraw


def test_view_controller_gets_the_client_area(started):
    created = started.first("view_controller_created")
    left, top, right, bottom = started.first("first_frame")["before"]["client"]
    assert (created["width"], created["height"]) == (right - left, bottom - top)
    assert created["width"] < 700 and created["height"] < 600, "the frame takes its share"


@pytest.mark.parametrize("dpi, rect", [
    (120, [12, 12, 12 + 875, 12 + 750]),
    (144, [15, 15, 15 + 1050, 15 + 900]),
    (96, [10, 10, 10 + 700, 10 + 600]),  # last, so later tests run at 96 DPI
])
def test_window_is_scaled_to_the_monitor_dpi(wine, windows_build, tmp_path, dpi, rect):
    wine.set_dpi(dpi)
    run = run_rivelo(wine, windows_build, tmp_path, ["--close-after-ms=300"])
    assert run.returncode == 0, run.stderr
    after = run.first("first_frame")["after"]
    assert after["dpi"] == dpi
    assert after["top_level"] == rect


@pytest.mark.parametrize("command_tail, expected", [
    ("", []),
    ('one "two words"', ["one", "two words"]),
    ('a "" b', ["a", "", "b"]),
    ("gr\\u00fc\\u00df \\u65e5\\u672c", ["grüß", "日本"]),
    ("first bad\\ud800 last", ["first", "", "last"]),
], ids=["none", "quoted-phrase", "empty-quoted", "non-ascii", "lone-surrogate"])
def test_arguments_reach_the_engine_as_utf8_in_order(wine, windows_build, launcher, tmp_path,
                                                     command_tail, expected):
    tail = f"{command_tail} --close-after-ms=200".strip()
    run = run_rivelo(wine, windows_build, tmp_path, launcher=launcher, command_tail=tail)
    assert run.returncode == 0, run.stderr
    properties = run.first("engine_properties")
    expected_argv = [*expected, "--close-after-ms=200", "--transcript=transcript.jsonl"]
    assert properties["argc"] == len(expected_argv)
    assert properties["argv_hex"] == [a.encode("utf-8").hex() for a in expected_argv]


def test_missing_data_folder_fails_with_exit_code_1(wine, windows_build, tmp_path):
    folder = copy_without_data(windows_build, tmp_path / "bin")
    run = run_rivelo(wine, folder, tmp_path / "work", ["--close-after-ms=200"], timeout=60)
    assert not run.timed_out, "no window may be left waiting"
    assert run.returncode == 1
    assert "Failed to create view controller." in run.stderr
    assert not run.of_type("plugin_registered")
    assert not run.of_type("first_frame")


def test_font_change_reloads_fonts_and_claimed_messages_bypass_the_window(
        wine, windows_build, tmp_path):
    run = run_rivelo(wine, windows_build, tmp_path,
                     ["--probe-messages", f"--claim-message={CLAIMED_MESSAGE:#x}",
                      "--close-after-ms=300"])
    assert run.returncode == 0, run.stderr
    probes = {line["message"]: line for line in run.of_type("probe")}
    font = probes[WM_FONTCHANGE]
    assert font["fonts_reloaded"] == 1
    assert font["claimed"] is False
    claimed = probes[CLAIMED_MESSAGE]
    assert claimed["claimed"] is True
    # The default handling would have answered 0.
    assert claimed["result"] == CLAIM_RESULT


def set_light_theme(wine, value):
    if value is None:
        argv = [WINE, "reg", "delete", THEME_KEY, "/v", "AppsUseLightTheme", "/f"]
    else:
        argv = [WINE, "reg", "add", THEME_KEY, "/v", "AppsUseLightTheme", "/t", "REG_DWORD",
                "/d", str(value), "/f"]
    wine.lan.run(argv, env=wine.env(), stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    wine.stop_server()


@pytest.mark.parametrize("value", [0, 1, None], ids=["dark", "light", "absent"])
def test_theme_setting_is_read_without_failing(wine, windows_build, tmp_path, value):
    set_light_theme(wine, value)
    run = run_rivelo(wine, windows_build, tmp_path, ["--close-after-ms=300"])
    assert run.returncode == 0, run.stderr
    assert run.first("first_frame")["after"]["visible"] is True
