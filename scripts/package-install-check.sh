#!/usr/bin/env bash
# Runs as root inside a bare Debian 12 root that holds nothing of the project
# but the package DEB: installs it with apt-get, uses the installed programs
# only (the version, a read of a simulated varDex with vardexctl, the window
# reading it and filling its Information page), removes the package and finds
# none of its files left.
#   package-install-check.sh DEB
set -euo pipefail
deb=$(realpath "$1")
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
sim_pid=""
gui_pid=""
finish() {
    local pid
    for pid in $gui_pid $sim_pid; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT
fail() {
    echo "package-install-check: $*" >&2
    exit 1
}
cd "$work"

echo "-- apt-get install ./$(basename "$deb")"
apt-get update -q >/dev/null
# Only what the package depends on: what it merely recommends is not there.
apt-get install -y -q --no-install-recommends "$deb" >/dev/null
version=$(dpkg-query -W -f '${Version}' vardex-config)
dpkg -L vardex-config >files

echo "-- versions"
for program in vardexctl vardex-sim vardex-config; do
    said=$("/usr/bin/$program" --version)
    [ "$said" = "$program $version" ] || fail "$program --version says '$said', the package is $version"
    echo "$said"
done

echo "-- vardexctl read on vardex-sim"
# The simulator prints its port's path first; it runs until it is stopped.
mkfifo sim.out
/usr/bin/vardex-sim --link "$work/vardex" >sim.out 2>sim.err &
sim_pid=$!
exec 3<sim.out
read -r -t 20 port <&3 || fail "vardex-sim did not start: $(cat sim.err)"
echo "simulator on $port"
export VARDEX_PORTS="$work/vardex" VARDEX_LINES=
timeout 120 /usr/bin/vardexctl read --json >read.json 2>read.err ||
    fail "vardexctl read failed: $(tail -3 read.err)"
grep -q '"m_nPowerUpProfile":' read.json || fail "vardexctl read printed no settings: $(head -c 300 read.json)"
echo "read $(wc -c <read.json) bytes of settings"

echo "-- vardex-config on a virtual display"
# The device search asks which varDex to use, even for one: a key press
# answers it, so the window runs on a virtual X display, where keys can be
# sent, rather than on the toolkit's offscreen platform, where they cannot.
apt-get install -y -q --no-install-recommends xvfb xauth xdotool >/dev/null
cat >gui.sh <<'GUI'
set -euo pipefail
VARDEX_TRACE="$PWD/trace.log" /usr/bin/vardex-config >gui.out 2>gui.err &
echo $! >gui.pid
list=$(timeout 60 xdotool search --sync --name '^varDex list$' | head -1)
xdotool windowfocus --sync "$list"
xdotool key --clearmodifiers Return
# The sheet traces what its Information page shows once the read is done.
for _ in $(seq 600); do
    grep -m1 'Information page:' trace.log 2>/dev/null && exit 0
    sleep 0.2
done
exit 1
GUI
shown=$(xvfb-run -a -s "-screen 0 1280x900x24" bash gui.sh) || fail "the window did not fill its Information page: $(tail -5 gui.err)"
gui_pid=$(cat gui.pid)
echo "$shown"
grep -q 'country Hungary, model 1.2, hardware 3.0, firmware 2.10' <<<"$shown" ||
    fail "the Information page shows other values than the simulator's"
kill "$gui_pid" 2>/dev/null || true
kill "$sim_pid"
wait 2>/dev/null || true
gui_pid=""
sim_pid=""

echo "-- apt-get remove vardex-config"
apt-get remove -y -q vardex-config >/dev/null
# It has no configuration files; dpkg keeps only its remove script, for a purge.
status=$(dpkg-query -W -f '${db:Status-Status}' vardex-config 2>/dev/null || true)
case $status in
    "" | not-installed) ;;
    config-files)
        [ -z "$(dpkg-query -W -f '${Conffiles}' vardex-config)" ] ||
            fail "after removal configuration files remain"
        ;;
    *) fail "after removal the package is '$status'" ;;
esac
left=0
while IFS= read -r path; do
    # Directories shared with other packages (/usr, /usr/share/man/man1 ...) stay.
    if [ -e "$path" ] && [ ! -d "$path" ]; then
        echo "left behind: $path" >&2
        left=1
    fi
done <files
for dir in /usr/lib/vardex-config /usr/share/doc/vardex-config; do
    [ ! -e "$dir" ] || { echo "left behind: $dir" >&2; left=1; }
done
[ "$left" -eq 0 ] || fail "files of the package remain"
echo "removed; $(wc -l <files) paths of the package checked, none left"
# After a purge not even dpkg's record of it, nor anything else of that name
# on the system (the package file aside).
apt-get purge -y -q vardex-config >/dev/null
stray=$(find / -xdev \( -path /proc -o -path "$work" -o -path /tmp \) -prune -o \
    -name '*vardex*' ! -path "$deb" -print 2>/dev/null)
[ -z "$stray" ] || fail "left behind after a purge: $stray"
echo "purged; nothing of the package left"
