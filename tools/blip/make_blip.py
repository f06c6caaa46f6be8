#!/usr/bin/env python3
"""Writes the prompt sound played before a recording starts.

Raw PCM without header: signed 16-bit little-endian, mono, 48000 Hz,
15047 samples (30094 bytes, about 313 ms). Silent for the first 2672 samples
(about 56 ms), then a 600 Hz tone peaking at +-10500 with raised-cosine edges
that ends at sample 9860, then silence to the end.

Usage: make_blip.py [output]   (default: blip.pcm at the repository root)
"""
import math
import pathlib
import struct
import sys

RATE = 48000
TOTAL = 15047
TONE_START = 2672
TONE_END = 9860
FREQUENCY = 600.0
PEAK = 10500
EDGE = 720  # 15 ms fade in and out, so the tone starts and stops without a click


def envelope(n: int) -> float:
    """Gain of tone sample n (0-based from the tone's start)."""
    length = TONE_END - TONE_START
    if n < EDGE:
        return 0.5 - 0.5 * math.cos(math.pi * n / EDGE)
    if n >= length - EDGE:
        return 0.5 - 0.5 * math.cos(math.pi * (length - n) / EDGE)
    return 1.0


def samples():
    for i in range(TOTAL):
        if TONE_START <= i < TONE_END:
            n = i - TONE_START
            value = PEAK * envelope(n) * math.sin(2 * math.pi * FREQUENCY * n / RATE)
            yield int(round(value))
        else:
            yield 0


def main() -> None:
    default = pathlib.Path(__file__).resolve().parents[2] / "blip.pcm"
    target = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else default
    data = b"".join(struct.pack("<h", s) for s in samples())
    assert len(data) == 2 * TOTAL
    target.write_bytes(data)
    print(f"{target}: {len(data)} bytes")


if __name__ == "__main__":
    main()
