#!/usr/bin/env bash
# The collection as a fleet uses it: a playbook over three hosts, two simulated
# varDex (one on its own pseudo-terminal, one behind a port server over the
# network) and one whose port does not exist. A first run changes both devices,
# a second changes nothing, check mode sends no setting (the devices refuse
# every setting meanwhile, so one sent would fail the run), diff mode shows the
# fields before and after, and the missing device fails only its own host.
# Arguments: vardex-sim, vardexctl.
set -euo pipefail
sim=$(realpath "$1")
vardexctl=$(realpath "$2")
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vardex-playbook.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
# Debian's ansible on Debian's Python; nothing of the test in the real home.
export PATH=/usr/bin:/bin HOME=$work XDG_STATE_HOME=$work/state
export ANSIBLE_COLLECTIONS_PATH=$repo/ansible ANSIBLE_LOCAL_TEMP=$work/ansible-tmp
export ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0 ANSIBLE_RETRY_FILES_ENABLED=0
# Half the real time: the playbook runs vardexctl some twenty times, and a
# whole fleet run must not outlast a loaded machine's answers.
export VARDEX_TIME_SCALE=${VARDEX_TIME_SCALE:-0.5}

fail() { echo "playbook test: $*" >&2; exit 1; }

# Waits up to 10 s for a condition.
wait_for() {
  for _ in $(seq 200); do
    if eval "$1"; then return 0; fi
    sleep 0.05
  done
  fail "gave up waiting for: $1"
}

for name in a b; do
  "$sim" --country Cyprus --link "$work/$name" --control "$work/$name.ctl" \
    --state "$work/$name.state" >/dev/null 2>"$work/$name.log" &
  pids+=($!)
done
wait_for "[ -e $work/a ] && [ -e $work/b ] && [ -S $work/a.ctl ] && [ -S $work/b.ctl ]"

# Device b behind ser2net, as at a remote site.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/ser2net.yaml" <<YAML
connection: &vardex
  accepter: telnet(rfc2217),tcp(nodelay=true),127.0.0.1,$port
  connector: serialdev,$(readlink "$work/b"),115200n81,local
  options:
    mdns: false
    chardelay: false
YAML
ser2net=$(command -v ser2net || echo /usr/sbin/ser2net)
"$ser2net" -n -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >"$work/ser2net.log" 2>&1 &
pids+=($!)
# Listening, seen in the kernel's table: a connection would take its one client.
listening() { awk -v p="$(printf ':%04X' "$port")" '$2 ~ p"$" && $4 == "0A"' /proc/net/tcp | grep -q .; }
wait_for listening

control() { printf '%s\nquit\n' "$2" | socat -t 5 - "UNIX-CONNECT:$work/$1.ctl" >/dev/null; }

cat >"$work/inventory.yml" <<YAML
all:
  vars:
    ansible_connection: local
    ansible_python_interpreter: /usr/bin/python3
  hosts:
    local_device: {vardex_port: "$work/a", tei: "9"}
    remote_device: {vardex_port: "rfc2217://127.0.0.1:$port", tei: "9", clip: "no"}
    missing_device: {vardex_port: "$work/nothing-here", tei: "9"}
YAML
cat >"$work/site.yml" <<YAML
- hosts: all
  gather_facts: false
  tasks:
    - name: Call waiting off on port 1, CLIP off, X.25 TEI 9, kept where the device starts from
      vardex.config.settings:
        port: "{{ vardex_port }}"
        vardexctl: "$vardexctl"
        timeout: 120
        settings:
          port1.call_waiting: "{{ cw | default(0) }}"
          m_bClip: "{{ clip | default(false) }}"
          x25.tei: "{{ tei | int }}"
          telephony.flash_duration: "{{ flash }}"
YAML

# The recap's counts of a host: "ok changed failed".
counts() {
  awk -v h="$2" '$1 == h && $2 == ":" {
    for (i = 3; i <= NF; i++) { split($i, kv, "="); c[kv[1]] = kv[2] }
    print c["ok"], c["changed"], c["failed"] }' "$1"
}
expect() {  # run-log host "ok changed failed"
  local got
  got=$(counts "$1" "$2")
  [ "$got" = "$3" ] || { cat "$1"; fail "$(basename "$1"): $2 has ok/changed/failed $got, not $3"; }
}
play() {  # log-name ansible-playbook options...
  local log=$work/$1
  shift
  # Values from the inventory, the command line and filters all reach a
  # template as text: the module gives each its field's type.
  ansible-playbook -i "$work/inventory.yml" "$work/site.yml" -e flash=60 "$@" >"$log" 2>&1 || true
  echo "$log"
}
value() {  # device field
  "$vardexctl" read --port "$work/$1" --json 2>/dev/null | python3 -c "import json, sys; print(json.load(sys.stdin)['$2'])"
}

