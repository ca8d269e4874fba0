#!/usr/bin/env bash
# Cross-builds the 32-bit Windows DLL, runs its tests under Wine and
# compares its output of the random series with the native library's:
# the win32 part of scripts/test-platforms.sh, which says more.
set -euo pipefail
exec bash "$(dirname "$0")/test-platforms.sh" win32
