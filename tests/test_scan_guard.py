"""rivelo.exe --scan refuses to sweep anywhere but in a simulated LAN, and the
harness refuses a Wine prefix whose wineserver runs outside the LAN.

Each case starts from the test's own simulated LAN and makes its namespace
wrong on purpose, in ways that keep it closed: the only link still leads to
the LAN's other namespace (a default route goes through one of its hosts,
which has none), and an added interface is a veth pair whose both ends stay
inside. rivelo then runs there through `ip netns exec` directly, past
simlan.sh exec (which would refuse first). Never in the machine's own
namespace: if the guard were broken, such a run would sweep a real network.
"""

import os
import subprocess

import pytest

from simlan import WINE, IsolationError, WineRunner
from simlan.simlan import SIMLAN
from simlan.wine import WINESERVER
from transcript import CHANNEL, read

REFUSED = 20
MARKER = "RIVELO_SIMULATED_LAN"
OUTSIDE = "192.0.2"  # TEST-NET-1: documentation only, never routed


@pytest.fixture
def wine(simulated_lan, x_display):
    with WineRunner(simulated_lan, display=x_display, dpi=144, reuse="lan-prefix") as runner:
        yield runner


def move_self_outside(lan):
    subprocess.run(["ip", "-n", lan.namespace, "addr", "del", f"{lan.self_address}/24", "dev", lan.namespace],
                   check=True)
    subprocess.run(["ip", "-n", lan.namespace, "addr", "add", f"{OUTSIDE}.23/24", "dev", lan.namespace],
                   check=True)


def add_second_interface(lan):
    """A veth pair with both ends inside the namespace: it leads nowhere else."""
    for command in (["link", "add", "guard0", "type", "veth", "peer", "name", "guard1"],
                    ["addr", "add", f"{OUTSIDE}.5/24", "dev", "guard0"],
                    ["link", "set", "guard0", "up"], ["link", "set", "guard1", "up"]):
        subprocess.run(["ip", "-n", lan.namespace, *command], check=True)


def add_gateway(lan):
    """A default route through a simulated host: still closed, but it looks like a way out."""
    subprocess.run(["ip", "-n", lan.namespace, "route", "add", "default", "via", lan.address(1)], check=True)


@pytest.mark.parametrize("make_wrong, marker, reason", [
    (move_self_outside, OUTSIDE, "outside the simulated LANs' range"),
    (add_second_interface, "lan", "exactly one network adapter"),
    (None, None, f"{MARKER} is not set"),
    (add_gateway, "lan", "found gateways [{lan.namespace} {lan.prefix}.1]"),
    (None, "prefix", "but this network namespace's token is"),
], ids=["outside address", "second interface", "no marker", "gateway",
        "marker typed by hand"])
def test_scan_outside_a_simulated_lan_is_refused_before_any_listen(wine, simulated_lan, windows_build, tmp_path,
                                                                   make_wrong, marker, reason):
    lan = simulated_lan
    reason = reason.format(lan=lan)
    if make_wrong is not None:
        make_wrong(lan)
        with pytest.raises(IsolationError):
            lan.check()
    assert subprocess.run(["ip", "-n", lan.lan_namespace, "route", "show", "default"],
                          capture_output=True, text=True, check=True).stdout == ""
    env = wine.env()
    env.pop(MARKER, None)
    if marker is not None:
        env[MARKER] = {"lan": lan.marker, "prefix": lan.prefix}.get(marker, marker)
    with open(tmp_path / "stderr", "wb") as stderr:
        try:
            run = subprocess.run(["ip", "netns", "exec", lan.namespace, WINE, str(windows_build / "rivelo.exe"),
                                  "--scan", "--quit-when-done=20000", "--transcript=t.jsonl"],
                                 env=env, cwd=tmp_path, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=stderr, timeout=120)
        finally:
            wine.stop_server()
    errors = (tmp_path / "stderr").read_text(errors="replace")
    transcript = read(tmp_path / "t.jsonl")
    guard = transcript.of("scan_guard")
    assert run.returncode == REFUSED, errors
    assert [line["allowed"] for line in guard] == [False]
    assert reason in guard[0]["reason"]
    assert transcript.of("message", channel=CHANNEL) == []
    refusal = [line for line in errors.splitlines() if "scan refused" in line]
    assert len(refusal) == 1 and reason in refusal[0] and "scripts/demo.sh" in refusal[0], errors


def test_a_wine_prefix_served_from_outside_the_lan_is_refused(simulated_lan, tmp_path):
    lan = simulated_lan
    prefix = tmp_path / "prefix"
    prefix.mkdir()
    lan.add_wineprefix(prefix)
    env = {**os.environ, "WINEPREFIX": str(prefix), "WINEDEBUG": "-all"}
    # A bare wineserver sends nothing; one in the LAN's other namespace stands for one outside.
    for namespace, refused in ((lan.lan_namespace, True), (lan.namespace, False)):
        subprocess.run(["ip", "netns", "exec", namespace, WINESERVER, "-p"], env=env, check=True)
        try:
            direct = subprocess.run([str(SIMLAN), "exec", lan.name, "--", "true"], env=env,
                                    capture_output=True, text=True)
            if refused:
                assert direct.returncode == 4 and "already served by wineserver" in direct.stderr, direct.stderr
                with pytest.raises(IsolationError, match="already served by wineserver"):
                    lan.run(["true"], env=env)
            else:
                assert direct.returncode == 0, direct.stderr
                assert lan.run(["true"], env=env).returncode == 0
        finally:
            subprocess.run([WINESERVER, "-k"], env=env)
            subprocess.run([WINESERVER, "-w"], env=env, timeout=30)
