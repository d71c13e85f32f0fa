"""Runs rivelo.exe under Wine inside a simulated LAN and reads what the
stand-in engine library wrote to its transcript (standin/engine/transcript.md).

Every run goes through a simlan.WineRunner, so it happens inside a
namespace that the test made and whose isolation the harness proved first.
"""

import json
import shutil
import subprocess
from dataclasses import dataclass, field
from pathlib import Path

TRANSCRIPT = "transcript.jsonl"
DISCOVERY_CHANNEL = "com.tarnok.rivelo/scanForPingableDevices"
LAUNCHER_SOURCE = Path(__file__).resolve().parent / "launch_with_command_line.cpp"
MINGW_CXX = "x86_64-w64-mingw32-g++-posix"

PLUGINS = [
    "AutoUpdaterWindowsPluginCApi", "ConnectivityPlusWindowsPlugin", "FileSelectorWindows",
    "OpenDirWindowsPluginCApi", "PrintingPlugin", "ScreenRetrieverWindowsPluginCApi",
    "TrayManagerPlugin", "UrlLauncherWindows", "WindowManagerPlugin", "WindowsSingleInstancePlugin",
]


@dataclass
class RiveloRun:
    returncode: int
    stdout: str
    stderr: str
    timed_out: bool
    seconds: float
    lines: list = field(default_factory=list)

    def of_type(self, kind):
        return [line for line in self.lines if line["type"] == kind]

    def first(self, kind):
        found = self.of_type(kind)
        assert found, f"no {kind!r} line in the transcript"
        return found[0]

    def position(self, predicate):
        """Index of the first line matching `predicate`, or None."""
        return next((i for i, line in enumerate(self.lines) if predicate(line)), None)

    def messages(self, direction, channel=DISCOVERY_CHANNEL):
        return [line for line in self.of_type("message")
                if line["direction"] == direction and line["channel"] == channel]


def windows_path(path):
    """The name under which Wine's Z: drive shows a Unix path."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def read_transcript(path):
    if not path.exists():
        return []
    return [json.loads(text) for text in path.read_text(encoding="utf-8").splitlines() if text]


def run_rivelo(wine, folder, work_dir, args=(), timeout=60, launcher=None, command_tail=""):
    """Runs rivelo.exe from `folder` with `args` and the transcript argument,
    in `work_dir`, and returns the run with its transcript.

    With `launcher`, `command_tail` is appended verbatim (\\uXXXX escapes
    allowed) to the Windows command line after the program path, instead of
    `args`: the launcher hands it to CreateProcessW unchanged.
    """
    work_dir.mkdir(parents=True, exist_ok=True)
    transcript = work_dir / TRANSCRIPT
    transcript.unlink(missing_ok=True)
    exe = Path(folder) / "rivelo.exe"
    if launcher is None:
        result = wine.run(exe, [*args, f"--transcript={TRANSCRIPT}"], timeout=timeout, cwd=work_dir)
    else:
        command_line = f'"{windows_path(exe)}" {command_tail} --transcript={TRANSCRIPT}'
        result = wine.run(launcher, [command_line], timeout=timeout, cwd=work_dir)
    return RiveloRun(result.returncode, result.stdout, result.stderr, result.timed_out,
                     result.seconds, read_transcript(transcript))


def build_launcher(directory):
    """Cross-compiles the command-line launcher; returns the .exe path."""
    exe = Path(directory) / "launch_with_command_line.exe"
    subprocess.run([MINGW_CXX, "-municode", "-static", "-O2", "-o", str(exe), str(LAUNCHER_SOURCE)],
                   check=True, capture_output=True)
    return exe


def copy_without_data(folder, destination):
    """A copy of the runnable folder without data/, the application's files."""
    shutil.copytree(folder, destination, ignore=shutil.ignore_patterns("data"))
    return destination
