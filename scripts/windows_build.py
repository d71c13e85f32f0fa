"""Where a Windows build keeps the programs that the demo, the integration tests and
bench/lan_evidence.py run.

A build is named by its build tree (build/windows, the default, or
$RIVELO_WINDOWS_BUILD) or by the folder holding rivelo.exe (the tree's bin/).
"""

import os
import re
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
DEFAULT = REPO / "build" / "windows"


def default_root():
    return Path(os.environ.get("RIVELO_WINDOWS_BUILD") or DEFAULT)


def rivelo_folder(root):
    """The folder with rivelo.exe beside the engine library it loads, or None."""
    for folder in (root, root / "bin"):
        if (folder / "rivelo.exe").is_file() and (folder / "flutter_windows.dll").is_file():
            return folder
    return None


def echo_batch(root):
    """bench/echo_batch.exe of the build tree, or None."""
    for tree in (root, root.parent):
        if (tree / "bench" / "echo_batch.exe").is_file():
            return tree / "bench" / "echo_batch.exe"
    return None


def plugins():
    """Registrar names of the plug-ins every build links, in registration order (shell/plugin_list.h)."""
    return re.findall(r"^RIVELO_PLUGIN\((\w+),", (REPO / "shell" / "plugin_list.h").read_text(), re.MULTILINE)
