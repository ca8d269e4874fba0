#!/usr/bin/env bash
# Installs Debian packages (as root, or with sudo): apt-get update, then
# apt-get install. A failed update is a warning, not the end: when one index
# of the mirror is out of sync the others still load, and the packages
# usually install from them. An install never removes a package (apt-get
# stops instead), and one that fails stops the script, naming the packages.
#
# One case is mended: when the i386 index of a suite failed to load while
# its amd64 index loaded, a library that both architectures need
# (Multi-Arch: same, so both must have one version) has a newer amd64
# candidate than any i386 version, and an install of i386 packages is
# refused ("held broken packages"). Each such library is then pinned, for
# that install alone, to the newest version both architectures have.
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
as_root() { ${sudo_cmd[@]+"${sudo_cmd[@]}"} "$@"; }

install() {
  as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-remove ${options[@]+"${options[@]}"} "$@" "${packages[@]}" >/dev/null
}

# "NAME VERSION" for each Multi-Arch: same package of an amd64 index whose
# i386 twin is missing, when its i386 candidate differs from its amd64 one.
skewed_libraries() {
  local lists=/var/lib/apt/lists names=() list twin
  for list in "$lists"/*_binary-amd64_Packages*; do
    [ -e "$list" ] || continue
    twin="${list/binary-amd64/binary-i386}"
    compgen -G "${twin%_Packages*}_Packages*" >/dev/null && continue
    mapfile -t -O "${#names[@]}" names < <(/usr/lib/apt/apt-helper cat-file "$list" |
      awk '/^Package:/ { p = $2 } /^Multi-Arch: same/ { print p }' | sort -u)
  done
  ((${#names[@]})) || return 0
  # apt-cache policy prints "NAME:" (or "NAME:i386:") and then "  Candidate: V".
  local candidates
  candidates="$(apt-cache policy "${names[@]}" "${names[@]/%/:i386}" 2>/dev/null |
    awk '/^[^ ].*:$/ { sub(/:$/, ""); p = $0 } /^  Candidate:/ { print p, $2 }')"
  awk '
    { split($1, parts, ":"); name = parts[1]; arch = (parts[2] == "i386") ? "i386" : "amd64" }
    arch == "amd64" { amd[name] = $2 }
    arch == "i386"  { i386[name] = $2 }
    END { for (n in i386) if (i386[n] != "(none)" && n in amd && amd[n] != i386[n]) print n, i386[n] }
  ' <<<"$candidates" | sort
}

# For "NAME VERSION" lines: the installed packages built from the same
# sources, at the same versions ("NAME VERSION"), so that a package that
# needs its sibling's exact version is not removed.
installed_siblings() {
  local wanted
  wanted="$(sed 's/ /=/' | xargs -r apt-cache show 2>/dev/null |
    awk '/^Package:/ { p = $2; s = $2 } /^Source:/ { s = $2 } /^Version:/ { print s, $2 }' | sort -u)"
  [ -n "$wanted" ] || return 0
  dpkg-query -W -f='${Package} ${source:Package}\n' 2>/dev/null |
    awk 'NR == FNR { version[$1] = $2; next } ($2 in version) { print $1, version[$2] }' \
      <(echo "$wanted") - | sort -u
}

packages=("$@")
if ! as_root apt-get update -qq; then
  echo "warning: apt-get update failed; installing from the package lists there are" >&2
fi
if install; then exit 0; fi

if [[ " ${packages[*]} " == *":i386 "* ]]; then
  pins="$(skewed_libraries)"
  [ -z "$pins" ] || pins="$(sort -u -k1,1 <(echo "$pins") <(installed_siblings <<<"$pins"))"
  if [ -n "$pins" ]; then
    pin_file=/etc/apt/preferences.d/zekalg-same-versions
    echo "warning: an i386 index is out of sync: installing $(wc -l <<<"$pins") packages at" \
      "the versions both architectures have" >&2
    while read -r name version; do
      printf 'Package: %s %s:i386\nPin: version %s\nPin-Priority: 1001\n\n' \
        "$name" "$name" "$version"
    done <<<"$pins" | as_root tee "$pin_file" >/dev/null
    trap 'as_root rm -f "$pin_file"' EXIT
    if install --allow-downgrades; then exit 0; fi
  fi
fi
echo "error: apt-get could not install: ${packages[*]}" >&2
exit 1