before_a=$(value a m_bCallWaiting1)
[ "$before_a" = 1 ] || fail "the simulator's factory state has call waiting on port 1 off"

# Check mode, with diff: both would change, nothing is sent.
control a "refuse on"
control b "refuse on"
log=$(play check --check --diff)
expect "$log" local_device "1 1 0"
expect "$log" remote_device "1 1 0"
expect "$log" missing_device "0 0 1"
grep -q '"port1.call_waiting": 1' "$log" || { cat "$log"; fail "diff mode shows no value before, by the playbook's name"; }
[ "$(value a m_bCallWaiting1)" = 1 ] || fail "check mode changed the device"
control a "refuse off"
control b "refuse off"

# The first run changes both devices; the missing one fails only its host.
log=$(play first)
expect "$log" local_device "1 1 0"
expect "$log" remote_device "1 1 0"
expect "$log" missing_device "0 0 1"
grep -q "nothing-here" "$log" || { cat "$log"; fail "the failure does not name the port"; }
[ "$(value a m_bCallWaiting1)" = 0 ] || fail "device a was not written"
[ "$(value a m_nX25Tei)" = 9 ] || fail "device a has no TEI 9"
[ "$(value a m_nFlashDuration)" = 60 ] || fail "device a has not the flash time given with -e"

# The second run finds nothing to do.
log=$(play second)
expect "$log" local_device "1 0 0"
expect "$log" remote_device "1 0 0"

# A backup on the controller before a change, and the restore that brings it back.
cat >"$work/backup.yml" <<YAML
- hosts: local_device
  gather_facts: false
  module_defaults:
    group/vardex.config.vardex: {vardexctl: "$vardexctl", timeout: 120}
  tasks:
    - vardex.config.settings:
        port: "{{ vardex_port }}"
        settings: {port1.call_waiting: "yes"}
        backup: true
        backup_options: {dir_path: "$work/backups", filename: a.json}
      register: changed
    - assert:
        that:
          - changed is changed
          - changed.backup_path == "$work/backups/a.json"
    - vardex.config.restore:
        port: "{{ vardex_port }}"
        src: "{{ changed.backup_path }}"
      check_mode: true
      diff: true
      register: would
    - assert:
        that:
          - would is changed
          - would.changes.m_bCallWaiting1.after == 0
    - vardex.config.restore:
        port: "{{ vardex_port }}"
        src: "{{ changed.backup_path }}"
YAML
log=$work/backup.log
ansible-playbook -i "$work/inventory.yml" "$work/backup.yml" >"$log" 2>&1 || true
grep -q "local_device.*changed=3.*failed=0" "$log" || { cat "$log"; fail "the backup was not kept or not restored"; }
[ "$(value a m_bCallWaiting1)" = 0 ] || fail "the restore did not bring call waiting back"

# A run whose time runs out part way: vardexctl is stopped as coreutils'
# timeout stops it, once the device has stored the first row's number. What
# reached the device is reported: changed, and each field's outcome.
cat >"$work/stopped-vardexctl" <<SH
#!/bin/bash
[ "\$1" = apply ] || exec "$vardexctl" "\$@"
"$vardexctl" "\$@" &
pid=\$!
for _ in \$(seq 400); do grep -q 4711 "$work/a.state" && break; sleep 0.05; done
kill -TERM \$pid
wait \$pid
exit 124
SH
chmod +x "$work/stopped-vardexctl"
cat >"$work/stopped.yml" <<YAML
- hosts: local_device
  gather_facts: false
  tasks:
    - vardex.config.settings:
        port: "{{ vardex_port }}"
        vardexctl: "$work/stopped-vardexctl"
        settings:
          telephony.phone_msn: ["4711", "", "", "", "", ""]
          port1.call_waiting: 1
          telephony.flash_duration: 44
      register: stopped
      ignore_errors: true
    - assert:
        that:
          - stopped is failed
          - stopped is changed
          - stopped.fields | selectattr('name', 'equalto', 'telephony.phone_msn[0]') | map(attribute='fate') | first in ['applied', 'unknown']
          - stopped.fields | selectattr('fate', 'equalto', 'not sent') | list | length > 0
          - "'did not finish' in stopped.msg or 'stopped' in stopped.msg"
YAML
log=$work/stopped.log
ansible-playbook -i "$work/inventory.yml" "$work/stopped.yml" >"$log" 2>&1 || true
grep -q "local_device.*failed=0" "$log" || { cat "$log"; fail "a stopped write was not told as changed"; }

