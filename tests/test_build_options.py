"""Configuring the build: a real engine library and the stand-in plug-ins (or
the reverse) cannot be mixed, and configuring says what to set."""

import subprocess
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[1]


@pytest.mark.parametrize("given, missing", [("RIVELO_ENGINE_IMPORT_LIB", "RIVELO_PLUGIN_IMPORT_LIBS"),
                                            ("RIVELO_PLUGIN_IMPORT_LIBS", "RIVELO_ENGINE_IMPORT_LIB")])
def test_one_real_import_option_without_the_other_is_refused(tmp_path, given, missing):
    result = subprocess.run(["cmake", "-S", str(REPO), "-B", str(tmp_path), f"-D{given}=C:/real/import.lib"],
                            capture_output=True, text=True, timeout=300)
    assert result.returncode != 0
    assert f"{given} is set, {missing} is not" in result.stderr
    assert "set both" in " ".join(result.stderr.split())
