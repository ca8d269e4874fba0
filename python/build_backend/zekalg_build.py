"""The package's build backend (PEP 517), with no build requirements.

It configures ``python/CMakeLists.txt`` (which brings in the whole engine),
builds the engine library and the tools library, and writes a wheel
holding ``src/zekalg`` and those libraries. The wheel is tagged
``py3-none-<platform>``: the package talks to the libraries through ctypes
and fits every Python 3 on the platform.

Environment variables:
    ZEKALG_BUILD_DIR        where CMake builds (default: build/python in the
                            source tree, kept so that a second install only
                            rebuilds what changed)
    CMAKE_BUILD_PARALLEL_LEVEL  parallel compile jobs (default 2)
    CMAKE_BUILD_TYPE        default Release
"""

from __future__ import annotations

import base64
import hashlib
import os
import re
import subprocess
import sys
import sysconfig
import zipfile
from pathlib import Path

NAME = "zekalg"
SUMMARY = "Python interface of the zekalg engine for algorithmic questions"
PACKAGE_DIR = Path(__file__).resolve().parent.parent  # python/
PROJECT_DIR = PACKAGE_DIR.parent


def _version() -> str:
    text = (PROJECT_DIR / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*zekalg\s+VERSION\s+([0-9.]+)", text)
    if found is None:
        raise RuntimeError(f"no project version in {PROJECT_DIR / 'CMakeLists.txt'}")
    return found.group(1)


def _dist_info() -> str:
    return f"{NAME}-{_version()}.dist-info"


def _tag() -> str:
    platform = re.sub(r"[^A-Za-z0-9]", "_", sysconfig.get_platform())
    return f"py3-none-{platform}"


def _metadata() -> str:
    readme = (PACKAGE_DIR / "README.md").read_text(encoding="utf-8")
    return (
        "Metadata-Version: 2.1\n"
        f"Name: {NAME}\n"
        f"Version: {_version()}\n"
        f"Summary: {SUMMARY}\n"
        "Requires-Python: >=3.9\n"
        "Description-Content-Type: text/markdown\n"
        "\n" + readme
    )


def _wheel_file() -> str:
    return (
        "Wheel-Version: 1.0\n"
        f"Generator: {NAME} build backend\n"
        "Root-Is-Purelib: false\n"
        f"Tag: {_tag()}\n"
    )


def _run(command: list[str]) -> None:
    print("+", " ".join(command), flush=True)
    subprocess.run(command, check=True, stdout=sys.stderr)


def _build_libraries() -> dict[str, Path]:
    """Builds the native targets; returns {file name in the wheel: built file}."""
    if not (PROJECT_DIR / "src" / "api" / "exports.cpp").is_file():
        raise RuntimeError(
            f"{PACKAGE_DIR} must be built inside the zekalg source tree "
            "(the engine sources are in its parent directory)")
    build_dir = Path(os.environ.get("ZEKALG_BUILD_DIR") or PROJECT_DIR / "build" / "python")
    build_type = os.environ.get("CMAKE_BUILD_TYPE") or "Release"
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or "2"
    _run(["cmake", "-S", str(PACKAGE_DIR), "-B", str(build_dir),
          f"-DCMAKE_BUILD_TYPE={build_type}"])
    targets, files = [], {}
    for line in (build_dir / "bundle.txt").read_text(encoding="utf-8").splitlines():
        target, name, path = line.split(" ", 2)
        targets.append(target)
        files[name] = Path(path)
    command = ["cmake", "--build", str(build_dir), "-j", jobs]
    for target in targets:
        command += ["--target", target]
    _run(command)
    return files


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


# --- PEP 517 hooks -------------------------------------------------------

def get_requires_for_build_wheel(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    target = Path(metadata_directory) / _dist_info()
    target.mkdir(parents=True, exist_ok=True)
    (target / "METADATA").write_text(_metadata(), encoding="utf-8")
    (target / "WHEEL").write_text(_wheel_file(), encoding="utf-8")
    return target.name


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    libraries = _build_libraries()
    files: list[tuple[str, bytes, int]] = []
    source = PACKAGE_DIR / "src"
    for path in sorted((source / NAME).rglob("*")):
        if path.is_file() and "__pycache__" not in path.parts:
            files.append((path.relative_to(source).as_posix(), path.read_bytes(), 0o644))
    for name, built in libraries.items():
        files.append((f"{NAME}/{name}", built.read_bytes(), 0o755))
    info = _dist_info()
    files.append((f"{info}/METADATA", _metadata().encode(), 0o644))
    files.append((f"{info}/WHEEL", _wheel_file().encode(), 0o644))
    record = [_record_line(name, data) for name, data, _ in files] + [f"{info}/RECORD,,"]
    files.append((f"{info}/RECORD", ("\n".join(record) + "\n").encode(), 0o644))

    wheel_name = f"{NAME}-{_version()}-{_tag()}.whl"
    wheel_path = Path(wheel_directory) / wheel_name
    with zipfile.ZipFile(wheel_path, "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data, mode in files:
            entry = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            entry.external_attr = (0o100000 | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(entry, data)
    return wheel_name
