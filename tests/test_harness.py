"""The simulated-LAN and Wine harness: isolation is proven, reachability is what
was asked for, and nothing is left behind."""

import os
import signal
import subprocess
import sys
from pathlib import Path

import pytest

from simlan import (IsolationError, SimulatedLan, WineRunner, colour_count, find_window, is_blank,
                     open_lans, prefix_pids, screenshot, screenshot_when_drawn)
from simlan.simlan import SIMLAN, link_exists, namespace_exists

TESTS = Path(__file__).resolve().parent
STATE_DIR = Path(os.environ.get("RIVELO_SIMLAN_STATE", "/run/rivelo-simlan"))
MINGW = "x86_64-w64-mingw32-g++-posix"


def simlan(*args):
    return subprocess.run([str(SIMLAN), *args], capture_output=True, text=True)


def leftovers(name, prefix):
    found = [f"namespace {ns}" for ns in (f"{name}-a", f"{name}-b") if namespace_exists(ns)]
    found += [f"link {link}" for link in (f"{name}-a", f"{name}-b") if link_exists(link)]
    found += [str(p) for p in (Path(f"/etc/netns/{name}-a"), STATE_DIR / name, STATE_DIR / f"net-{prefix}")
              if p.exists()]
    if name in open_lans():
        found.append(f"listed by simlan.sh list: {name}")
    return found


def answering(lan, addresses):
    """The subset of `addresses` that answers one echo from inside the LAN."""
    out = lan.run(["fping", "-r0", "-t500", *addresses], capture_output=True, text=True).stdout
    return {line.split()[0] for line in out.splitlines() if line.endswith("is alive")}


@pytest.fixture(scope="module")
def probe_tool(tmp_path_factory):
    if subprocess.run(["which", MINGW], capture_output=True).returncode != 0:
        pytest.fail(f"{MINGW} is missing (Debian package g++-mingw-w64-x86-64-posix)")
    exe = tmp_path_factory.mktemp("probe") / "probe_tool.exe"
    subprocess.run([MINGW, "-std=c++17", "-Wall", "-Wextra", "-Werror", "-O1", "-static", "-o", str(exe),
                    str(TESTS / "probe_tool.cpp"), "-lws2_32", "-liphlpapi", "-lgdi32", "-luser32"],
                   check=True)
    return exe


# --- isolation ---------------------------------------------------------------

def add_extra_interface(lan):
    subprocess.run(["ip", "-n", lan.namespace, "link", "add", "hxextra0", "type", "veth",
                    "peer", "name", "hxextra1"], check=True)


def map_host_name_elsewhere(lan):
    text = lan.hosts_file.read_text().replace(lan.self_address, lan.address(lan.self_host + 1))
    lan.hosts_file.write_text(text)


def remove_hosts_file(lan):
    lan.hosts_file.unlink()


def add_default_route(lan):
    subprocess.run(["ip", "-n", lan.namespace, "route", "add", "default", "via", lan.address(1)], check=True)


def add_route_beyond_the_lan(lan):
    subprocess.run(["ip", "-n", lan.namespace, "route", "add", "192.168.0.0/16", "via", lan.address(1)],
                   check=True)


def add_second_address(lan):
    subprocess.run(["ip", "-n", lan.namespace, "addr", "add", "192.168.99.5/24", "dev", lan.namespace],
                   check=True)


def move_lan_end_out(lan):
    subprocess.run(["ip", "-n", lan.lan_namespace, "link", "set", lan.lan_namespace, "netns", "1"], check=True)


@pytest.mark.simulated_lan(hosts=[1, 7], self_host=23)
def test_fresh_lan_passes_the_check(simulated_lan):
    simulated_lan.check()
    out = simulated_lan.run(["getent", "ahostsv4", os.uname().nodename], capture_output=True, text=True).stdout
    assert {line.split()[0] for line in out.splitlines()} == {simulated_lan.self_address}
    links = simulated_lan.run(["ip", "-o", "link"], capture_output=True, text=True).stdout
    assert [line.split(": ")[1].split("@")[0] for line in links.splitlines()] == ["lo", simulated_lan.namespace]


