#!/usr/bin/env bash
# Each failure says its own reason in msg: a misspelt field, a value out of
# range, a value the device's variant cannot take, a timeout, and a write
# stopped part way (as coreutils' timeout stops vardexctl, once the device has
# stored the first row), which still reports what reached the device.
# The names devices.sh sets (work, sim, vardexctl) are unknown to shellcheck.
# shellcheck disable=SC2154
source ../setup_vardex_sim/devices.sh

start_device a --country Cyprus
inventory a
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
passed "$(playbook mistakes -i "$work/inventory.yml" mistakes.yml -e stopped_vardexctl="$work/stopped-vardexctl")" a
[ "$(value a m_nX25Tei)" != 5 ] || fail "the job that timed out wrote its setting"
echo "failures: ok"
