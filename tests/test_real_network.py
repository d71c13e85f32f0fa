"""Discovery against the real Windows network platform, under Wine, inside a
simulated LAN: the lookup finds the namespace's address, the sweep's answers
are exactly the simulated hosts, silent hosts take the echo timeout.

Runs real_network_check.exe (cmake --build --preset windows --target
real_network_check). The program is started only through the harness, which
proves the namespace closed before Wine starts; the program itself refuses to
probe unless its lookup finds the address the harness assigned.
"""

import os
import re
from pathlib import Path

import pytest

from simlan import SimulatedLan, WineRunner

REPO = Path(__file__).resolve().parents[1]
HOSTS = [1, 7, 200]
SELF = 23
SILENT = 100


def _find_check_program():
    root = Path(os.environ.get("RIVELO_WINDOWS_BUILD", REPO / "build" / "windows"))
    found = sorted(root.rglob("real_network_check.exe"))
    if not found:
        pytest.fail(f"real_network_check.exe not found under {root} (build it: cmake --preset windows "
                    "&& cmake --build --preset windows --target real_network_check)")
    return found[0]


def _parse(stdout):
    report = {"events": [], "probes": [], "lookup": None, "end": None, "sweep_ms": None}
    for line in stdout.splitlines():
        fields = line.split()
        if not fields:
            continue
        if fields[0] == "lookup" and len(fields) == 4:
            report["lookup"] = tuple(fields[1:])
        elif fields[0] in ("event", "probe") and len(fields) == 4:
            report[fields[0] + "s"].append((fields[1], fields[2] == "1", int(fields[3])))
        elif fields[0] in ("end", "sweep_ms") and len(fields) == 2:
            report[fields[0]] = int(fields[1])
    return report


@pytest.fixture(scope="module")
def run():
    if os.geteuid() != 0:
        pytest.fail("simulated LANs need root: run the integration tests as root")
    program = _find_check_program()
    with SimulatedLan(hosts=HOSTS, self_host=SELF, tag="rvdisc") as lan:
        with WineRunner(lan) as wine:
            refused = wine.run(program, ["--expect-self", lan.address(SELF + 1)], timeout=120)
            swept = wine.run(program, ["--expect-self", lan.self_address, "--probe", str(SILENT),
                                       "--probe", str(HOSTS[1])], timeout=180)
        prefix = lan.prefix
    swept.stdout = swept.stdout.replace("\r\n", "\n")
    report = _parse(swept.stdout)
    print(f"\nsweep {report['sweep_ms']} ms; single probes {report['probes']}")
    return {"prefix": prefix, "refused": refused, "swept": swept, "report": report}


def address(run, host):
    return f"{run['prefix']}.{host}"


def test_program_refuses_to_probe_when_the_lookup_finds_another_address(run):
    refused = run["refused"]
    assert refused.returncode == 3, refused.stderr
    assert "IP as unsigned long" not in refused.stdout


def test_lookup_finds_the_namespace_address_mask_and_prefix(run):
    swept = run["swept"]
    assert swept.returncode == 0 and not swept.timed_out, swept.stderr
    assert run["report"]["lookup"] == (address(run, SELF), "255.255.255.0", run["prefix"] + ".")
    assert f"Local IP: {address(run, SELF)}\nSubnet Mask: 255.255.255.0\n" in swept.stdout
    assert f"Subnet prefix: {run['prefix']}.\n" in swept.stdout


def test_sweep_reports_every_host_once_and_only_the_simulated_ones_answer(run):
    events = run["report"]["events"]
    assert sorted(ip for ip, _, _ in events) == sorted(address(run, h) for h in range(1, 255))
    answered = {ip for ip, success, _ in events if success}
    # The machine's own address answers too: it lies in the swept /24.
    assert answered == {address(run, h) for h in HOSTS + [SELF]}
    assert run["report"]["end"] >= max(ms for _, _, ms in events) + 200


def test_every_probe_prints_its_address_as_a_number(run):
    numbers = re.findall(r"IP as unsigned long: (\d+)", run["swept"].stdout)
    assert len(numbers) == 254 + 2
    a, b, c, d = (int(x) for x in address(run, SELF).split("."))
    assert str(a + 256 * b + 65536 * c + 16777216 * d) in numbers


def test_a_silent_host_answers_after_the_echo_timeout(run):
    probes = {ip: (success, ms) for ip, success, ms in run["report"]["probes"]}
    silent_success, silent_ms = probes[address(run, SILENT)]
    present_success, present_ms = probes[address(run, HOSTS[1])]
    assert not silent_success
    # The timeout is 1000 ms; Wine's timers and a loaded machine add a little.
    assert 900 <= silent_ms <= 2500
    assert present_success
    assert present_ms < 500


def test_whole_sweep_takes_six_timeouts_and_six_pauses(run):
    # Every batch holds a silent host, so each lasts one timeout and is
    # followed by a pause: 6 x (1000 + 200) ms is the floor. The ceiling only
    # catches serialised probes, which would take minutes.
    assert 7000 <= run["report"]["sweep_ms"] <= 15000
