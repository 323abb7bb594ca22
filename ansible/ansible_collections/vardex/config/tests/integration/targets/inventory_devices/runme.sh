#!/usr/bin/env bash
# The inventory plugin lists the simulated devices vardexctl finds on a host,
# grouped by country and firmware; a port with no device adds no host.
# The names devices.sh sets (work, sim, vardexctl) are unknown to shellcheck.
# shellcheck disable=SC2154
source ../setup_vardex_sim/devices.sh

start_device a --country Cyprus
start_device b --country Poland --software V2.11
cat >"$work/bench.vardex.yml" <<YAML
plugin: vardex.config.devices
hosts:
  - name: localhost
environment:
  VARDEX_PORTS: "$work/a:$work/nothing-here:$work/b"
  VARDEX_TIME_SCALE: "$VARDEX_TIME_SCALE"
YAML
graph=$(ansible-inventory -i "$work/bench.vardex.yml" --graph 2>"$work/inventory.log") ||
  { cat "$work/inventory.log"; fail "the inventory plugin failed"; }
host() { tr -c '0-9A-Za-z_\n' _ <<<"localhost_${work#/}/$1" | tr '[:upper:]' '[:lower:]'; }
for line in "@vardex_country_cyprus:" "@vardex_country_poland:" "@vardex_firmware_2_11:" \
  "$(host a)" "$(host b)"; do
  grep -qF -- "$line" <<<"$graph" || { echo "$graph"; fail "the inventory has no $line"; }
done
[ "$(grep -o 'localhost_[a-z0-9_]*' <<<"$graph" | sort -u | wc -l)" -eq 2 ] || { echo "$graph"; fail "the inventory has a device too many or too few"; }
echo "inventory_devices: ok"
