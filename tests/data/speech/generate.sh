#!/bin/sh
# Regenerates sentence.raw, the spoken sentence used as microphone input in
# the capture tests: English speech from espeak-ng, converted by sox to raw
# signed 16-bit little-endian mono PCM at 48 kHz, at half volume so that the
# +8 dB output gain of a decoded recording stays clear of clipping.
# Run inside the build environment: tools/dev shell, then this script.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
espeak-ng -v en -s 150 -w "$tmp/sentence.wav" "The quick brown fox jumps over the lazy dog."
sox "$tmp/sentence.wav" -t raw -r 48000 -c 1 -b 16 -e signed-integer -L "$here/sentence.raw" vol 0.5
