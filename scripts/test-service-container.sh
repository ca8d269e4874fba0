#!/usr/bin/env bash
# Builds deploy/Containerfile with Debian's podman and checks that the
# container answers /v1/health on a loopback port. Needs the base images
# (docker.io/library/debian), so a registry must be reachable.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh podman curl

podman build -f deploy/Containerfile -t zekalg-test .
name="zekalg-test-$$"
podman run -d --rm --name "$name" -p 127.0.0.1:18480:8080 zekalg-test >/dev/null
trap 'podman stop -t 5 "$name" >/dev/null 2>&1 || true' EXIT
for _ in $(seq 50); do
  if curl -fsS http://127.0.0.1:18480/v1/health; then echo; exit 0; fi
  sleep 0.2
done
echo "the container does not answer /v1/health" >&2
exit 1
