import os
import subprocess
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
EXAMPLES = sorted((REPO / "examples").glob("*.alg"))


@pytest.fixture(scope="session")
def zekalg_path():
    """The zekalg command: ZEKALG_CLI, or the default preset's build."""
    path = Path(os.environ.get("ZEKALG_CLI") or REPO / "build" / "default" / "zekalg")
    if not path.is_file():
        pytest.skip(f"the zekalg command is not built ({path})")
    return path


@pytest.fixture(scope="session")
def zekalg_command(zekalg_path):
    """Runs the zekalg command and returns its stdout, stderr and exit
    status."""
    path = zekalg_path

    def run(*args):
        done = subprocess.run([str(path), *map(str, args)], capture_output=True, text=True,
                              encoding="utf-8", check=False)
        return done.stdout, done.stderr, done.returncode

    return run


@pytest.fixture
def algorithm_file(tmp_path):
    """Writes an algorithm text to a UTF-8 file and returns its path."""
    def write(text, name="algorithm.alg"):
        path = tmp_path / name
        path.write_text(text, encoding="utf-8")
        return path

    return write
