#!/usr/bin/env bash
# Installs the Python package (python/) into a fresh virtual environment,
# the way its README says, and runs its tests with pytest and README.md's
# Python example.
set -euo pipefail
cd "$(dirname "$0")/.."
# python3-venv brings pip; the package's build needs no other Python
# package. pytest comes from Debian, seen through the system site packages.
bash scripts/deps.sh python3-venv python3-pytest

venv=build/python-venv
rm -rf "$venv"
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install ./python

# The zekalg command, which the tests compare the package with.
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target zekalg_cli
ZEKALG_CLI="$PWD/build/default/zekalg" "$venv/bin/python" -m pytest -p no:cacheprovider python/tests
# The README's Python example as written, with the package just installed.
bash tests/docs/host_examples.sh python "$PWD" "$PWD/$venv/bin/python" \
  "$PWD/build/default/zekalg" build/python-docs
