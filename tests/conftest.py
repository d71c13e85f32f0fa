"""Fixtures shared by the integration tests (run with /usr/bin/python3 -m pytest tests).

windows_build   folder holding rivelo.exe, flutter_windows.dll, the plug-ins and data/;
                $RIVELO_WINDOWS_BUILD (that folder or the build tree) or build/windows.
simulated_lan   an open simlan.SimulatedLan; shape it with
                @pytest.mark.simulated_lan(hosts=[...], self_host=N, labels={...}).
x_display       one private Xvfb for the session (simlan.XDisplay).
wine            a simlan.WineRunner in simulated_lan on x_display; set the DPI with
                @pytest.mark.wine(dpi=144).

A missing prerequisite fails the test with the reason; nothing is skipped.
"""

import os
import shutil
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "scripts"))

from simlan import WINE, SimulatedLan, WineRunner, XDisplay

TOOLS = {
    "ip": "iproute2", "Xvfb": "xvfb", "import": "imagemagick", "identify": "imagemagick",
    "xwininfo": "x11-utils", "fping": "fping",
}


def pytest_configure(config):
    config.addinivalue_line("markers", "simulated_lan(**kwargs): arguments of the simulated_lan fixture")
    config.addinivalue_line("markers", "wine(**kwargs): arguments of the wine fixture (dpi=...)")


def _require_network_tools():
    if os.geteuid() != 0:
        pytest.fail("simulated LANs need root: run the integration tests as root")
    missing = sorted({pkg for tool, pkg in TOOLS.items() if shutil.which(tool) is None})
    if not os.access(WINE, os.X_OK):
        missing.append("wine64")
    if missing:
        pytest.fail("missing Debian packages: " + " ".join(missing) + " (run scripts/install-deps.sh)")


def _find_rivelo(root):
    for folder in (root, root / "bin", root / "shell"):
        if (folder / "rivelo.exe").is_file():
            return folder
    return None


@pytest.fixture(scope="session")
def windows_build():
    configured = os.environ.get("RIVELO_WINDOWS_BUILD")
    root = Path(configured) if configured else REPO / "build" / "windows"
    folder = _find_rivelo(root)
    if folder is None:
        pytest.fail(f"rivelo.exe not found under {root} (build it: cmake --preset windows && "
                    "cmake --build --preset windows, or set RIVELO_WINDOWS_BUILD)")
    return folder


@pytest.fixture(scope="session")
def x_display():
    _require_network_tools()
    with XDisplay() as display:
        yield display


@pytest.fixture
def simulated_lan(request):
    _require_network_tools()
    marker = request.node.get_closest_marker("simulated_lan")
    with SimulatedLan(**(marker.kwargs if marker else {})) as lan:
        yield lan


@pytest.fixture
def wine(request, simulated_lan, x_display):
    marker = request.node.get_closest_marker("wine")
    with WineRunner(simulated_lan, display=x_display, **(marker.kwargs if marker else {})) as runner:
        yield runner
