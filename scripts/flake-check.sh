#!/usr/bin/env bash
# Runs the whole suite on a machine made busy on purpose: as many tests at once
# as scripts/test.sh runs (four for each core), in random order, while a busy
# loop runs on every core. A test that passes alone but fails here waits for time instead of for
# its event. Prints each test that failed with how often; the last line is
# "flake-check: N passed, N failed" over all runs of all rounds.
#   flake-check.sh [ROUNDS]   (default 3; needs a build, as test.sh makes it)
# Takes about four and a half minutes a round on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-3}
build=${VARDEX_BUILD_DIR:-build}
cores=$(nproc)
jobs=$((4 * cores))
[ -f "$build/CTestTestfile.cmake" ] ||
  { echo "flake-check: no build in $build; run scripts/test.sh first" >&2; exit 2; }
cmake --build "$build" >/dev/null

# Watches how late a 10 ms sleep wakes while a round runs: a test that failed
# while the whole machine stood still for longer than the 250 ms a device's
# answer keeps is a stall of the machine, not a wait for time. Prints, when
# stopped, the longest lateness and each one past 250 ms with its time.
watch_stalls() {
  exec python3 -c '
import signal, sys, time
late = []
longest = 0.0
def done(*_):
    print("longest stall: %d ms" % (longest * 1000))
    for at, gap in late:
        print("  stall of %d ms at %s" % (gap * 1000, time.strftime("%H:%M:%S", time.localtime(at))))
    sys.exit(0)
signal.signal(signal.SIGTERM, done)
while True:
    before = time.monotonic()
    time.sleep(0.01)
    gap = time.monotonic() - before - 0.01
    longest = max(longest, gap)
    if gap > 0.25:
        late.append((time.time(), gap))
'
}

hogs=()
stop_hogs() {
  local pid
  for pid in "${hogs[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${hogs[@]}"; do wait "$pid" 2>/dev/null || true; done
  hogs=()
}
logs=$(mktemp -d)
trap 'stop_hogs; rm -rf "$logs"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

passed=0
failed=0
for round in $(seq 1 "$rounds"); do
  for _ in $(seq 1 "$cores"); do
    bash -c 'while :; do :; done' &
    hogs+=($!)
  done
  watch_stalls >"$logs/stalls$round" &
  watcher=$!
  start=$SECONDS
  # ctest's own exit status only says whether something failed; the counts
  # come from its summary and the names from its list of failures.
  ctest --test-dir "$build" --no-tests=error -j "$jobs" --schedule-random \
    --output-on-failure >"$logs/round$round.log" 2>&1 || true
  kill "$watcher" 2>/dev/null || true
  wait "$watcher" 2>/dev/null || true
  stop_hogs
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' \
    "$logs/round$round.log" || true)
  if [ -z "$summary" ]; then
    echo "flake-check: round $round gave no summary; its log:" >&2
    tail -50 "$logs/round$round.log" >&2
    exit 2
  fi
  round_failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+)/\1/' <<<"$summary")
  round_total=$(sed -E 's/.* out of ([0-9]+)/\1/' <<<"$summary")
  passed=$((passed + round_total - round_failed))
  failed=$((failed + round_failed))
  # "  123 - Suite.Name (Failed)" lines after "The following tests FAILED:".
  sed -n '/The following tests FAILED:/,$p' "$logs/round$round.log" |
    sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \(([^)]*)\).*/\1 (\2)/p' >>"$logs/failures"
  echo "round $round: $((round_total - round_failed)) passed, $round_failed failed," \
    "$((SECONDS - start)) s"
  sed 's/^/  /' "$logs/stalls$round"
  if [ "$round_failed" -gt 0 ]; then
    cp "$logs/round$round.log" "${TMPDIR:-/tmp}/flake-check-round$round.log"
    echo "  its log: ${TMPDIR:-/tmp}/flake-check-round$round.log"
  fi
done

if [ -s "$logs/failures" ]; then
  echo "failed (times, test):"
  sort "$logs/failures" | uniq -c | sort -rn
fi
echo "flake-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
