#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing.
# Usage: scripts/deps.sh [extra package ...]
set -euo pipefail

packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev pkg-config
  libcli11-dev nlohmann-json3-dev libedit-dev libcpp-httplib-dev "$@")
# The math functions' check against correctly rounded results (tests only).
packages+=(libmpfr-dev)
# The service: Boost.Beast and Asio (header-only).
packages+=(libboost1.81-dev)
# The README's HTTP example, run by the tests.
packages+=(curl)
# KaTeX, built into the workbench to typeset the student view's math.
packages+=(libjs-katex fonts-katex)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  bash "$(dirname "$0")/apt-install.sh" "${missing[@]}"
fi
