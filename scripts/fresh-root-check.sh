#!/usr/bin/env bash
# Proves that scripts/install-deps.sh alone is enough on a bare Debian 12: the
# CI machine has packages installed by hand, which once hid a missing one (Qt).
# Builds a minimal bookworm root with mmdebstrap from the host's Debian mirrors,
# puts the committed tree (HEAD, never a build directory) into it, and there, as
# root, runs install-deps.sh and then `test.sh --packages`: the build of the
# programs and the tests that need an installed package, and those tests (the
# whole suite runs once, on the host).
# Then it builds the Debian package there (scripts/package.sh) and installs it
# into a copy of the bare root taken before install-deps.sh ran, where
# scripts/package-install-check.sh uses and removes it.
#   fresh-root-check.sh --whole   instead: the README's test command alone
#                                 (install, build, the whole suite), timed, as
#                                 on a new machine
# Needs root. Everything it mounts and both roots go away on exit, Ctrl+C
# included.
set -euo pipefail

whole=false
case "${1:-}" in
  "") ;;
  --whole) whole=true ;;
  *) echo "usage: fresh-root-check.sh [--whole]" >&2; exit 2 ;;
esac

repo=$(cd "$(dirname "$0")/.." && pwd)
sources=/etc/apt/sources.list.d/debian.sources

# mmdebstrap, chroot and mount need root.
if [ "$(id -u)" -ne 0 ]; then
  exec sudo bash "$0" "$@"
fi
if [ ! -f "$sources" ]; then
  echo "fresh-root-check: $sources not found; it names the Debian mirrors to use" >&2
  exit 1
fi

duration() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# mmdebstrap is a tool of this check, not a build dependency.
if ! command -v mmdebstrap >/dev/null; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends mmdebstrap
fi

root=$(mktemp -d "${TMPDIR:-/var/tmp}/vardex-fresh-root.XXXXXX")
chmod 0755 "$root" # apt downloads as _apt, who must reach the lists inside
# The package's install check gets a copy of the bare root, made before
# install-deps.sh puts anything into the first.
bare=$(mktemp -d "${TMPDIR:-/var/tmp}/vardex-bare-root.XXXXXX")
chmod 0755 "$bare"

# Mount points under a root, deepest first (mountinfo escapes spaces as \040;
# the roots' paths have none).
mounts_under() {
  awk -v r="$1" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo |
    awk '{ print length, $0 }' | sort -rn | cut -d' ' -f2-
}

# Ends every process inside the root DIR, unmounts what is mounted under it and
# removes it; false when something stays mounted (DIR is left then).
remove_root() {
  local dir=$1 pid target left
  # A test that hung or was interrupted may still hold a pty or the cwd.
  for pid in /proc/[0-9]*; do
    if [ "$(readlink "$pid/root" 2>/dev/null)" = "$dir" ]; then
      kill -KILL "${pid#/proc/}" 2>/dev/null || true
    fi
  done
  for _ in 1 2 3; do
    left=$(mounts_under "$dir")
    [ -z "$left" ] && break
    while IFS= read -r target; do
      umount "$target" 2>/dev/null || umount -l "$target" 2>/dev/null || true
    done <<<"$left"
  done
  left=$(mounts_under "$dir")
  if [ -n "$left" ]; then
    echo "fresh-root-check: still mounted, $dir left in place:" >&2
    echo "$left" >&2
    return 1
  fi
  rm -rf --one-file-system "$dir"
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  remove_root "$root" || status=1
  remove_root "$bare" || status=1
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start=$SECONDS

echo "-- creating a minimal Debian 12 root in $root"
# Proxy settings of the host's apt, if it needs any to reach the mirrors.
aptopts=()
proxies=()
for file in /etc/apt/apt.conf /etc/apt/apt.conf.d/*; do
  if [ -f "$file" ] && grep -qi 'proxy' "$file"; then
    aptopts+=(--aptopt="$file")
    proxies+=("$file")
  fi
done
# The "apt" variant: Essential packages and apt, nothing else install-deps.sh
# could silently rely on.
mmdebstrap --mode=root --variant=apt "${aptopts[@]}" bookworm "$root" "$sources"
for file in "${proxies[@]}"; do
  cp "$file" "$root/etc/apt/apt.conf.d/99host-$(basename "$file")"
done
cp --remove-destination -L /etc/resolv.conf "$root/etc/resolv.conf"
chmod 1777 "$root/tmp"

cp -a "$root/." "$bare/"

# The tests open pseudo-terminals and use /proc: a /dev of its own with a
# private devpts instance, so ptys made inside never mix with the host's.
mount_system() {
  local dir=$1 node
  mount -t proc proc "$dir/proc"
  mount -t tmpfs -o mode=0755,nosuid tmpfs "$dir/dev"
  for node in null zero full random urandom tty; do
    touch "$dir/dev/$node"
    mount --bind "/dev/$node" "$dir/dev/$node"
  done
  mkdir "$dir/dev/pts" "$dir/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts "$dir/dev/pts"
  ln -s pts/ptmx "$dir/dev/ptmx"
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$dir/dev/shm"
  ln -s /proc/self/fd "$dir/dev/fd"
  ln -s /proc/self/fd/0 "$dir/dev/stdin"
  ln -s /proc/self/fd/1 "$dir/dev/stdout"
  ln -s /proc/self/fd/2 "$dir/dev/stderr"
}
mount_system "$root"

# Only committed files: no build directory, nothing uncommitted.
mkdir -p "$root/src/vardex"
git -C "$repo" archive --format=tar HEAD | tar -x -C "$root/src/vardex"
created=$SECONDS

# A clean environment, as on a fresh machine; proxies pass through.
env=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8)
for name in http_proxy https_proxy ftp_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
  if [ -n "${!name:-}" ]; then env+=("$name=${!name}"); fi
done
in_root() { chroot "$root" /usr/bin/env -i "${env[@]}" /bin/bash -c "cd /src/vardex && $1"; }
in_bare() { chroot "$bare" /usr/bin/env -i "${env[@]}" /bin/bash -c "cd /tmp && $1"; }

if $whole; then
  echo "-- bash scripts/test.sh in the fresh root, as on a new machine"
  in_root 'bash scripts/test.sh'
  echo "-- fresh root: creation $(duration $((created - start))), bash scripts/test.sh $(duration $((SECONDS - created)))"
  exit 0
fi

echo "-- install-deps.sh in the fresh root"
in_root 'bash scripts/install-deps.sh'
installed=$SECONDS

echo "-- test.sh --packages in the fresh root"
in_root 'bash scripts/test.sh --packages'
tested=$SECONDS

echo "-- the Debian package: built and checked in the fresh root"
in_root 'bash scripts/package.sh'
deb=$(cd "$root" && ls src/vardex/build/vardex-config_*_amd64.deb)
packaged=$SECONDS

echo "-- the package installed into a bare Debian 12 root, used and removed"
mount_system "$bare"
cp "$root/$deb" "$bare/tmp/"
cp "$root/src/vardex/scripts/package-install-check.sh" "$bare/tmp/"
in_bare "bash package-install-check.sh ./$(basename "$deb")"
done_at=$SECONDS

echo "-- fresh root: creation $(duration $((created - start))), install-deps $(duration $((installed - created))), build and tests $(duration $((tested - installed))), package $(duration $((packaged - tested))), install check $(duration $((done_at - packaged))), total $(duration $((done_at - start)))"
