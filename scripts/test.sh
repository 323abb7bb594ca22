#!/usr/bin/env bash
# Builds everything and runs every test. VARDEX_WERROR=ON turns warnings into errors.
#   test.sh              the whole suite
#   test.sh --packages   builds the programs and the tests below, and runs only the tests
#                        that need a package install-deps.sh installs (the
#                        window's, Ansible, the schema, the port server, XMODEM
#                        against lrzsz, the Debian package's parts): the
#                        fresh-root check's proof that install-deps.sh is
#                        complete. A skipped test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

subset=false
case "${1:-}" in
  "") ;;
  --packages) subset=true ;;
  *) echo "usage: test.sh [--packages]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh
# The tests wait for events, not for time, and most of their time is a device's
# waiting: four at once for each core (scripts/flake-check.sh proves them so
# with every core kept busy besides).
jobs=$((4 * $(nproc)))

bench=ON
if $subset; then bench=OFF; fi
cmake -S . -B build -G Ninja -DVARDEX_WERROR="${VARDEX_WERROR:-OFF}" -DVARDEX_BUILD_BENCH="$bench"
if ! $subset; then
  cmake --build build
  ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs"
  exit 0
fi
cmake --build build --target vardex_package_tests

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
{
  ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs" -L '^package$'
} 2>&1 | tee "$log" || status=1
if grep -q '(Skipped)' "$log"; then
  echo "test.sh: a test was skipped for want of something install-deps.sh should install" >&2
  status=1
fi
exit "$status"
