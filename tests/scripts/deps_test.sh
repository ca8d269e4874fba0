#!/usr/bin/env bash
# scripts/deps.sh against stand-ins for apt-get, dpkg-query (nothing is
# installed) and sudo: a failed `apt-get update` is a one-line warning and
# the install goes on; a failed install stops the script with an error that
# names the packages; no install may remove a package.
# Usage: deps_test.sh SOURCE_DIR
set -euo pipefail
root="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "$*" >>"$STUB_LOG"
case "$1" in
  update) [ "$STUB_UPDATE" = 0 ] || echo "E: Failed to fetch a stand-in index" >&2; exit "$STUB_UPDATE" ;;
  install) exit "$STUB_INSTALL" ;;
esac
EOF
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

failures=0
# update status, install status, deps.sh status (0 or "fail"), warning lines
while read -r update install want warnings; do
  export STUB_LOG="$work/log" STUB_UPDATE="$update" STUB_INSTALL="$install"
  : >"$STUB_LOG"
  rc=0
  PATH="$work/bin:$PATH" bash "$root/scripts/deps.sh" some-extra >"$work/out" 2>"$work/err" || rc=$?
  case="update $update, install $install"
  got_warnings=$(grep -c '^warning: apt-get update failed' "$work/err" || true)
  if [ "$want" = 0 ] && [ "$rc" -ne 0 ]; then
    echo "FAILED ($case): deps.sh exited $rc"; cat "$work/err"; failures=$((failures + 1))
  fi
  if [ "$want" = fail ] && { [ "$rc" -eq 0 ] || ! grep -q '^error: apt-get could not install: .*some-extra' "$work/err"; }; then
    echo "FAILED ($case): exited $rc without the error naming the packages"; cat "$work/err"
    failures=$((failures + 1))
  fi
  if [ "$got_warnings" != "$warnings" ]; then
    echo "FAILED ($case): $got_warnings warning lines, expected $warnings"; cat "$work/err"
    failures=$((failures + 1))
  fi
  if ! grep -q '^install ' "$STUB_LOG" || grep '^install ' "$STUB_LOG" | grep -qv -- '--no-remove'; then
    echo "FAILED ($case): no install, or one that may remove packages:"; cat "$STUB_LOG"
    failures=$((failures + 1))
  fi
done <<'EOF'
0 0 0 0
100 0 0 1
100 100 fail 1
0 100 fail 0
EOF
((failures == 0)) && echo "deps.sh: 4 cases passed"
exit $((failures > 0))
