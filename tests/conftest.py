"""Fixtures of the integration tests (run as root: /usr/bin/python3 -m pytest tests).

windows_build   folder holding rivelo.exe, flutter_windows.dll, the plug-ins and data/;
                $RIVELO_WINDOWS_BUILD (that folder or the build tree) or build/windows.
simulated_lan   a fresh simlan.SimulatedLan (hosts .1 and .7, this machine at SELF_HOST).
x_display       one private Xvfb for the session.

A missing prerequisite fails the test with the reason; nothing is skipped.
"""

import os
import shutil
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "scripts"))

from simlan import WINE, SimulatedLan, XDisplay  # noqa: E402
from windows_build import default_root, rivelo_folder  # noqa: E402

TOOLS = {"ip": "iproute2", "Xvfb": "xvfb", "import": "imagemagick", "identify": "imagemagick",
         "xwininfo": "x11-utils"}


def require_root_and_tools():
    if os.geteuid() != 0:
        pytest.fail("simulated LANs need root: run the integration tests as root")
    missing = sorted({pkg for tool, pkg in TOOLS.items() if shutil.which(tool) is None})
    if not os.access(WINE, os.X_OK):
        missing.append("wine64")
    if missing:
        pytest.fail("missing Debian packages: " + " ".join(missing) + " (run scripts/install-deps.sh)")


@pytest.fixture(scope="session")
def windows_build():
    folder = rivelo_folder(default_root())
    if folder is None:
        pytest.fail(f"rivelo.exe not found under {default_root()} (build it: cmake --preset windows && "
                    "cmake --build --preset windows, or set RIVELO_WINDOWS_BUILD)")
    return folder


@pytest.fixture(scope="session")
def x_display():
    require_root_and_tools()
    with XDisplay() as display:
        yield display


@pytest.fixture
def simulated_lan():
    require_root_and_tools()
    with SimulatedLan(hosts=[1, 7]) as lan:
        yield lan
