#!/usr/bin/env bash
# A firmware upgrade once: a second run with the same image changes nothing.
# The names devices.sh sets (work, sim, vardexctl) are unknown to shellcheck.
# shellcheck disable=SC2154
source ../setup_vardex_sim/devices.sh

start_device a --country Cyprus
"$sim" --make-image V2.11 "$work/fw-2.11.img" >/dev/null
inventory a
passed "$(playbook upgrade -i "$work/inventory.yml" upgrade.yml -e image="$work/fw-2.11.img")" a
echo "upgrade: ok"
