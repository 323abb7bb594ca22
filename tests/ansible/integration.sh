#!/usr/bin/env bash
# One of the collection's integration targets, run by ansible-test against
# simulated devices on this machine, offline. Arguments: target, vardex-sim,
# vardexctl (the ones under test, first on PATH for the target).
set -euo pipefail
target=$1
sim=$(realpath "$2")
vardexctl=$(realpath "$3")
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vardex-ansible-it.XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/bin"
ln -s "$sim" "$work/bin/vardex-sim"
ln -s "$vardexctl" "$work/bin/vardexctl"
# Debian's ansible on Debian's Python; ser2net lives in sbin.
export PATH=$work/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=$work

# ansible-test wants the collection at ansible_collections/NS/NAME and writes
# into its tests/output: a copy keeps the tree clean.
mkdir -p "$work/ansible_collections/vardex"
cp -r "$repo/ansible/ansible_collections/vardex/config" "$work/ansible_collections/vardex/"
cd "$work/ansible_collections/vardex/config"
python=$(python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
ansible-test integration --local --python "$python" --color no "$target" 2>&1 |
  grep -v '^WARNING: \(Using locale\|Reviewing previous\|Unable to determine context\)'
