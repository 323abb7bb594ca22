#!/usr/bin/env bash
# Builds the Debian package from the install rules (in build/, configured for
# /usr) and checks its parts: lintian (errors fail, warnings are listed), the
# manual pages render without warnings, the AppStream data and the desktop
# entry validate, the udev rule does what it says and lies where udev reads
# the rules of packages. Prints the package's path
# as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."

# The tree test.sh built, configured again for /usr: nothing is compiled anew,
# and only what the package holds is built if it was not.
cmake -S . -B build -G Ninja -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build --target vardex_installed
rm -f build/vardex-config_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/vardex-config_*_amd64.deb)

echo "-- lintian"
# The package is built as root in CI; lintian only warns about that.
lintian_out=$(lintian --allow-root --info "$deb" || true)
printf '%s\n' "$lintian_out" | grep -v '^I: ' || true
if grep -q '^E: ' <<<"$lintian_out"; then
    echo "package: lintian reports errors" >&2
    exit 1
fi

echo "-- manual pages"
for page in build/packaging/*.1; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        printf '%s: %s\n' "$page" "$warnings" >&2
        exit 1
    fi
    # Every page has its sections, not just a heading.
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^SYNOPSIS' ||
        { echo "$page renders no SYNOPSIS" >&2; exit 1; }
done
echo "build/packaging/*.1 render without warnings"

echo "-- AppStream data, desktop entry"
appstreamcli validate --no-net --pedantic build/packaging/org.vardex.config.metainfo.xml
desktop-file-validate src/app/vardex-config.desktop

echo "-- udev rule"
bash scripts/udev-rule-check.sh
bash tests/packaging/packaging_test.sh udev_rule_place "$deb"
echo "$deb carries the rule in /usr/lib/udev/rules.d"

echo "$PWD/$deb"
