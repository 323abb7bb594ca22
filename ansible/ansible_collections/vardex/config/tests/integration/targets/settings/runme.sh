#!/usr/bin/env bash
# A fleet: three simulated varDex (one on its own port, one behind a port server
# over the network, one of another country and firmware dialect) and one whose
# port does not exist, configured from host_vars, -e and filters. Check mode
# sends nothing (the devices refuse every setting meanwhile, so one sent would
# fail the run) and diff mode shows the playbook's names; the first run changes
# every device, the second nothing; the missing and the silent device fail only
# their own host, with the reason.
# The names devices.sh sets (work, sim, vardexctl) are unknown to shellcheck.
# shellcheck disable=SC2154
source ../setup_vardex_sim/devices.sh

start_device a --country Cyprus
start_device b --country Cyprus
start_device c --country Hungary --software V2.11 --dialect 3
remote=$(serve_device b)
cat >"$work/inventory.yml" <<YAML
all:
  vars:
    ansible_connection: local
    ansible_python_interpreter: ${ANSIBLE_TEST_PYTHON_INTERPRETER:-/usr/bin/python3}
  hosts:
    local_device: {vardex_port: "$work/a"}
    remote_device: {vardex_port: "$remote"}
    third_device: {vardex_port: "$work/c"}
    missing_device: {vardex_port: "$work/nothing-here"}
YAML
fleet() { playbook "$1" -i "$work/inventory.yml" site.yml -e flash=60 "${@:2}"; }

[ "$(value a m_bCallWaiting1)" = 1 ] || fail "the simulator's factory state has call waiting on port 1 off"

for name in a b c; do control $name "refuse on"; done
log=$(fleet check --check --diff)
for host in local_device remote_device third_device; do expect "$log" $host "1 1 0"; done
expect "$log" missing_device "0 0 1"
grep -q '"port1.call_waiting": 1' "$log" || { cat "$log"; fail "diff mode does not show the value before by the playbook's name"; }
[ "$(value a m_bCallWaiting1)" = 1 ] || fail "check mode changed the device"
for name in a b c; do control $name "refuse off"; done

log=$(fleet first)
for host in local_device remote_device third_device; do expect "$log" $host "1 1 0"; done
expect "$log" missing_device "0 0 1"
grep -q "nothing-here" "$log" || { cat "$log"; fail "the missing device's failure does not name its port"; }
for name in a c; do
  [ "$(value $name m_bCallWaiting1)" = 0 ] || fail "device $name was not written"
  [ "$(value $name m_nX25Tei)" = 9 ] || fail "device $name has no TEI 9"
  [ "$(value $name m_nFlashDuration)" = 60 ] || fail "device $name has not the flash time given with -e"
done

log=$(fleet second)
for host in local_device remote_device third_device; do expect "$log" $host "1 0 0"; done

control b "silence on"
log=$(fleet silent --limit local_device,remote_device)
expect "$log" local_device "1 0 0"
expect "$log" remote_device "0 0 1"
grep 'remote_device.*FAILED' "$log" | grep -q '"msg": "The device on [^"]* does not answer as a varDex' ||
  { cat "$log"; fail "the silent device's failure does not say why"; }
echo "settings: ok"
