#!/usr/bin/env bash
# Cross-builds the 32-bit Windows DLL and runs its tests under Wine, in a
# private Wine prefix inside the build directory. Installs the cross
# compiler and Wine when they are missing (Debian, as root or with sudo).
set -euo pipefail
cd "$(dirname "$0")/.."

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

start=$SECONDS
missing=()
for p in cmake make g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386; do
  installed "$p" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  # Wine runs 32-bit programs with the i386 build of its loader.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo_cmd dpkg --add-architecture i386
  fi
  $sudo_cmd apt-get update -qq
  # Console programs only: the recommended fonts, sound and GUI helpers are
  # not needed.
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
  echo "installed in $((SECONDS - start)) s"
fi

cmake --preset windows >/dev/null
cmake --build --preset windows -j2

# Wine keeps its state in the prefix; a private one keeps the tests away
# from any user's Wine set-up. No display is needed: the hosts are console
# programs, and the Mono and Gecko installers are skipped.
export WINEPREFIX="$PWD/build/windows/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
boot=$SECONDS
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1
  wineserver --wait
  echo "Wine prefix made in $((SECONDS - boot)) s"
fi

run=$SECONDS
ctest --preset windows
echo "Windows tests ran in $((SECONDS - run)) s"

# The Win32-versus-Linux comparison: one host program, built for both,
# draws random algorithms and requests from a seed and writes every status,
# text and length; the Linux library and the DLL must write the same bytes.
# ZEKALG_DIFFERENTIAL_CASES (default 5000) and ZEKALG_DIFFERENTIAL_SEED
# (default 1) choose how many cases and which series, e.g.
#   ZEKALG_DIFFERENTIAL_CASES=100000 bash scripts/test-windows.sh
cases="${ZEKALG_DIFFERENTIAL_CASES:-5000}"
seed="${ZEKALG_DIFFERENTIAL_SEED:-1}"
compared=$SECONDS
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target zekalg differential_host >/dev/null
out=build/windows/differential
mkdir -p "$out"
build/default/tests/differential_host run build/default/libzekalg.so "$seed" 0 "$cases" "$out/linux.txt"
wine build/windows/tests/windows/differential_host.exe run "Z:$PWD/build/windows/zekalg.dll" \
  "$seed" 0 "$cases" "Z:$PWD/$out/windows.txt"
build/default/tests/differential_host compare "$out/linux.txt" "$out/windows.txt"
echo "Win32 vs Linux: $cases cases (series $seed) compared in $((SECONDS - compared)) s"
