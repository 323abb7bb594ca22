#!/usr/bin/env bash
# The collection's unit tests with Debian's pytest, against the schema the
# vardexctl under test prints. Argument: vardexctl.
set -euo pipefail
vardexctl=$(realpath "$1")
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vardex-ansible-units.XXXXXX")
trap 'rm -rf "$work"' EXIT
export PATH=/usr/bin:/bin HOME=$work
"$vardexctl" schema >"$work/schema.json"
# The tree stays clean: no byte code, no pytest cache.
VARDEX_SCHEMA=$work/schema.json PYTHONPATH=$repo/ansible PYTHONDONTWRITEBYTECODE=1 \
  python3 -m pytest -q -p no:cacheprovider \
  "$repo/ansible/ansible_collections/vardex/config/tests/unit"
