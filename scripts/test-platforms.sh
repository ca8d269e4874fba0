#!/usr/bin/env bash
# Runs one random series of algorithms and requests
# (tests/differential/differential_host.c) through every build that ships
# and requires each output to be byte for byte the native Linux x86-64
# library's:
#   fma      the native library again, with the C library's FMA code paths
#            switched off (GLIBC_TUNABLES), so that its own math is shown
#            not to depend on them
#   win32    the 32-bit DLL, under Wine
#   win64    the 64-bit DLL, under Wine
#   aarch64  the Linux aarch64 library, under qemu-user
# Before its comparison, each cross build runs its own tests (ctest: export
# table, conformance cases, C interface, two processes). Installs the cross
# compilers, Wine and qemu when missing (Debian, as root or with sudo).
#
#   bash scripts/test-platforms.sh [fma] [win32] [win64] [aarch64]
#
# With no argument, all four. ZEKALG_DIFFERENTIAL_CASES (default 5000) and
# ZEKALG_DIFFERENTIAL_SEED (default 1) choose how many cases and which
# series; ZEKALG_NATIVE_BUILD (default build/default) is the native build
# directory that writes the reference output. One case runs again with
#   build/default/tests/differential_host run build/default/libzekalg.so SEED CASE 1 out.txt
set -euo pipefail
cd "$(dirname "$0")/.."

platforms=("$@")
((${#platforms[@]})) || platforms=(fma win32 win64 aarch64)
wants() {
  local p
  for p in "${platforms[@]}"; do [ "$p" = "$1" ] && return 0; done
  return 1
}
for p in "${platforms[@]}"; do
  case "$p" in
    fma | win32 | win64 | aarch64) ;;
    *) echo "unknown platform '$p': fma, win32, win64 or aarch64" >&2; exit 2 ;;
  esac
done

cases="${ZEKALG_DIFFERENTIAL_CASES:-5000}"
seed="${ZEKALG_DIFFERENTIAL_SEED:-1}"
native="${ZEKALG_NATIVE_BUILD:-build/default}"
out=build/plat-out
mkdir -p "$out"

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

start=$SECONDS
needed=(cmake make)
if wants win32; then needed+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386); fi
if wants win64; then needed+=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64); fi
if wants aarch64; then needed+=(g++-aarch64-linux-gnu qemu-user); fi
missing=()
for p in "${needed[@]}"; do
  installed "$p" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  # Wine runs 32-bit programs with the i386 build of its loader.
  if wants win32 && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo_cmd dpkg --add-architecture i386
  fi
  # Console programs only: the recommended fonts, sound and GUI helpers are
  # not needed.
  bash scripts/apt-install.sh --no-install-recommends "${missing[@]}"
  echo "installed in $((SECONDS - start)) s"
fi

# The reference: the native library and host, written once.
begin=$SECONDS
bash scripts/deps.sh
if [ "$native" = build/default ]; then
  cmake --preset default >/dev/null
elif [ ! -f "$native/CMakeCache.txt" ]; then
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$native" -j2 --target zekalg differential_host >/dev/null
host="$native/tests/differential_host"
"$host" run "$native/libzekalg.so" "$seed" 0 "$cases" "$out/native.txt"
echo "native Linux x86-64: $cases cases (series $seed) written in $((SECONDS - begin)) s"

# compare NAME OUTPUT START: the platform's output against the native one.
compare() {
  "$host" compare "$out/native.txt" "$2"
  echo "$1 vs native: $cases cases compared, 0 differ, $((SECONDS - $3)) s"
}

# Bit 12 of the first feature word (CPUID 1, ECX) is FMA; the dynamic
# loader lists the features it lets the C library use.
fma_active() {
  local word
  word=$(/lib64/ld-linux-x86-64.so.2 --list-diagnostics 2>/dev/null |
    sed -n 's/^x86\.cpu_features\.features\[0x0\]\.active\[0x2\]=//p')
  [ -n "$word" ] && (((word & 0x1000) != 0)) && echo yes || echo no
}

if wants fma; then
  begin=$SECONDS
  # glibc 2.33 and later; older ones spell them -AVX2_Usable,-FMA_Usable.
  plain="glibc.cpu.hwcaps=-AVX2,-FMA"
  echo "FMA in the C library: native run $(fma_active), with $plain $(GLIBC_TUNABLES=$plain fma_active)"
  GLIBC_TUNABLES=$plain "$host" run "$native/libzekalg.so" "$seed" 0 "$cases" "$out/fma-off.txt"
  compare "Linux x86-64 without FMA" "$out/fma-off.txt" "$begin"
fi

# Wine keeps its state in a prefix; a private one per build keeps the tests
# away from any user's Wine set-up. No display is needed: the hosts are
# console programs, and the Mono and Gecko installers are skipped. `wine`
# starts 64-bit programs with wine64.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=

# windows_build PRESET LABEL: builds the DLL, runs its tests and the series.
windows_build() {
  local preset=$1 label=$2 begin=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2 >/dev/null
  export WINEPREFIX="$PWD/build/$preset/wine-prefix"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1
    wineserver --wait
  fi
  echo "$label built in $((SECONDS - begin)) s"
  begin=$SECONDS
  ctest --preset "$preset"
  echo "$label tests ran in $((SECONDS - begin)) s"
  begin=$SECONDS
  wine "build/$preset/tests/windows/differential_host.exe" run "Z:$PWD/build/$preset/zekalg.dll" \
    "$seed" 0 "$cases" "Z:$PWD/$out/$preset.txt"
  compare "$label" "$out/$preset.txt" "$begin"
}

wants win32 && windows_build windows "Win32 DLL"
wants win64 && windows_build windows64 "Win64 DLL"

if wants aarch64; then
  begin=$SECONDS
  cmake --preset aarch64 >/dev/null
  cmake --build --preset aarch64 -j2 >/dev/null
  echo "Linux aarch64 built in $((SECONDS - begin)) s"
  begin=$SECONDS
  ctest --preset aarch64
  echo "Linux aarch64 tests ran in $((SECONDS - begin)) s"
  begin=$SECONDS
  qemu-aarch64 -L /usr/aarch64-linux-gnu build/aarch64/tests/cross/differential_host run \
    build/aarch64/libzekalg.so "$seed" 0 "$cases" "$out/aarch64.txt"
  compare "Linux aarch64" "$out/aarch64.txt" "$begin"
fi
echo "platforms (${platforms[*]}) passed in $((SECONDS - start)) s"
