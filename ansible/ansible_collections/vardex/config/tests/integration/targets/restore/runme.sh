#!/usr/bin/env bash
# backup: true keeps the settings read before a change in a file on the
# controller; vardex.config.restore brings them back, and a second restore
# changes nothing.
# The names devices.sh sets (work, sim, vardexctl) are unknown to shellcheck.
# shellcheck disable=SC2154
source ../setup_vardex_sim/devices.sh

start_device a --country Cyprus
inventory a
[ "$(value a m_bCallWaiting1)" = 1 ] || fail "the simulator's factory state has call waiting on port 1 off"
log=$(playbook backup -i "$work/inventory.yml" backup.yml -e backup_dir="$work/backups")
passed "$log" a
[ -s "$work/backups/a.json" ] || fail "no backup on the controller"
[ "$(value a m_bCallWaiting1)" = 1 ] || fail "the restore did not bring call waiting back"
echo "restore: ok"
