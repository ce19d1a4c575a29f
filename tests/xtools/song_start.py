#!/usr/bin/env python3
# Waits for the soundtrack in a growing disk-audio file (SDL's disk driver: float stereo
# at 44.1 kHz) and prints the output frame where the song begins: the first sound, less
# the song's own silent lead-in. The device opens before the soundtrack is decoded, so
# the song starts after some silence of the show's own.
# Usage: song_start.py AUDIO REFERENCE_S16 FRAMES_NEEDED SECONDS
#   waits until FRAMES_NEEDED frames from the song's start are written, at most SECONDS;
#   prints -1 and exits 1 when that does not happen in time.
import os
import sys
import time

audio, reference = sys.argv[1], sys.argv[2]
need, limit = int(sys.argv[3]), float(sys.argv[4])
with open(reference, 'rb') as f:
    ref = f.read(44100 * 4 * 30)            # 16-bit stereo; the lead-in is far shorter
lead_in = (len(ref) - len(ref.lstrip(b'\0'))) // 4
deadline = time.time() + limit
start, checked = None, 0                    # bytes already seen to be silence
while time.time() < deadline:
    size = os.path.getsize(audio) if os.path.exists(audio) else 0
    if start is None and size > checked:
        with open(audio, 'rb') as f:
            f.seek(checked)
            chunk = f.read(size - checked)
        sound = chunk.lstrip(b'\0')
        if sound:
            start = (checked + len(chunk) - len(sound)) // 8 - lead_in
        checked += len(chunk) - len(chunk) % 8
    if start is not None and size // 8 - start >= need:
        print(start)
        sys.exit(0)
    time.sleep(0.05)
print(-1)
sys.exit(1)
