#!/usr/bin/env bash
# The collection's own checks, all of them offline: every sanity test of
# ansible-core (validate-modules and pylint included) with Debian's tools in
# place of the packages it would fetch, and a build of the collection.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vardex-ansible-sanity.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Debian's ansible runs on Debian's Python, whatever else is first on PATH.
export PATH=/usr/bin:/bin HOME=$work ANSIBLE_LOCAL_TEMP=$work/tmp
export ANSIBLE_COLLECTIONS_PATH=$work

# ansible-test wants the collection at ansible_collections/NS/NAME and writes
# into its tests/output: a copy keeps the tree clean.
mkdir -p "$work/ansible_collections/vardex"
cp -r "$repo/ansible/ansible_collections/vardex/config" "$work/ansible_collections/vardex/"
cd "$work/ansible_collections/vardex/config"

python=$(python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
# ansible-test builds a virtual environment for a test with requirements and
# fills it from the network. One that sees Debian's packages (pylint,
# voluptuous, pycodestyle, yamllint...) stands in for it: made where the first
# attempt says it wanted one, then the test runs again.
sanity() {  # test
  local out venv attempt
  for attempt in 1 2 3; do
    if out=$(ansible-test sanity --local --python "$python" --test "$1" 2>&1); then
      echo "$out" | grep -v '^WARNING: Using locale' || true
      return 0
    fi
    # A test may want more than one (import: one for modules, one for plugins).
    venv=$(sed -n 's/^FATAL: Python [0-9.]* at "\(.*\)\/bin\/python" does not have pip available.*/\1/p' <<<"$out")
    [ -n "$venv" ] || break
    rm -rf "$venv"
    python3 -m venv --system-site-packages --without-pip "$venv"
    echo '[]' >"$venv/meta.install.json"
    # Whether its PyYAML has libyaml, as ansible-test records it.
    "$venv/bin/python" -c 'import json, yaml; print(json.dumps(hasattr(yaml, "CLoader")))' \
      >"$venv/meta.yaml.json"
    touch "$venv/marker.txt"
  done
  echo "$out"
  return 1
}
# Every test but the one for a file kind the collection has none of (PowerShell).
for test in $(ansible-test sanity --list-tests); do
  case $test in pslint) continue ;; esac
  sanity "$test"
done

ansible-galaxy collection build --output-path "$work/built" >/dev/null
ls "$work/built"
echo "ansible sanity: ok"