@pytest.mark.parametrize("tamper, reason", [
    (add_extra_interface, "interfaces"),
    (map_host_name_elsewhere, "resolves to"),
    (remove_hosts_file, "hosts is missing"),
    (add_default_route, "routes beyond"),
    (add_route_beyond_the_lan, "routes beyond"),
    (add_second_address, "IPv4 addresses"),
    (move_lan_end_out, "peer"),
])
def test_tampered_lan_fails_the_check(simulated_lan, tamper, reason):
    tamper(simulated_lan)
    with pytest.raises(IsolationError, match=reason):
        simulated_lan.check()


def test_exec_refuses_to_run_in_a_tampered_lan(simulated_lan, tmp_path):
    add_extra_interface(simulated_lan)
    marker = tmp_path / "ran"
    result = subprocess.run([str(SIMLAN), "exec", simulated_lan.name, "--", "touch", str(marker)],
                            capture_output=True, text=True)
    assert result.returncode == 4
    assert "isolation" in result.stderr
    assert not marker.exists()


def test_wine_runner_refuses_a_tampered_lan_before_starting_wine(simulated_lan, x_display, tmp_path):
    add_extra_interface(simulated_lan)
    runner = WineRunner(simulated_lan, display=x_display, root=tmp_path)
    with pytest.raises(IsolationError):
        with runner:
            pass
    assert simulated_lan.pids() == []
    assert list(tmp_path.iterdir()) == []


def test_routing_table_has_no_way_out(simulated_lan):
    # Asks the routing table only; nothing is sent.
    result = simulated_lan.run(["ip", "route", "get", "192.0.2.1"], capture_output=True, text=True)
    assert result.returncode != 0
    assert "unreachable" in result.stderr


# --- reachability ------------------------------------------------------------

@pytest.mark.simulated_lan(hosts=[1, 7, 200], self_host=23)
def test_only_the_simulated_hosts_answer(simulated_lan):
    asked = [simulated_lan.address(h) for h in (1, 2, 7, 22, 24, 199, 200, 201, 254)]
    assert answering(simulated_lan, asked) == {simulated_lan.address(h) for h in (1, 7, 200)}


def test_concurrent_lans_are_separate():
    with SimulatedLan(hosts=[9], self_host=23) as first, SimulatedLan(hosts=[9], self_host=23) as second:
        assert first.name != second.name
        assert first.prefix != second.prefix
        assert answering(first, [first.address(9), second.address(9)]) == {first.address(9)}
        assert answering(second, [first.address(9), second.address(9)]) == {second.address(9)}


def test_labels_name_hosts_inside_the_lan():
    with SimulatedLan(hosts=[1, 50], labels={1: "gateway", 50: "printer"}) as lan:
        out = lan.run(["getent", "ahostsv4", "printer"], capture_output=True, text=True).stdout
        assert out.split()[0] == lan.address(50)


# --- cleanup ------------------------------------------------------------------

def test_leaving_removes_everything():
    with SimulatedLan(hosts=[1]) as lan:
        name, prefix = lan.name, lan.prefix
        assert leftovers(name, prefix) != []
    assert leftovers(name, prefix) == []


def test_leaving_by_exception_removes_everything():
    with pytest.raises(ZeroDivisionError):
        with SimulatedLan(hosts=[1]) as lan:
            name, prefix = lan.name, lan.prefix
            1 / 0
    assert leftovers(name, prefix) == []


HOLDER = """
import sys, time
sys.path.insert(0, {scripts!r})
from simlan import SimulatedLan
with SimulatedLan(hosts=[1]) as lan:
    print(lan.name, lan.prefix, flush=True)
    time.sleep(120)
"""