# Facts, with the shared options set once for the collection's group.
cat >"$work/facts.yml" <<YAML
- hosts: local_device
  gather_facts: false
  module_defaults:
    group/vardex.config.vardex:
      vardexctl: "$vardexctl"
      timeout: 60
  tasks:
    - vardex.config.facts:
        port: "{{ vardex_port }}"
    - assert:
        that:
          - ansible_facts.vardex.country == 'Cyprus'
          - ansible_facts.vardex.firmware is match('^[0-9]+[.][0-9]+$')
          - ansible_facts.vardex.port == vardex_port
          - ansible_facts.vardex.crc | length > 0
YAML
log=$work/facts.log
ansible-playbook -i "$work/inventory.yml" "$work/facts.yml" >"$log" 2>&1 || true
grep -q "local_device.*ok=2.*failed=0" "$log" || { cat "$log"; fail "the facts were not gathered"; }

# A firmware upgrade, once: the second run with the same image changes nothing,
# and check mode only tells whether the firmware differs.
"$sim" --make-image V2.11 "$work/fw-2.11.img" >/dev/null
cat >"$work/upgrade.yml" <<YAML
- hosts: local_device
  gather_facts: false
  module_defaults:
    group/vardex.config.vardex: {vardexctl: "$vardexctl", timeout: 300}
  tasks:
    - vardex.config.upgrade: {port: "{{ vardex_port }}", image: "$work/fw-2.11.img", version: "2.12"}
      check_mode: true
      register: would
    - vardex.config.upgrade: {port: "{{ vardex_port }}", image: "$work/fw-2.11.img", version: "2.11"}
      register: first
    - vardex.config.upgrade: {port: "{{ vardex_port }}", image: "$work/fw-2.11.img", version: "2.11"}
      register: second
    - assert:
        that:
          - would is changed
          - would.firmware.before == first.firmware.before
          - first is changed
          - first.firmware.after == '2.11'
          - second is not changed
YAML
log=$work/upgrade.log
ansible-playbook -i "$work/inventory.yml" "$work/upgrade.yml" >"$log" 2>&1 || true
grep -q "local_device.*failed=0" "$log" || { cat "$log"; fail "the upgrade was not made once"; }

# The inventory plugin finds both simulated devices of this host, grouped.
cat >"$work/bench.vardex.yml" <<YAML
plugin: vardex.config.devices
hosts:
  - name: localhost
vardexctl: "$vardexctl"
environment:
  VARDEX_PORTS: "$work/a:$work/nothing-here:$work/b"
  VARDEX_TIME_SCALE: "$VARDEX_TIME_SCALE"
YAML
graph=$(ansible-inventory -i "$work/bench.vardex.yml" --graph 2>"$work/inventory.log") ||
  { cat "$work/inventory.log"; fail "the inventory plugin failed"; }
for line in "@vardex_country_cyprus:" "localhost_$(tr -c '0-9A-Za-z_\n' _ <<<"${work#/}/a" | tr A-Z a-z)"; do
  grep -qF -- "$line" <<<"$graph" || { echo "$graph"; fail "the inventory has no $line"; }
done
[ "$(grep -c -- '--localhost_' <<<"$graph")" -ge 2 ] || { echo "$graph"; fail "the inventory lacks a device"; }

# Each failure says its own reason in msg: a misspelt field, a value out of
# range (refused before vardexctl runs), a value the device's variant cannot
# take (refused by vardexctl).
cat >"$work/mistakes.yml" <<YAML
- hosts: local_device
  gather_facts: false
  module_defaults:
    group/vardex.config.vardex: {vardexctl: "$vardexctl", timeout: 120}
  tasks:
    - vardex.config.settings: {port: "{{ vardex_port }}", settings: {port1.call_waitng: 1}}
      register: misspelt
      ignore_errors: true
    - vardex.config.settings: {port: "{{ vardex_port }}", settings: {x25.tei: "{{ 64 }}"}}
      register: too_big
      ignore_errors: true
    - assert:
        that:
          - "'port1.call_waitng' in misspelt.msg"
          - "'usage' not in misspelt.msg and 'worst' not in misspelt.msg"
          - "too_big.msg is match('x25.tei: expected a whole number 0..63')"
YAML
log=$work/mistakes.log
ansible-playbook -i "$work/inventory.yml" "$work/mistakes.yml" >"$log" 2>&1 || true
grep -q "local_device.*failed=0" "$log" || { cat "$log"; fail "a failure did not say its reason"; }

# A device that goes silent fails its host with the reason; the other still succeeds.
control b "silence on"
log=$(play silent)
expect "$log" local_device "1 0 0"
expect "$log" remote_device "0 0 1"
grep 'remote_device.*FAILED' "$log" | grep -q '"msg": "vardexctl apply: nothing was written"' &&
  { cat "$log"; fail "the silent device's failure does not say why"; }
echo "ansible playbook: ok"
