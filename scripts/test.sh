#!/usr/bin/env bash
# Builds everything and runs every test. VARDEX_WERROR=ON turns warnings into errors.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DVARDEX_WERROR="${VARDEX_WERROR:-OFF}"
cmake --build build
ctest --test-dir build --output-on-failure --no-tests=error -j2
