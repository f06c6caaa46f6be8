#!/usr/bin/env bash
# tools/dev as an ordinary user: the same code path that makes and enters
# the full build root, on a small root (a handful of packages, no Wine) in a
# throwaway cache, so that CI can afford it. Checks that the user makes and
# enters the root without privileges, is its root inside, that what it writes
# into the work tree and the cache is the user's, that the display's
# authority and the Wayland and sound server sockets of the user's session
# are reachable inside, and that nothing stays mounted afterwards.
#
# Run as root (CI): the test makes the user tolkatest (TOLKA_TEST_USER) and
# works in its home. Run as a user: it works as that user in a temporary
# folder.
set -uo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

if [ "$(id -u)" = 0 ]; then
    user=${TOLKA_TEST_USER:-tolkatest}
    id "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user" || exit 1
    home=$(getent passwd "$user" | cut -d: -f6)
    as_user() { runuser -u "$user" -- "$@"; }
else
    user=$(id -un)
    home=${TMPDIR:-/tmp}
    as_user() { "$@"; }
fi
base=$(as_user mktemp -d "$home/tolka-rootless.XXXXXX") || exit 1
tree=$base/tree cache=$base/cache runtime=$base/run
cleanup() {
    [ -f "$base/listener.pid" ] && as_user kill "$(cat "$base/listener.pid")" 2>/dev/null
    # Everything there is the user's, the root included, so the user can
    # remove it: a failure to do so is a fault too.
    as_user rm -rf "$base" || { echo "FAIL: $user cannot remove $base"; exit 1; }
}
trap cleanup EXIT

# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# tools/dev runs with a desktop user's PATH (no sbin folders).
# A work tree of the user's with tools/dev and a small package list: dbus
# makes a system user and group, whose ownership dpkg can only fake here.
as_user mkdir -p "$tree/tools" "$runtime"
as_user chmod 700 "$runtime"
tar -C "$src" -cf - tools/dev tools/sound-env tools/sound | as_user tar -C "$tree" -xf -
printf '# the test'\''s small root\ndbus-daemon\n' | as_user tee "$tree/tools/packages.txt" >/dev/null
echo "magic-cookie-of-the-test" | as_user tee "$base/xauthority" >/dev/null

# The session's sockets: a Wayland display and a sound server, listening.
as_user python3 -c '
import os, signal, socket, sys
open(sys.argv[1], "w").write(str(os.getpid()))
for path in sys.argv[2:]:
    os.makedirs(os.path.dirname(path), exist_ok=True)
    s = socket.socket(socket.AF_UNIX)
    s.bind(path)
    s.listen()
    globals().setdefault("keep", []).append(s)
signal.pause()' "$base/listener.pid" "$runtime/wayland-test" "$runtime/pulse/native" >/dev/null 2>&1 &
for _ in $(seq 50); do [ -S "$runtime/pulse/native" ] && break; sleep 0.1; done

inside='id -u
touch build/made-inside
cat "$XAUTHORITY"
test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" && echo "wayland socket: $WAYLAND_DISPLAY"
test -S "${TOLKA_SOUND_SERVER#unix:}" && echo "sound server: $TOLKA_SOUND_SERVER"
echo "libpulse told of a server: ${PULSE_SERVER:-no}"
dbus-daemon --version | head -n1
exit
'
echo "$user makes the root in $cache (a minute or two)"
printf '%s' "$inside" | as_user env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" TERM=dumb \
    TOLKA_CACHE="$cache" TOLKA_WINE=0 TOLKA_FORCE_ROOT=1 ${TOLKA_MIRROR:+TOLKA_MIRROR=$TOLKA_MIRROR} \
    DISPLAY=:77 XAUTHORITY="$base/xauthority" XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY=wayland-test \
    bash "$tree/tools/dev" shell >"$base/out.log" 2>"$base/err.log"
status=$?
cat "$base/out.log"
check "tools/dev shell ends well as $user" test "$status" = 0
check "$user is root inside" grep -qx 0 "$base/out.log"
check "the packages are installed" grep -q '^D-Bus Message Bus Daemon' "$base/out.log"
check "a file written inside belongs to $user" test "$(stat -c %U "$tree/build/made-inside" 2>/dev/null)" = "$user"
check "the root belongs to $user" test -z "$(find "$cache/forky" -xdev ! -user "$user" -print -quit 2>/dev/null)"
check "the X authority is read inside" grep -qx magic-cookie-of-the-test "$base/out.log"
check "the Wayland socket is reachable inside" grep -qx 'wayland socket: wayland-test' "$base/out.log"
check "the sound server socket is reachable inside" grep -qx "sound server: unix:/tmp/.tolka-sound/native" "$base/out.log"
check "only tools/sound-env is told of the server" grep -qx "libpulse told of a server: no" "$base/out.log"
check "nothing stays mounted in the root" test ! -e "$cache/forky/tmp/.tolka-sound/native" -a ! -e "$cache/forky/tmp/.tolka-Xauthority"

# A second entry reuses the root.
echo 'exit' | as_user env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" TERM=dumb \
    TOLKA_CACHE="$cache" TOLKA_WINE=0 TOLKA_FORCE_ROOT=1 bash "$tree/tools/dev" shell >/dev/null 2>"$base/again.log"
check "entering again makes nothing anew" test -z "$(grep -E 'creating|installing' "$base/again.log")"

[ "$failed" = 0 ] || { echo "tools/dev said:"; tail -n 30 "$base/err.log"; }
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
