#!/usr/bin/env bash
# The desktop's sound server reached the way tools/run-window reaches it:
# a PulseAudio server of the test's own, with a null sink as the speakers
# and a pipe source fed a 1 kHz tone as the microphone, and ALSA's default
# device set up by tools/sound-env. A recording through the default device
# must hear the tone; a 440 Hz tone played through it must arrive at the
# sink's monitor. The file devices must keep the default device while the
# server runs (as for the tests and --microphone on a desktop). Without a
# server that answers (none, or a socket left behind), the choice must not
# be the server.
#
# usage: sound-server.sh SOURCE_FOLDER; exits 77 (skipped) without pulseaudio.
set -uo pipefail
src=${1:?usage: sound-server.sh SOURCE_FOLDER}
for tool in pulseaudio pactl parec arecord aplay sox python3; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done

work=$(mktemp -d)
server="" feeder="" monitor=""
cleanup() {
    for pid in $monitor $feeder $server; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# Tests inside the build root run as its root: a per-user server with an
# explicit runtime folder works there, also where root is only the mapped
# user of a user namespace (a system server would drop to a user that is
# not mapped).
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset PULSE_SERVER PULSE_COOKIE ALSA_CONFIG_PATH
# Where tools/dev puts the desktop's socket: out of libpulse's own sight.
socket=$work/sound/native
export TOLKA_SOUND_SERVER=unix:$socket
mkdir -p "$(dirname "$socket")"
rate=48000
raw=(-t raw -r "$rate" -e signed-integer -b 16 -c 1 -L)

pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=stderr \
    -L "module-native-protocol-unix socket=$socket" \
    -L "module-null-sink sink_name=speakers rate=$rate channels=1" \
    -L "module-pipe-source source_name=microphone file=$work/microphone.fifo format=s16le rate=$rate channels=1" \
    2>"$work/pulseaudio.log" &
server=$!
for _ in $(seq 100); do
    [ -S "$socket" ] && pactl --server="unix:$socket" info >/dev/null 2>&1 && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done
if ! pactl --server="unix:$socket" info >/dev/null 2>&1; then
    echo "FAIL: pulseaudio did not start:"
    tail -n 20 "$work/pulseaudio.log"
    exit 1
fi
pactl --server="unix:$socket" set-default-sink speakers
pactl --server="unix:$socket" set-default-source microphone

# The microphone hears a tone at a real device's pace.
sox -n "${raw[@]}" "$work/tone1000.raw" synth 30 sine 1000 vol 0.5
python3 "$src/tools/sound/file-microphone" "$work/microphone.fifo" "$work/tone1000.raw" &
feeder=$!

# analyse FILE: prints "RMS FREQUENCY" of the sound in a raw S16LE mono file,
# leading and trailing silence left out (the frequency from zero crossings).
analyse() {
    python3 - "$1" "$rate" <<'PY'
import array, math, sys
samples = array.array("h", open(sys.argv[1], "rb").read())
rate = int(sys.argv[2])
loud = [i for i, s in enumerate(samples) if abs(s) > 1000]
if not loud:
    print("0 0")
    sys.exit()
part = samples[loud[0]:loud[-1] + 1]
rms = math.sqrt(sum(s * s for s in part) / len(part)) / 32768
crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
print(f"{rms:.3f} {crossings / 2 / (len(part) / rate):.0f}")
PY
}
# near VALUE LOW HIGH
near() { awk -v v="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(v >= lo && v <= hi) }'; }

# shellcheck source=tools/sound-env
. "$src/tools/sound-env"
check "a running server is chosen" test "$(choose_sound)" = server

sox -n "${raw[@]}" "$work/tone500.raw" synth 5 sine 500 vol 0.5
(
    use_file_devices
    export TOLKA_MIC_FILE=$work/tone500.raw TOLKA_RENDER_FILE=$work/rendered.raw
    timeout 20 arecord -q -D default -f S16_LE -r "$rate" -c 1 -t raw -d 1 "$work/from-file.raw" 2>"$work/arecord.log"
)
read -r rms frequency < <(analyse "$work/from-file.raw")
echo "recorded from the file devices: RMS $rms, $frequency Hz"
check "the file devices keep the default while the server runs" near "$frequency" 475 525
check "the default device is set up for the server" use_sound_server "$work/alsa"

timeout 20 arecord -q -D default -f S16_LE -r "$rate" -c 1 -t raw -d 3 "$work/recorded.raw" 2>"$work/arecord.log"
check "recording through the default device ends well" test $? = 0
read -r rms frequency < <(analyse "$work/recorded.raw")
echo "recorded: RMS $rms, $frequency Hz"
check "the recording hears the source's tone" near "$rms" 0.2 0.5
check "the recording's tone is the source's 1 kHz" near "$frequency" 950 1050

parec --server="unix:$socket" -d speakers.monitor --format=s16le --rate="$rate" --channels=1 --raw \
    >"$work/monitor.raw" 2>"$work/parec.log" &
monitor=$!
# The monitor's stream is up before the sound starts.
for _ in $(seq 100); do
    [ -n "$(pactl --server="unix:$socket" list short source-outputs)" ] && break
    sleep 0.1
done
sox -n "${raw[@]}" "$work/tone440.raw" synth 2 sine 440 vol 0.5
timeout 20 aplay -q -D default -f S16_LE -r "$rate" -c 1 -t raw "$work/tone440.raw" 2>"$work/aplay.log"
check "playing through the default device ends well" test $? = 0
sleep 0.5 # what the server still holds reaches the monitor
kill "$monitor"
wait "$monitor" 2>/dev/null
monitor=""
read -r rms frequency < <(analyse "$work/monitor.raw")
echo "at the sink's monitor: RMS $rms, $frequency Hz"
check "what was played arrives at the sink" near "$rms" 0.2 0.5
check "it is the 440 Hz tone that was played" near "$frequency" 420 460

kill "$feeder" "$server"
wait "$feeder" "$server" 2>/dev/null
feeder="" server=""
check "a stopped server is not chosen" test "$(choose_sound)" != server
# A socket file that nobody listens on, as a server that crashed leaves it.
mkdir -p "$(dirname "$socket")"
python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$socket"
check "a socket left behind is not chosen" test "$(choose_sound)" != server
TOLKA_SOUND_SERVER=unix:$work/nowhere/native
check "a server named where no socket is, is not chosen" test "$(choose_sound)" != server

for log in arecord aplay parec; do
    [ -s "$work/$log.log" ] && { echo "$log said:"; cat "$work/$log.log"; }
done
[ "$failed" = 0 ] || tail -n 20 "$work/pulseaudio.log"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