@pytest.mark.parametrize("sig", [signal.SIGINT, signal.SIGTERM])
def test_signal_removes_everything(sig):
    holder = subprocess.Popen([sys.executable, "-c", HOLDER.format(scripts=str(TESTS.parent / "scripts"))],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    name, prefix = holder.stdout.readline().split()
    assert leftovers(name, prefix) != []
    holder.send_signal(sig)
    holder.wait(timeout=60)
    assert holder.returncode != 0
    assert leftovers(name, prefix) == []


def test_down_cleans_a_half_made_lan_and_is_idempotent():
    name, prefix = simlan("pick", "hxhalf").stdout.split()
    (STATE_DIR / name).mkdir(parents=True)
    (STATE_DIR / f"net-{prefix}").mkdir()
    (STATE_DIR / name / "prefix").write_text(prefix + "\n")
    subprocess.run(["ip", "netns", "add", f"{name}-a"], check=True)
    subprocess.run(["ip", "link", "add", f"{name}-a", "type", "veth", "peer", "name", f"{name}-b"], check=True)
    assert leftovers(name, prefix) != []
    assert simlan("down", name).returncode == 0
    assert leftovers(name, prefix) == []
    assert simlan("down", name).returncode == 0


def test_down_leaves_namespaces_it_did_not_make():
    subprocess.run(["ip", "netns", "add", "hxforeign-a"], check=True)
    try:
        assert simlan("down", "hxforeign").returncode == 0
        assert namespace_exists("hxforeign-a")
    finally:
        subprocess.run(["ip", "netns", "del", "hxforeign-a"], check=True)


@pytest.mark.parametrize("args", [
    ["hxnametoolong1", "10.77.250", "23", "1"],
    ["Hx", "10.77.250", "23", "1"],
    ["hxbad", "10.77", "23", "1"],
    ["hxbad", "10.77.256", "23", "1"],
    ["hxbad", "10.77.250", "0", "1"],
    ["hxbad", "10.77.250", "23", "255"],
    ["hxbad", "10.77.250", "23", "23"],
    ["hxbad", "10.77.250", "23", "1=bad label"],
])
def test_up_rejects_bad_arguments_and_makes_nothing(args):
    result = simlan("up", *args)
    assert result.returncode == 2
    assert leftovers(args[0], args[1]) == []


def test_up_refuses_a_taken_name_and_keeps_the_first(simulated_lan):
    result = simlan("up", simulated_lan.name, "10.77.251", "23", "1")
    assert result.returncode == 3
    simulated_lan.check()
    assert not (STATE_DIR / "net-10.77.251").exists()


# --- Wine ---------------------------------------------------------------------

@pytest.fixture(scope="module")
def probe_lan():
    with SimulatedLan(hosts=[1, 7, 200], self_host=23) as lan:
        yield lan


@pytest.fixture(scope="module")
def probe_wine(probe_lan, x_display):
    with WineRunner(probe_lan, display=x_display) as runner:
        yield runner


def test_wine_sees_only_the_simulated_lan(probe_wine, probe_lan, probe_tool):
    result = probe_wine.run(probe_tool, timeout=60)
    assert result.returncode == 0, result.stdout + result.stderr
    facts = [line.split(" ", 1) for line in result.stdout.splitlines()]
    assert ["hostname", os.uname().nodename] in facts
    assert [value for key, value in facts if key == "resolved"] == [probe_lan.self_address]
    assert [value for key, value in facts if key == "adapter"] == [f"{probe_lan.self_address} 255.255.255.0"]


def test_exit_code_and_stderr_come_back(probe_wine, probe_tool):
    result = probe_wine.run(probe_tool, ["--exit-code", "7"], timeout=60)
    assert (result.returncode, result.timed_out) == (7, False)
    assert "exiting on request" in result.stderr


def test_timeout_kills_the_program_and_its_wine(probe_wine, probe_tool):
    result = probe_wine.run(probe_tool, ["--hang"], timeout=3)
    assert result.timed_out
    assert prefix_pids(probe_wine.prefix) == []


def test_screenshot_shows_the_window(probe_wine, probe_tool, tmp_path):
    before = screenshot(probe_wine.display, tmp_path / "before.png")
    assert is_blank(before)
    process = probe_wine.start(probe_tool, ["--window", "20000"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = find_window(probe_wine.display, "harness probe", timeout=60)
        assert window is not None
        shot = screenshot_when_drawn(probe_wine.display, tmp_path / "window.png", window=window)
        assert colour_count(shot) >= 2
    finally:
        process.kill()
        process.wait()
        probe_wine.stop_server()


def test_dpi_setting_reaches_the_program(simulated_lan, x_display, probe_tool):
    with WineRunner(simulated_lan, display=x_display, dpi=144) as runner:
        assert runner.run(probe_tool, ["--dpi"], timeout=60).stdout.split() == ["dpi", "144"]


def test_closing_the_runner_leaves_no_wine_behind(simulated_lan, x_display, probe_tool):
    with WineRunner(simulated_lan, display=x_display) as runner:
        process = runner.start(probe_tool, ["--hang"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        prefix = runner.prefix
        assert prefix_pids(prefix) != []
    process.wait(timeout=30)
    assert prefix_pids(prefix) == []
    assert simulated_lan.pids() == []
    assert not prefix.exists()
