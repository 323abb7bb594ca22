#!/usr/bin/env bash
# Installs what is missing, builds, starts the simulated varDex on a
# pseudo-terminal and identifies it through vardexctl.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target vardex-sim vardexctl

link="${TMPDIR:-/tmp}/vardex-demo-$$"
./build/sim/vardex-sim --link "$link" >/dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -e "$link" ] && break
  sleep 0.05
done
echo "Simulated varDex on $link ($(readlink "$link"))"
./build/tools/vardexctl/vardexctl at --port "$link" ATI4 ATI0 ATI3 ATI1
