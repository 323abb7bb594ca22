#!/usr/bin/env bash
# Runs the installed programs on the kernel's own serial drivers, which the
# pseudo-terminal tests never meet: a 16550 UART (ttyS1, the 8250 driver) and
# a USB-serial adapter (ttyUSB0, usbserial and ftdi_sio on an xHCI controller),
# both emulated by QEMU in a Debian 12 guest whose root is a minimal bookworm
# with the project's Debian package installed. A vardex-sim on the host plays
# the device behind each port (socat joins its pseudo-terminal to the socket of
# QEMU's character device); closing the adapter's socket pulls its cable as the
# guest sees it, connecting again plugs it back.
# In the guest: identify, read, write and upgrade on each port, compared with
# the simulator's state; the adapter pulled during a read, a write and an
# upgrade, each ending in time without claiming success and the device found
# again once plugged back; the window reading the device on ttyS1 and then
# writing over the adapter while it is pulled; and the kernel's own lines
# about both ports. Last line: "kernel-serial: N passed, N failed".
#   kernel-serial-check.sh [DEB]   (without DEB: scripts/package.sh builds it)
# Needs root (mmdebstrap); everything it starts and makes goes away on exit,
# Ctrl+C included.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
sources=/etc/apt/sources.list.d/debian.sources

if [ "$(id -u)" -ne 0 ]; then
  exec sudo bash "$0" "$@"
fi
[ -f "$sources" ] || { echo "kernel-serial: $sources not found; it names the Debian mirrors to use" >&2; exit 1; }

# Every wait of this check, in seconds.
readonly BUILD_ROOT_S=600   # mmdebstrap with the package and kmod
readonly GUEST_S=420        # the whole guest run, boot to power-off
readonly ASK_S=240          # the guest's longest step between two questions
readonly SIM_START_S=20     # a simulator printing its port

for tool in mmdebstrap qemu-system-x86_64 cpio socat; do
  command -v "$tool" >/dev/null ||
    { echo "kernel-serial: $tool is missing; scripts/install-deps.sh --ci installs it" >&2; exit 1; }
done

deb=${1:-}
if [ -z "$deb" ]; then
  deb=$(bash "$repo/scripts/package.sh" | tail -1)
fi
deb=$(realpath "$deb")
sim_bin=$repo/build/sim/vardex-sim
# The window with nobody at it: built with the tests, run in the guest against
# the package's libraries.
window_drive=$repo/build/tests/kernel/window-drive
[ -x "$window_drive" ] || { echo "kernel-serial: $window_drive not built (cmake --build build)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/var/tmp}/vardex-kernel-serial.XXXXXX")
chmod 0755 "$work"
pids=()
usb_link=""
qemu_pid=""
cleanup() {
  local status=$? pid
  trap - EXIT INT TERM
  for pid in $usb_link $qemu_pid "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf --one-file-system "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }

