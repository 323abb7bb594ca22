#!/usr/bin/env bash
# The collection's own checks, all of them offline: ansible-core's sanity tests
# that need no packages from the network, then the checks those others make,
# with Debian's tools (the documentation blocks as ansible-doc reads them,
# pycodestyle, yamllint, the modules' imports), and a build of the collection.
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
# These install pinned requirements from the network into a virtual
# environment; their checks are made below with the system's tools instead.
needs_network=(ansible-doc changelog import pep8 pylint runtime-metadata validate-modules
  yamllint pslint shellcheck)
skips=()
for test in "${needs_network[@]}"; do skips+=(--skip-test "$test"); done
ansible-test sanity --local --python "$python" "${skips[@]}"

for module in plugins/modules/*.py; do
  name=$(basename "$module" .py)
  ansible-doc -j "vardex.config.$name" >/dev/null
  echo "ansible-doc vardex.config.$name: ok"
  # The module and its module_utils import (no device is needed for that).
  PYTHONPATH=$work python3 -c "import ansible_collections.vardex.config.plugins.modules.$name"
done
# ansible-test's own pep8 settings.
pycodestyle --max-line-length=160 --ignore=E402,W503,W504,E741 plugins
yamllint -s -d '{extends: default, rules: {line-length: {max: 160}, document-start: disable}}' \
  galaxy.yml meta/runtime.yml
ansible-galaxy collection build --output-path "$work/built" >/dev/null
ls "$work/built"
echo "ansible sanity: ok"
