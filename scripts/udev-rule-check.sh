#!/usr/bin/env bash
# Checks packaging/60-vardex.rules with udev's own rule engine: a USB modem line
# whose device names itself varDex gets the uaccess tag and ModemManager's
# ignore flag, another USB modem line gets neither. The devices are made up: a
# sysfs tree of files in a private mount namespace (nothing touches the real
# /sys, /dev or /run), which `udevadm test` is told to accept.
# Needs root (mount namespaces) and udevadm.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    exec sudo bash "$0" "$@"
fi
rules=$(cd "$(dirname "$0")/.." && pwd)/packaging/60-vardex.rules

# One made-up device: PRODUCT is what the USB device reports. Prints the
# properties and tags udev gives its ttyACM0. With a real /sys (a machine, a
# container) the made-up one goes over it in a mount namespace of its own; in a
# chroot, where /sys is an empty directory and / no mount point to make
# private, it is written there and taken away again.
simulate() {
    local runner=(unshare -m) mode=mounts
    if ! mountpoint -q /sys && [ -z "$(ls -A /sys)" ]; then
        runner=()
        mode=direct
    fi
    "${runner[@]}" bash -euo pipefail -s "$rules" "$1" "$mode" <<'INNER'
rules=$1
product=$2
mode=$3
if [ "$mode" = mounts ]; then
    for dir in /sys /dev /run /etc/udev/rules.d; do
        mount -t tmpfs tmpfs "$dir"
    done
else
    [ ! -e /etc/udev/rules.d/60-vardex.rules ] || {
        echo "udev-rule-check: /etc/udev/rules.d/60-vardex.rules exists already" >&2
        exit 1
    }
    trap 'rm -rf /sys/devices /sys/bus /sys/class /run/udev/data /run/udev/tags /etc/udev/rules.d/60-vardex.rules /dev/char/166:0' EXIT
fi
mkdir -p /etc/udev/rules.d
cp "$rules" /etc/udev/rules.d/
mkdir -p /sys/bus/usb /sys/class/tty /run/udev
usb=/sys/devices/usb1/1-1
tty=$usb/1-1:1.0/tty/ttyACM0
mkdir -p "$tty"
printf '%s\n' "$product" >"$usb/product"
printf 'DEVTYPE=usb_device\n' >"$usb/uevent"
ln -s ../../../bus/usb "$usb/subsystem"
printf 'DEVTYPE=usb_interface\n' >"$usb/1-1:1.0/uevent"
ln -s ../../../../bus/usb "$usb/1-1:1.0/subsystem"
printf 'MAJOR=166\nMINOR=0\nDEVNAME=ttyACM0\n' >"$tty/uevent"
echo 166:0 >"$tty/dev"
ln -s ../../../../../../class/tty "$tty/subsystem"
SYSTEMD_DEVICE_VERIFY_SYSFS=0 udevadm test --action=add /devices/usb1/1-1/1-1:1.0/tty/ttyACM0 2>/dev/null
INNER
}

failed=0
expect() {
    local what=$1 output=$2 pattern=$3 present=$4
    if grep -qE "$pattern" <<<"$output"; then
        [ "$present" = yes ] && return
    else
        [ "$present" = no ] && return
    fi
    echo "udev-rule-check: $what: expected $pattern to be $([ "$present" = yes ] || echo "not ")set" >&2
    failed=1
}

vardex=$(simulate "varDex USB ISDN TA")
expect "a varDex" "$vardex" '^ID_MM_DEVICE_IGNORE=1$' yes
expect "a varDex" "$vardex" '^TAGS=.*:uaccess:' yes
other=$(simulate "USB Modem")
expect "another modem" "$other" '^ID_MM_DEVICE_IGNORE=' no
expect "another modem" "$other" '^TAGS=.*:uaccess:' no
[ "$failed" -eq 0 ] && echo "udev-rule-check: the rule marks the varDex's line, and only it"
exit "$failed"