echo "-- guest root: minimal Debian 12, the package, the kernel's serial and USB modules"
aptopts=()
for file in /etc/apt/apt.conf /etc/apt/apt.conf.d/*; do
  if [ -f "$file" ] && grep -qi 'proxy' "$file"; then aptopts+=(--aptopt="$file"); fi
done
root=$work/root
mkdir "$root"
cp "$deb" "$work/vardex.deb"
# The kernel package is unpacked, not installed: its scripts would build an
# initrd nobody uses. Only the modules the two ports need stay.
timeout "$BUILD_ROOT_S" mmdebstrap --mode=root --variant=apt --include=kmod,mount "${aptopts[@]}" \
  --customize-hook="copy-in $work/vardex.deb /tmp" \
  --customize-hook='chroot "$1" apt-get install -y -q --no-install-recommends /tmp/vardex.deb' \
  --customize-hook='chroot "$1" sh -c "cd /var/tmp && apt-get download -q \$(apt-cache depends linux-image-amd64 | sed -n \"s/.*Depends: \\(linux-image-[0-9].*\\)/\\1/p\")"' \
  --customize-hook="mv \"\$1\"/var/tmp/linux-image-*.deb $work/" \
  bookworm "$root" "$sources" >"$work/mmdebstrap.log" 2>&1 ||
  { tail -30 "$work/mmdebstrap.log"; echo "kernel-serial: the guest root could not be made" >&2; exit 1; }
mkdir "$work/kernel"
dpkg-deb -x "$work"/linux-image-*.deb "$work/kernel"
kver=$(ls "$work/kernel/lib/modules")
cp "$work/kernel/boot/vmlinuz-$kver" "$work/vmlinuz"
mkdir -p "$root/lib/modules"
mv "$work/kernel/lib/modules/$kver" "$root/lib/modules/"
chroot "$root" depmod "$kver"
for module in xhci_pci ftdi_sio; do
  chroot "$root" modprobe -S "$kver" --show-depends "$module"
done | awk '$1 == "insmod" && !seen[$2]++ { print $2 }' >"$work/modules"
keep=$work/keep
mkdir "$keep"
while IFS= read -r module; do
  mkdir -p "$keep$(dirname "$module")"
  mv "$root$module" "$keep$module"
done <"$work/modules"
rm -rf "$root/lib/modules/$kver/kernel"
cp -a "$keep/lib/modules/$kver/kernel" "$root/lib/modules/$kver/"
cp "$work/modules" "$root/modules.list"
rm -rf "$root"/tmp/* "$root"/usr/share/{doc,man,info,locale} "$root"/var/cache/apt/* \
  "$root"/var/lib/apt/lists/* "$work/kernel" "$keep"
# The root is unpacked into the guest's memory at every boot: what nothing in
# the guest runs goes. Mesa's drivers (and the compiler they load) serve only
# OpenGL, which the offscreen platform never asks for; perl, the character set
# converters and dpkg's scripts serve only package installs.
lib=$root/usr/lib/x86_64-linux-gnu
rm -rf "$lib"/libLLVM-*.so.* "$lib"/libz3.so.* "$lib"/dri "$lib"/perl "$lib"/gconv \
  "$root"/usr/share/perl "$root"/var/lib/dpkg/info

# The device image the guest upgrades to, and the guest's part of the check.
for version in V2.20 V2.30; do
  "$sim_bin" --make-image "$version" "$root/upgrade-$version.img" >/dev/null
done
install -m 0755 "$repo/scripts/kernel-serial-guest.sh" "$root/check.sh"
install -m 0755 -s "$window_drive" "$root/usr/bin/window-drive"
cat >"$root/init" <<'INIT'
#!/bin/bash
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
while read -r module; do insmod "$module"; done </modules.list
stty -F /dev/ttyS0 -echo -onlcr
bash /check.sh </dev/ttyS0 >/dev/ttyS0 2>&1
echo 1 >/proc/sys/kernel/sysrq
echo o >/proc/sysrq-trigger
sleep 10
INIT
chmod 0755 "$root/init"
(cd "$root" && find . -xdev | cpio -o -H newc --quiet) >"$work/initrd"
rm -rf --one-file-system "$root"
echo "guest: made in $SECONDS s: kernel $kver, root $(($(stat -c %s "$work/initrd") / 1048576)) MiB"

echo "-- simulators and QEMU"
# start_sim NAME: a simulator with its state file and control socket.
start_sim() {
  local name=$1
  mkfifo "$work/$name.out"
  "$sim_bin" --state "$work/$name.state" --control "$work/$name.ctl" >"$work/$name.out" \
    2>"$work/$name.err" &
  pids+=($!)
  local port
  read -r -t "$SIM_START_S" port <"$work/$name.out" ||
    { echo "kernel-serial: vardex-sim did not start: $(cat "$work/$name.err")" >&2; exit 1; }
  echo "$port" >"$work/$name.port"
}
sim_status() { socat -T 5 - "UNIX-CONNECT:$work/$1.ctl" <<<"status" 2>/dev/null || true; }
start_sim uart
start_sim usb

# join NAME: the simulator's pseudo-terminal to QEMU's socket of that port.
join() {
  timeout "$GUEST_S" socat "UNIX-CONNECT:$work/$1.sock" "FILE:$(cat "$work/$1.port"),raw,echo=0" \
    2>>"$work/socat.err" &
}

accel=tcg
if [ -w /dev/kvm ] && [ "${VARDEX_KVM:-}" = 1 ]; then accel=kvm; fi
mkfifo "$work/con.in" "$work/con.out"
timeout "$GUEST_S" qemu-system-x86_64 -accel "$accel" -m 2048 -smp 2 -nodefaults -no-reboot \
  -display none -monitor none -kernel "$work/vmlinuz" -initrd "$work/initrd" \
  -append "console=ttyS0 rdinit=/init loglevel=3 panic=-1" \
  -chardev "pipe,id=con,path=$work/con" -serial chardev:con \
  -chardev "socket,id=uart,path=$work/uart.sock,server=on,wait=off" -serial chardev:uart \
  -device qemu-xhci \
  -chardev "socket,id=usb,path=$work/usb.sock,server=on,wait=off" -device usb-serial,chardev=usb \
  >"$work/qemu.log" 2>&1 &
qemu_pid=$!
for _ in $(seq 100); do
  [ -S "$work/uart.sock" ] && [ -S "$work/usb.sock" ] && break
  sleep 0.1
done
join uart
pids+=($!)
join usb
usb_link=$!
exec 3<"$work/con.out" 4>"$work/con.in"

# The guest asks, the host answers on the console: "ASK state SIM" is
# answered with the simulator's status on one line, "ASK control SIM WORDS..."
# with its answer to that control command, "ASK pull" pulls the adapter (the
# guest asks at the step it pulls during), "ASK plug" plugs it back.
answer() { printf '%s\n' "$*" >&4; }
start=$SECONDS
while IFS= read -r -t "$ASK_S" line <&3; do
  line=${line%$'\r'}
  case $line in
    "@@ ASK state "*)
      answer "$(sim_status "${line#@@ ASK state }" | tr '\n' ';')"
      ;;
    "@@ ASK control "*)
      words=${line#@@ ASK control }
      answer "$(socat -T 5 - "UNIX-CONNECT:$work/${words%% *}.ctl" <<<"${words#* }" 2>/dev/null |
        tr '\n' ';')"
      ;;
    "@@ ASK pull")
      kill "$usb_link" 2>/dev/null || true
      answer pulled
      ;;
    "@@ ASK plug")
      wait "$usb_link" 2>/dev/null || true
      join usb
      usb_link=$!
      answer plugged
      ;;
    "@@ PASS "*) pass "${line#@@ PASS }" ;;
    "@@ FAIL "*) fail "${line#@@ FAIL }" ;;
    "@@ END") break ;;
    *) printf '%s\n' "$line" ;;
  esac
done
seen_end=$([ "${line:-}" = "@@ END" ] && echo yes || echo no)
[ "$seen_end" = yes ] || fail "guest: no end within its bounds (last line: ${line:-none}); QEMU: $(tail -3 "$work/qemu.log")"
wait "$qemu_pid" 2>/dev/null || true
qemu_pid=""
echo "guest ran $((SECONDS - start)) s"
echo "kernel-serial: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
