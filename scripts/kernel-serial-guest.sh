#!/usr/bin/env bash
# The guest's part of kernel-serial-check.sh, run by the guest's /init with the
# console (ttyS0) as standard input and output. "@@ PASS/FAIL NAME" lines are
# counted by the host; "@@ ASK ..." lines are questions the host answers with
# one line: the simulator's state or its answer to a control command, or the
# adapter pulled or plugged back.
# The two ports have a lane each, run side by side: the UART's (its commands,
# then the window on it) and the adapter's (its commands, the pulls during a
# read, a write, an upgrade and the window's write).
set -uo pipefail

readonly COMMAND_S=240 # the longest command: an upgrade on the slower port
readonly NODE_S=60     # the adapter's node appearing after a plug
readonly UART=/dev/ttyS1
readonly USB=/dev/ttyUSB0
# What the programs say of a device that went away during a job, of an upgrade
# that did not end, and of a device found waiting in its loader.
readonly LOST="The connection to the varDex was lost"
readonly UPGRADE_FAILED="Some error occurred, during firmware upgrading"
readonly IN_LOADER="A varDex in upgrade mode."
# One question and its answer at a time on the console, whichever lane asks.
readonly ASK_LOCK=/run/ask.lock
# The answers come in on the console, kept open here: a lane run in the
# background has its standard input taken away.
exec {CONSOLE}<&0
readonly CONSOLE

