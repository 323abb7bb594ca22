#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests, the demonstration
# and the Debian package need, only those missing. It is all a fresh Debian 12
# needs: CI proves it in a minimal root where nothing else was installed.
#   install-deps.sh        what scripts/test.sh and scripts/demo.sh need
#   install-deps.sh --ci   and what only CI's further checks use: clang for the
#                          fuzz targets, and a guest machine for the serial drivers
set -euo pipefail

ci=false
case "${1:-}" in
  "") ;;
  --ci) ci=true ;;
  *) echo "usage: install-deps.sh [--ci]" >&2; exit 2 ;;
esac

packages=(
  # compiler and build
  build-essential cmake ninja-build pkg-config
  # the window (Qt Widgets; its offscreen platform and fonts run the GUI tests)
  qt6-base-dev
  # JSON for vardexctl's settings files
  nlohmann-json3-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # interoperability tests: an independent XMODEM receiver behind a pseudo-terminal
  lrzsz socat
  # the Debian package's checks: lintian, manual pages, AppStream data, the
  # desktop entry, the udev rule in udev's own engine
  lintian man-db appstream desktop-file-utils udev
  # a port server for the tests of serial ports reached over the network
  ser2net
  # the Ansible collection: its engine and sanity tests, and the checks those
  # tests would fetch from the network
  ansible-core pycodestyle yamllint pylint python3-voluptuous python3-pytest shellcheck
  # the settings schema checked with a standard JSON Schema validator
  python3-jsonschema
)
if $ci; then
  packages+=(
    # fuzz targets (libFuzzer) and clang's sanitizer runtimes
    clang libclang-rt-14-dev
    # the programs on the kernel's own serial drivers: a guest root, its
    # initramfs and the machine that boots it (the guest's kernel is Debian's,
    # fetched into the guest root); the fresh-root check's roots
    mmdebstrap cpio qemu-system-x86
  )
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
