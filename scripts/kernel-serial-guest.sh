#!/usr/bin/env bash
# The guest's part of kernel-serial-check.sh, run by the guest's /init with the
# console (ttyS0) as standard input and output. "@@ PASS/FAIL NAME" lines are
# counted by the host; "@@ ASK ..." lines are questions the host answers with
# one line: the simulator's state, or the adapter pulled or plugged back.
set -uo pipefail

readonly COMMAND_S=240 # the longest command: an upgrade on the slower port
readonly NODE_S=60     # the adapter's node appearing after a plug
readonly UART=/dev/ttyS1
readonly USB=/dev/ttyUSB0
# What the programs say of a device that went away during a job, and of an
# upgrade that did not end.
readonly LOST="The connection to the varDex was lost"
readonly UPGRADE_FAILED="Some error occurred, during firmware upgrading"

pass() { echo "@@ PASS $*"; }
fail() { echo "@@ FAIL $*"; }
ask() {
  echo "@@ ASK $*"
  IFS= read -r -t "$COMMAND_S" reply || reply="(no answer)"
  reply=${reply%$'\r'}
}
# expect NAME TEXT FILE: FILE holds TEXT.
expect() {
  if grep -qF -- "$2" "$3"; then pass "$1"; else fail "$1: no '$2' in: $(tail -3 "$3" | tr '\n' ' ')"; fi
}
# state NAME SIM TEXT: the simulator's state holds TEXT.
state() {
  ask state "$2"
  case $reply in
    *"$3"*) pass "$1" ;;
    *) fail "$1: the simulator says: $reply" ;;
  esac
}
wait_node() {
  local i
  for ((i = 0; i < NODE_S * 5; i++)); do
    [ -c "$1" ] && return 0
    sleep 0.2
  done
  return 1
}
# run NAME ARGS...: vardexctl within its bound, output in /tmp/NAME; status in $rc.
run() {
  local name=$1
  shift
  timeout "$COMMAND_S" vardexctl "$@" >"/tmp/$name" 2>&1
  rc=$?
  [ "$rc" -ne 124 ] || fail "$name: did not end within ${COMMAND_S} s"
}

echo "-- kernel $(uname -r): the ports"
ls -l "$UART" "$USB" 2>&1

# The four commands on one port; SIM names its simulator on the host.
commands() {
  local tag=$1 port=$2 sim=$3 version=$4
  run "$tag-identify" identify --port "$port"
  expect "$tag identify" "Software Version:	2.10" "/tmp/$tag-identify"
  run "$tag-read" read --port "$port" --json
  [ "$rc" -eq 0 ] && expect "$tag read" '"m_nPowerUpProfile":0' "/tmp/$tag-read" ||
    fail "$tag read: exit $rc: $(tail -2 "/tmp/$tag-read" | tr '\n' ' ')"
  run "$tag-write" write --port "$port" --power-up 2
  expect "$tag write" written "/tmp/$tag-write"
  state "$tag write, as the simulator holds it" "$sim" "power-up profile 2"
  run "$tag-upgrade" upgrade --yes --port "$port" "/upgrade-$version.img"
  expect "$tag upgrade" "upgraded: software version ${version#V}" "/tmp/$tag-upgrade"
  state "$tag upgrade, as the simulator holds it" "$sim" "software: $version"
}

echo "-- 1. the 16550 UART"
commands uart "$UART" uart V2.20
echo "-- 2. the USB-serial adapter"
if wait_node "$USB"; then
  commands usb "$USB" usb V2.20
else
  fail "usb: $USB did not appear"
fi

echo "-- 3. the adapter pulled during a command"
# pulled NAME AFTER SAID ARGS...: the command started, the adapter pulled under
# it AFTER seconds later (in its exchanges, past the device search); it
# ends in time, fails, claims nothing and says SAID; then the adapter is
# plugged back.
pulled() {
  local name=$1
  shift
  local after=$1 said=$2
  shift 2
  local began=$SECONDS
  timeout "$COMMAND_S" vardexctl "$@" >"/tmp/$name" 2>&1 &
  local pid=$!
  ask pull "$after"
  wait "$pid"
  rc=$?
  echo "$name: ended $((SECONDS - began)) s after its start, exit $rc; it said:"
  grep -v '^\[' "/tmp/$name" | sed 's/^/  | /'
  if [ "$rc" -eq 124 ]; then
    fail "$name: did not end within ${COMMAND_S} s of the pull"
  elif [ "$rc" -eq 0 ] || grep -qE '^(written|upgraded)' "/tmp/$name"; then
    fail "$name: called done after the pull: $(tail -2 "/tmp/$name" | tr '\n' ' ')"
  elif grep -qF -- "$said" "/tmp/$name"; then
    pass "$name: ended with exit $rc, saying: $said"
  else
    fail "$name: not said: $said"
  fi
  ask plug
  wait_node "$USB" || fail "$name: $USB did not come back"
}
pulled pulled-read 8 "$LOST" read --port "$USB"
run after-read identify --port "$USB"
expect "after the pulled read, identify finds the device" "Software Version:" /tmp/after-read
pulled pulled-write 12 "$LOST" write --port "$USB" --power-up 3
run after-write identify --port "$USB"
expect "after the pulled write, identify finds the device" "Software Version:" /tmp/after-write
pulled pulled-upgrade 25 "$UPGRADE_FAILED" upgrade --yes --port "$USB" /upgrade-V2.30.img
# The next command after an interrupted upgrade is the upgrade again.
run after-upgrade upgrade --yes --port "$USB" /upgrade-V2.30.img
expect "after the pulled upgrade, the upgrade again" "upgraded: software version 2.30" /tmp/after-upgrade
state "the finished upgrade, as the simulator holds it" usb "software: V2.30"

echo "-- 5. the kernel's lines about the UART and the adapter"
dmesg | grep -iE 'ttyS1|8250|16550|usb|ftdi|xhci' | sed 's/^/kernel: /'
echo "@@ END"
