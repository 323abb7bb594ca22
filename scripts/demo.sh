#!/usr/bin/env bash
# Installs what is missing, builds, starts the simulated varDex on a
# pseudo-terminal (its settings kept in a state file) and starts the
# configuration manager on it: the window appears, reads the device and shows it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target vardex-sim vardex-config

link="${TMPDIR:-/tmp}/vardex-demo-$$"
state="${VARDEX_DEMO_STATE:-$HOME/.vardex-sim.state}"
./build/sim/vardex-sim --link "$link" --state "$state" >/dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -e "$link" ] && break
  sleep 0.05
done
echo "Simulated varDex on $link ($(readlink "$link")), settings kept in $state"
VARDEX_PORTS="$link" ./build/src/app/vardex-config
