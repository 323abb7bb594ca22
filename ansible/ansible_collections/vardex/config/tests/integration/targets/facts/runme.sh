#!/usr/bin/env bash
# vardex.config.facts fills ansible_facts.vardex, and vardex.config.info reads
# identity and settings, with the shared options set once for the collection's
# group.
# The names devices.sh sets (work, sim, vardexctl) are unknown to shellcheck.
# shellcheck disable=SC2154
source ../setup_vardex_sim/devices.sh

start_device a --country Cyprus --software V2.10
inventory a
passed "$(playbook facts -i "$work/inventory.yml" facts.yml)" a
echo "facts: ok"
