# shellcheck shell=bash
# Sourced by the targets' runme.sh: simulated varDex devices for a playbook to
# configure, and what a target needs to look at them. vardex-sim and vardexctl
# are the ones first on PATH. Everything started here ends with the script.
set -euo pipefail

sim=$(command -v vardex-sim) || { echo "vardex-sim is not on PATH" >&2; exit 1; }
vardexctl=$(command -v vardexctl) || { echo "vardexctl is not on PATH" >&2; exit 1; }
# Short and plain: the control sockets' paths must fit a UNIX socket address,
# and ansible-test's own directories carry non-ASCII names on purpose.
work=$(mktemp -d /tmp/vardex-it.XXXXXX)
pids=()
end_devices() {
  local file
  # serve_device runs inside $(...), so its ser2net is not in pids: its pid
  # file names it (left running, each run of a target kept one).
  for file in "$work"/*.ser2net.pid; do
    if [ -f "$file" ]; then kill "$(cat "$file")" 2>/dev/null || true; fi
  done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap end_devices EXIT
# Half the real time: a target runs vardexctl a dozen times, and a fleet's run
# must not outlast a loaded machine's answers.
export VARDEX_TIME_SCALE=${VARDEX_TIME_SCALE:-0.5}
export ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0 ANSIBLE_RETRY_FILES_ENABLED=0

fail() { echo "$(basename "$PWD"): $*" >&2; exit 1; }

# Waits up to 10 s for a condition.
wait_for() {
  for _ in $(seq 200); do
    if eval "$1"; then return 0; fi
    sleep 0.05
  done
  fail "gave up waiting for: $1"
}

# start_device NAME [vardex-sim options]: a device whose port is $work/NAME,
# controlled through $work/NAME.ctl, its state kept in $work/NAME.state.
start_device() {
  local name=$1
  shift
  "$sim" --link "$work/$name" --control "$work/$name.ctl" --state "$work/$name.state" "$@" \
    >/dev/null 2>"$work/$name.log" &
  pids+=($!)
  wait_for "[ -e $work/$name ] && [ -S $work/$name.ctl ]"
}

# serve_device NAME: the device's port behind ser2net, as at a remote site;
# prints the port server's address.
serve_device() {
  local name=$1 port ser2net
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  cat >"$work/$name.ser2net.yaml" <<YAML
connection: &vardex
  accepter: telnet(rfc2217),tcp(nodelay=true),127.0.0.1,$port
  connector: serialdev,$(readlink "$work/$name"),115200n81,local
  options:
    mdns: false
    chardelay: false
YAML
  ser2net=$(command -v ser2net || echo /usr/sbin/ser2net)
  "$ser2net" -n -u -c "$work/$name.ser2net.yaml" -P "$work/$name.ser2net.pid" \
    >"$work/$name.ser2net.log" 2>&1 &
  pids+=($!)
  # Listening, seen in the kernel's table: a connection would take its one client.
  wait_for "awk -v p=$(printf ':%04X' "$port") '\$2 ~ p\"\$\" && \$4 == \"0A\"' /proc/net/tcp | grep -q ."
  echo "rfc2217://127.0.0.1:$port"
}

# control NAME COMMAND: a command to the simulator (refuse on, silence on...).
control() { printf '%s\nquit\n' "$2" | socat -t 5 - "UNIX-CONNECT:$work/$1.ctl" >/dev/null; }

# value NAME FIELD: the field as the device holds it now. The test's own look
# runs at the real time scale, so that a busy machine cannot fail it.
value() {
  local out
  out=$(VARDEX_TIME_SCALE=1 "$vardexctl" read --port "$work/$1" --json 2>&1 >"$work/value.json") ||
    fail "reading $2 of device $1: $out $(cat "$work/value.json")"
  python3 -c "import json, sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])" "$work/value.json" "$2"
}

# playbook LOG PLAYBOOK [options]: runs it, its output kept in $work/LOG.log
# (printed when the target fails); prints the log's path.
playbook() {
  local log=$work/$1.log
  shift
  ansible-playbook "$@" >"$log" 2>&1 || true
  echo "$log"
}

# expect LOG HOST "ok changed failed": the recap's counts of a host.
expect() {
  local got
  got=$(awk -v h="$2" '$1 == h && $2 == ":" {
    for (i = 3; i <= NF; i++) { split($i, kv, "="); c[kv[1]] = kv[2] }
    print c["ok"], c["changed"], c["failed"] }' "$1")
  [ "$got" = "$3" ] || { cat "$1"; fail "$(basename "$1"): $2 has ok/changed/failed $got, not $3"; }
}

# passed LOG HOST: the host's tasks all passed (its asserts included).
passed() {
  if ! grep -q "^$2 *:.*failed=0" "$1" || grep -q "^$2 *:.*ok=0 " "$1"; then
    cat "$1"
    fail "$(basename "$1"): $2 failed"
  fi
}

# inventory NAME...: $work/inventory.yml with the group "device" of the
# devices started as NAME, each a host of that name on this machine.
inventory() {
  local name
  {
    printf 'device:\n  vars:\n    ansible_connection: local\n'
    printf '    ansible_python_interpreter: %s\n  hosts:\n' "${ANSIBLE_TEST_PYTHON_INTERPRETER:-/usr/bin/python3}"
    for name in "$@"; do printf '    %s: {vardex_port: "%s"}\n' "$name" "$work/$name"; done
  } >"$work/inventory.yml"
}
