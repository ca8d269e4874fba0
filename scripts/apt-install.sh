#!/usr/bin/env bash
# Installs Debian packages (as root, or with sudo): apt-get update, then
# apt-get install. A failed update is a warning, not the end: when one index
# of the mirror is out of sync the others still load, and the packages
# usually install from them. An install never removes a package (apt-get
# stops instead), and one that fails stops the script, naming the packages.
# Usage: scripts/apt-install.sh [apt-get install option ...] PACKAGE...
set -euo pipefail

options=()
while (($#)) && [[ $1 == -* ]]; do
  options+=("$1")
  shift
done
(($#)) || exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if ! ${sudo_cmd[@]+"${sudo_cmd[@]}"} apt-get update -qq; then
  echo "warning: apt-get update failed; installing from the package lists there are" >&2
fi
if ! ${sudo_cmd[@]+"${sudo_cmd[@]}"} env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-remove ${options[@]+"${options[@]}"} "$@" >/dev/null; then
  echo "error: apt-get could not install: $*" >&2
  exit 1
fi
