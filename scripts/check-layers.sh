#!/usr/bin/env bash
# The layers point only down: base <- value <- expr <- algorithm <- api <-
# tools <- the front ends (cli). Fails, naming the file and line, on an
# include of a higher layer. The engine core includes nothing of tools/ or
# cli/, tools/ nothing of cli/.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
  case "$1" in
    base) echo 0 ;; value) echo 1 ;; expr) echo 2 ;; algorithm) echo 3 ;; api) echo 4 ;;
    tools) echo 5 ;; cli) echo 6 ;; *) echo -1 ;;
  esac
}

status=0
check() {  # folder, its layer
  local folder="$1" layer="$2" own file line target
  own=$(rank "$layer")
  while IFS=: read -r file line target; do
    local to
    to=$(rank "$target")
    if [ "$to" -gt "$own" ]; then
      echo "$file:$line: $layer includes $target/, a higher layer" >&2
      status=1
    fi
  done < <(grep -rnoE '^#include "[a-z]+/' "$folder" --include='*.h' --include='*.cpp' \
             | sed -E 's|#include "([a-z]+)/$|\1|')
}

for layer in base value expr algorithm api; do check "src/$layer" "$layer"; done
check tools tools
# The command's own headers are included without a folder; tools/ must not
# reach them either.
if grep -rnE '^#include "[a-z_]+_command\.h"|^#include "service\.h"' tools >&2; then
  echo "tools/ includes a header of the command" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "layers: no include points up"
exit "$status"
