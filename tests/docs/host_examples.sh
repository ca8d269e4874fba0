#!/usr/bin/env bash
# Runs the host examples of README.md and docs/hosting.md as they are
# written, so that a host's first hour goes the way the documents say.
#
#   host_examples.sh native SOURCE_DIR BUILD_DIR WORK_DIR
#       README "A first algorithm": sum.alg and its `$ zekalg ...` session
#       (each command run, its output compared where one is shown; `serve`
#       is the HTTP example's); README "A first host": the C example and
#       the curl example; docs/hosting.md: the C++ and the C example. C and
#       C++ build against BUILD_DIR installed into WORK_DIR/prefix, found
#       through pkg-config as the README says, with no LD_LIBRARY_PATH.
#   host_examples.sh python SOURCE_DIR PYTHON ZEKALG WORK_DIR
#       README "A first host": the Python example, with PYTHON (where the
#       package is installed); ZEKALG is the command that gives the
#       expected values.
#
# Examples are taken from the documents mechanically: the first indented
# (or fenced) block after the paragraph that starts the example. The C and
# C++ ones are fragments: each is put in a main() of its own, after
# <stdio.h> (<string> for C++) and the fragment's own #include lines. The
# curl example asks a `zekalg serve` on a free loopback port in place of
# the README's 8080. Every example must give for `sq` what
# `zekalg solve --seed N` gives for its algorithm and seed. CC, CXX, CFLAGS,
# CXXFLAGS and LDFLAGS are the build's compilers and flags.
set -euo pipefail
mode="$1"
src="$2"
readme="$src/README.md"
hosting="$src/docs/hosting.md"

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# block FILE HEADING LEAD: the first indented or fenced block after the
# first line holding LEAD under the heading line HEADING (empty LEAD: the
# section's first block), without its indentation.
block() {
  awk -v heading="$2" -v lead="$3" '
    function finish() { done = 1; exit }
    state == 3 { if ($0 ~ /^```/) finish(); print; next }
    state == 2 {
      if ($0 ~ /^    /) {
        for (; blanks > 0; blanks--) print ""
        print substr($0, 5)
        next
      }
      if ($0 ~ /^[ \t]*$/) { blanks++; next }
      finish()
    }
    infence { if ($0 ~ /^```/) infence = 0; prevblank = 0; next }
    /^#+ / {
      if (state == 1) exit
      insec = ($0 == heading)
      state = (insec && lead == "") ? 1 : 0
      prevblank = 1
      next
    }
    !insec { if ($0 ~ /^```/) infence = 1; next }
    state == 0 {
      if ($0 ~ /^```/) infence = 1
      else if (index($0, lead) > 0) state = 1
      prevblank = ($0 ~ /^[ \t]*$/)
      next
    }
    state == 1 {
      if ($0 ~ /^```/) { state = 3; done = 1; next }
      if ($0 ~ /^    / && prevblank) { state = 2; done = 1; print substr($0, 5); next }
      prevblank = ($0 ~ /^[ \t]*$/)
    }
    END { exit done ? 0 : 1 }
  ' "$1"
}

# extract OUT FILE HEADING LEAD: block into the file OUT; fails when the
# document has no such example.
extract() {
  if ! block "$2" "$3" "$4" >"$1" || ! [ -s "$1" ]; then
    echo "no example after '$4' under '$3' in $2" >&2
    exit 1
  fi
}

# expected_sq ZEKALG EXAMPLE: what `zekalg solve` answers for sq with the
# algorithm (the example's first quoted text holding a '|', its \n read as
# line breaks) and the seed (the first number after "seed") of EXAMPLE.
expected_sq() {
  local algorithm seed
  algorithm=$(grep -o '"[^"]*|[^"]*"' "$2" | head -1 | sed 's/^"//; s/"$//')
  seed=$(grep -o 'seed[^0-9]*[0-9][0-9]*' "$2" | head -1 | grep -o '[0-9]*$')
  [ -n "$algorithm" ] && [ -n "$seed" ] || {
    echo "no algorithm or seed in $2" >&2
    exit 1
  }
  printf '%b\n' "$algorithm" >"$2.alg"
  "$1" solve "$2.alg" --seed "$seed" -- sq
}

# sum.alg, the README's first algorithm, which the session and the Python
# example read.
write_sum_alg() {
  extract "$1/sum.alg" "$readme" "## A first algorithm" ""
}

if [ "$mode" = python ]; then
  python="$3"
  zekalg="$4"
  work="$5"
  rm -rf "$work"
  mkdir -p "$work"
  write_sum_alg "$work"
  extract "$work/example.py" "$readme" "## A first host" "In Python"
  sq=$(expected_sq "$zekalg" "$work/example.py")
  if ! out=$(cd "$work" && timeout 60 "$python" example.py 2>&1); then
    fail "README Python example: $out"
  elif [[ "$(head -1 <<<"$out")" != "$sq "*"'sq': '$sq'"* ]]; then
    fail "README Python example printed '$out', expected sq = $sq"
  fi
  ((failures == 0)) && echo "README Python example: sq = $sq"
  exit $((failures > 0))
fi

[ "$mode" = native ] || {
  echo "usage: host_examples.sh native|python ..." >&2
  exit 2
}
build="$3"
work="$4"
zekalg="$build/zekalg"
rm -rf "$work"
mkdir -p "$work/session"

# 1. The session of "A first algorithm", in a directory holding sum.alg.
write_sum_alg "$work/session"
extract "$work/session.txt" "$readme" "## A first algorithm" 'Saved as `sum.alg`'
commands=0
run_session_command() {
  [ -n "$1" ] || return 0
  commands=$((commands + 1))
  local out
  if ! out=$(cd "$work/session" && PATH="$build:$PATH" timeout 60 bash -c "$1" 2>&1); then
    fail "README '\$ $1': $out"
  elif [ -n "$2" ] && [ "$out" != "$2" ]; then
    fail "README '\$ $1' printed:"$'\n'"$out"$'\n'"the README shows:"$'\n'"$2"
  fi
}
command=""
shown=""
while IFS= read -r line; do
  if [[ "$line" == '$ '* ]]; then
    run_session_command "$command" "$shown"
    command="${line#\$ }"
    command="${command%%  #*}"
    command="${command%"${command##*[! ]}"}"
    shown=""
    # The service runs for the HTTP example below.
    [[ "$command" == "zekalg serve"* ]] && command=""
  else
    shown+="${shown:+$'\n'}$line"
  fi
done <"$work/session.txt"
run_session_command "$command" "$shown"
((commands >= 4)) || fail "README session: only $commands commands found"

# 2. The C and C++ examples against the installed prefix.
"${CMAKE:-cmake}" --install "$build" --prefix "$work/prefix" >/dev/null
pc=$(find "$work/prefix" -name zekalg.pc | head -1)
[ -n "$pc" ] || {
  echo "no zekalg.pc installed" >&2
  exit 1
}
export PKG_CONFIG_PATH="${pc%/*}"
read -r -a pkg_flags <<<"$(pkg-config --cflags --libs zekalg)"
read -r -a cflags <<<"${CFLAGS:-}"
read -r -a cxxflags <<<"${CXXFLAGS:-}"
read -r -a ldflags <<<"${LDFLAGS:-}"

# check_fragment NAME LANGUAGE FILE HEADING LEAD OUTPUT: the fragment
# wrapped in a main(), built, run; it prints OUTPUT ("sq": the expected
# value of sq and a line break).
check_fragment() {
  local name="$1" language="$2" fragment="$work/$1.txt" program="$work/$1" out expected
  extract "$fragment" "$3" "$4" "$5"
  expected=""
  [ "$6" = sq ] && expected=$(expected_sq "$zekalg" "$fragment")
  {
    if [ "$language" = c ]; then echo '#include <stdio.h>'; else echo '#include <string>'; fi
    grep '^#include' "$fragment" || true
    if [ "$language" = c ]; then echo 'int main(void) {'; else echo 'int main() {'; fi
    grep -v '^#include' "$fragment"
    echo 'return 0;'
    echo '}'
  } >"$program.$language"
  if [ "$language" = c ]; then
    set -- "${CC:-cc}" -std=c99 ${cflags[@]+"${cflags[@]}"}
  else
    set -- "${CXX:-c++}" -std=c++17 ${cxxflags[@]+"${cxxflags[@]}"}
  fi
  if ! out=$("$@" -Wall -Wextra -Wpedantic -Werror "$program.$language" -o "$program" \
    ${ldflags[@]+"${ldflags[@]}"} "${pkg_flags[@]}" 2>&1); then
    fail "$name does not build:"$'\n'"$out"
  elif ! out=$(timeout 60 "$program" 2>&1); then
    fail "$name exited with an error: $out"
  elif [ "$out" != "$expected" ]; then
    fail "$name printed '$out', expected '$expected'"
  else
    echo "$name: built and run${expected:+, sq = $expected}"
  fi
}
check_fragment readme_c c "$readme" "## A first host" "In C" sq
check_fragment hosting_c c "$hosting" "## From C" "" sq
check_fragment hosting_cpp cpp "$hosting" "## From C++" "" ""

# 3. The curl example, against `zekalg serve` on a free loopback port.
extract "$work/curl.sh" "$readme" "## A first host" "Over HTTP"
grep -q '127\.0\.0\.1:8080' "$work/curl.sh" || fail "the curl example does not ask 127.0.0.1:8080"
sq=$(expected_sq "$zekalg" "$work/curl.sh")
"$zekalg" serve --listen 127.0.0.1:0 2>"$work/serve.log" &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
port=""
for _ in $(seq 200); do
  port=$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/serve.log")
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  fail "zekalg serve did not start: $(cat "$work/serve.log")"
else
  sed -i "s/127\.0\.0\.1:8080/127.0.0.1:$port/g" "$work/curl.sh"
  if ! out=$(timeout 60 bash "$work/curl.sh" 2>&1); then
    fail "README curl example: $out"
  elif [[ "$out" != *"{\"request\":\"sq\",\"status\":\"ok\",\"text\":\"$sq\"}"* ]]; then
    fail "README curl example answered '$out', expected sq = $sq"
  else
    echo "README curl example: sq = $sq"
  fi
fi

((failures == 0)) && echo "README session: $commands commands as shown"
exit $((failures > 0))
