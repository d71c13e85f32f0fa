"""The simulated-LAN harness refuses a namespace that is not isolated, never
shares or damages what it did not make, and leaves nothing behind."""

import signal
import subprocess
import sys
from pathlib import Path

import pytest

from simlan import IsolationError, SimulatedLan, WineRunner, open_lans
from simlan.simlan import SIMLAN, STATE_DIR, link_exists, namespace_exists


def simlan(*args):
    return subprocess.run([str(SIMLAN), *args], capture_output=True, text=True)


def leftovers(name, prefix):
    found = [f"namespace or link {end}" for end in (f"{name}-a", f"{name}-b")
             if namespace_exists(end) or link_exists(end)]
    found += [str(p) for p in (Path(f"/etc/netns/{name}-a"), STATE_DIR / name, STATE_DIR / f"net-{prefix}")
              if p.exists()]
    if name in open_lans():
        found.append(f"listed by simlan.sh: {name}")
    return found


def ip(lan, *args):
    subprocess.run(["ip", "-n", lan.namespace, *args], check=True)


def map_host_name_elsewhere(lan):
    lan.hosts_file.write_text(lan.hosts_file.read_text().replace(lan.self_address, lan.address(24)))


@pytest.mark.parametrize("tamper, reason", [
    (lambda lan: ip(lan, "link", "add", "hxextra0", "type", "veth", "peer", "name", "hxextra1"), "interfaces"),
    (map_host_name_elsewhere, "resolves to"),
    (lambda lan: lan.hosts_file.unlink(), "hosts is missing"),
    (lambda lan: ip(lan, "route", "add", "default", "via", lan.address(1)), "routes beyond"),
    (lambda lan: ip(lan, "route", "add", "192.168.0.0/16", "via", lan.address(1)), "routes beyond"),
    (lambda lan: ip(lan, "addr", "add", "192.168.99.5/24", "dev", lan.namespace), "IPv4 addresses"),
    (lambda lan: subprocess.run(["ip", "-n", lan.lan_namespace, "link", "set", lan.lan_namespace,
                                 "netns", "1"], check=True), "peer"),
], ids=["interface", "host-name", "no-hosts-file", "default-route", "wider-route", "address", "peer-moved"])
def test_a_tampered_lan_fails_the_check(simulated_lan, tamper, reason):
    tamper(simulated_lan)
    with pytest.raises(IsolationError, match=reason):
        simulated_lan.check()


def test_nothing_starts_in_a_tampered_lan(simulated_lan, x_display, tmp_path):
    ip(simulated_lan, "link", "add", "hxextra0", "type", "veth", "peer", "name", "hxextra1")
    refused = simlan("exec", simulated_lan.name, "--", "touch", str(tmp_path / "ran"))
    assert (refused.returncode, "isolation" in refused.stderr) == (4, True)
    with pytest.raises(IsolationError):
        with WineRunner(simulated_lan, display=x_display, root=tmp_path):
            pass
    assert (list(tmp_path.iterdir()), simulated_lan.pids()) == ([], [])


def test_up_refuses_a_taken_name_and_bad_arguments_and_makes_nothing(simulated_lan):
    assert simlan("up", simulated_lan.name, "10.77.251", "23", "1").returncode == 3
    simulated_lan.check()
    for args in (["hxnametoolong1", "10.77.250", "23", "1"], ["hxbad", "10.77.256", "23", "1"],
                 ["hxbad", "10.77.250", "0", "1"], ["hxbad", "10.77.250", "23", "23"],
                 ["hxbad", "10.77.250", "23", "1=bad label"]):
        assert simlan("up", *args).returncode == 2, args
        assert leftovers(args[0], args[1]) == []
    assert not (STATE_DIR / "net-10.77.251").exists()


def test_leaving_by_exception_removes_everything():
    with pytest.raises(ZeroDivisionError):
        with SimulatedLan(hosts=[1]) as lan:
            name, prefix = lan.name, lan.prefix
            assert leftovers(name, prefix) != []
            1 / 0
    assert leftovers(name, prefix) == []


def test_sigterm_removes_everything():
    holder = subprocess.Popen([sys.executable, "-c", "import sys, time\n"
                               f"sys.path.insert(0, {str(SIMLAN.parent)!r})\n"
                               "from simlan import SimulatedLan\n"
                               "with SimulatedLan(hosts=[1]) as lan:\n"
                               "    print(lan.name, lan.prefix, flush=True)\n"
                               "    time.sleep(120)\n"], stdout=subprocess.PIPE, text=True)
    name, prefix = holder.stdout.readline().split()
    holder.send_signal(signal.SIGTERM)
    assert holder.wait(timeout=60) != 0
    assert leftovers(name, prefix) == []


def test_down_cleans_a_half_made_lan_and_leaves_what_it_did_not_make():
    name, prefix = simlan("pick", "hxhalf").stdout.split()
    (STATE_DIR / f"net-{prefix}").mkdir(parents=True)
    (STATE_DIR / name).mkdir()
    (STATE_DIR / name / "prefix").write_text(prefix + "\n")
    subprocess.run(["ip", "netns", "add", f"{name}-a"], check=True)
    subprocess.run(["ip", "link", "add", f"{name}-a", "type", "veth", "peer", "name", f"{name}-b"], check=True)
    subprocess.run(["ip", "netns", "add", "hxforeign-a"], check=True)
    try:
        assert simlan("down", name).returncode == 0
        assert leftovers(name, prefix) == []
        assert simlan("down", name).returncode == 0
        assert simlan("down", "hxforeign").returncode == 0
        assert namespace_exists("hxforeign-a")
    finally:
        subprocess.run(["ip", "netns", "del", "hxforeign-a"], check=True)