pass() { echo "@@ PASS $*"; }
fail() { echo "@@ FAIL $*"; }
section() { echo "-- $* (${SECONDS} s into the guest's run)"; }
ask() {
  local lock
  exec {lock}>"$ASK_LOCK"
  flock "$lock"
  echo "@@ ASK $*"
  IFS= read -r -t "$COMMAND_S" reply <&"$CONSOLE" || reply="(no answer)"
  reply=${reply%$'\r'}
  exec {lock}>&-
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
# found TAG WHAT: identify, after the adapter came back from the pull during
# WHAT, finds the device (in its loader, when the pull cut an upgrade short).
found() {
  run "after-$1" identify --port "$USB"
  if grep -qE -- "Software Version:|$IN_LOADER" "/tmp/after-$1"; then
    pass "after the pulled $2, identify finds the device"
  else
    fail "after the pulled $2, identify finds nothing: $(tail -3 "/tmp/after-$1" | tr '\n' ' ')"
  fi
}

# The four commands on one port; SIM names its simulator on the host.
commands() {
  local tag=$1 port=$2 sim=$3 version=$4
  run "$tag-identify" identify --port "$port"
  expect "$tag identify" "Software Version:	2.10" "/tmp/$tag-identify"
  run "$tag-read" read --port "$port" --json
  if [ "$rc" -eq 0 ]; then
    expect "$tag read" '"m_nPowerUpProfile":0' "/tmp/$tag-read"
  else
    fail "$tag read: exit $rc: $(tail -2 "/tmp/$tag-read" | tr '\n' ' ')"
  fi
  run "$tag-write" write --port "$port" --power-up 2
  expect "$tag write" written "/tmp/$tag-write"
  state "$tag write, as the simulator holds it" "$sim" "power-up profile 2"
  run "$tag-upgrade" upgrade --yes --port "$port" "/upgrade-$version.img"
  expect "$tag upgrade" "upgraded: software version ${version#V}" "/tmp/$tag-upgrade"
  state "$tag upgrade, as the simulator holds it" "$sim" "software: $version"
}

# pulled NAME LINE SAID ARGS...: the command started, the adapter pulled under
# it as soon as its output holds LINE (a step in its exchanges, past the device
# search: a moment in time would fall before or after the step as the program
# gets faster or slower); it ends in time, fails, claims nothing and says SAID;
# then the adapter is plugged back.
pulled() {
  local name=$1
  shift
  local line=$1 said=$2
  shift 2
  local began=$SECONDS i
  timeout "$COMMAND_S" vardexctl "$@" >"/tmp/$name" 2>&1 &
  local pid=$!
  for ((i = 0; i < COMMAND_S * 10; i++)); do
    grep -qF -- "$line" "/tmp/$name" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  ask pull
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

# The window runs on the offscreen platform, driven by window-drive: it takes
# the varDex the device list offers, prints what the Information page shows
# after the read, applies a power-up profile and prints how that ended.
# window NAME PORT ARGS...: in the background, output in /tmp/NAME; pid in $window_pid.
window() {
  local name=$1 port=$2
  shift 2
  XDG_RUNTIME_DIR=/run VARDEX_PORTS=$port VARDEX_LINES='' \
    timeout "$COMMAND_S" window-drive "$@" >"/tmp/$name" 2>"/tmp/$name.err" &
  window_pid=$!
}
# await_line FILE TEXT: FILE gets a line TEXT while the window runs.
await_line() {
  local i
  for ((i = 0; i < COMMAND_S * 10; i++)); do
    grep -qxF -- "$2" "$1" && return 0
    kill -0 "$window_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

uart_lane() {
  section "1. the 16550 UART"
  commands uart "$UART" uart V2.20

  section "4a. the window on the UART"
  window window-uart "$UART" --power-up 1
  wait "$window_pid"
  rc=$?
  sed 's/^/  | /' /tmp/window-uart
  expect "window on the UART: the read shows the device" "read: firmware 2.20, power-up 2" \
    /tmp/window-uart
  expect "window on the UART: the apply is done" "apply: done" /tmp/window-uart
  [ "$rc" -eq 0 ] || fail "window on the UART: exit $rc: $(tail -3 /tmp/window-uart.err | tr '\n' ' ')"
  state "window on the UART, as the simulator holds it" uart "power-up profile 1"
}

usb_lane() {
  section "2. the USB-serial adapter"
  if ! wait_node "$USB"; then
    fail "usb: $USB did not appear"
    return
  fi
  commands usb "$USB" usb V2.20

  section "3. the adapter pulled during a command"
  pulled pulled-read "Software Version:" "$LOST" read --port "$USB"
  found read read
  pulled pulled-write "== Downloading varDex Parameters" "$LOST" write --port "$USB" --power-up 3
  found write write

  section "4b. the window on the adapter, pulled during its write"
  # The device does not answer the power-up profile's command (which only the
  # write sends), so that the write is surely under way when the adapter goes.
  ask control usb "lose S15= 1"
  window window-usb "$USB" --power-up 1
  if await_line /tmp/window-usb writing; then
    ask pull
  else
    fail "window on the adapter: no write began"
  fi
  wait "$window_pid"
  rc=$?
  sed 's/^/  | /' /tmp/window-usb
  if [ "$rc" -ne 0 ]; then
    fail "window on the adapter: exit $rc: $(tail -3 /tmp/window-usb.err | tr '\n' ' ')"
  elif grep -qx "apply: done" /tmp/window-usb; then
    fail "window on the adapter: the apply was called done after the pull"
  else
    expect "window on the adapter pulled during its write: it says so" "message: $LOST" \
      /tmp/window-usb
    expect "window on the adapter: the change stays to be applied again" \
      "apply: changes pending" /tmp/window-usb
    if grep -qx "after the apply: .*, power-up 1" /tmp/window-usb; then
      pass "window on the adapter: the page still shows the change"
    else
      fail "window on the adapter: the page lost the change"
    fi
  fi
  ask plug
  wait_node "$USB" || fail "window on the adapter: $USB did not come back"
  found window "window's write"

  # Last: a pull during the upgrade may leave the device in its loader.
  section "3. the adapter pulled during an upgrade"
  pulled pulled-upgrade "== Upgrading varDex firmware" "$UPGRADE_FAILED" upgrade --yes --port "$USB" /upgrade-V2.30.img
  found upgrade upgrade
}

echo "-- kernel $(uname -r): the ports"
ls -l "$UART" "$USB" 2>&1
uart_lane &
usb_lane &
wait

section "5. the kernel's lines about the UART and the adapter"
dmesg | grep -iE 'ttyS1|8250|16550|usb|ftdi|xhci' | sed 's/^/kernel: /'
echo "@@ END"
