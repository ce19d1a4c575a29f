#!/usr/bin/env python3
# What a sound server's sink played, against the soundtrack. The recording is the sink's
# monitor (float stereo at 44.1 kHz) from before the show started. The sink plays silence
# until the music starts, and wherever the show fell behind on a busy machine the server
# fills in silence and may drop a little of what came late. So the recording is followed
# frame by frame along the soundtrack, skipping silence and finding its place again after
# a gap; what matters is how much of the sound is the soundtrack, in order, and where in
# the soundtrack it began.
# Usage: sink_song.py SINK.f32 REFERENCE.s16 [BYTES...]
#   prints "first SECONDS" (the soundtrack time of the first sound played; -1 for none),
#   "song SOUNDING_SECONDS MATCHED_SHARE BACKWARD_JUMPS" (how much sound the sink played,
#   the share of it equal to the soundtrack at its place, how often that place went back),
#   and for each BYTES "heard BYTES SECONDS": the soundtrack time the sink had reached when
#   the recording held that many bytes.
import array
import sys

RATE = 44100
KEY = 8  # frames that must agree to find a place in the soundtrack

sink, reference = sys.argv[1], sys.argv[2]
marks = sorted(int(b) // 8 for b in sys.argv[3:])

with open(sink, 'rb') as f:
    data = f.read()
floats = array.array('f')
floats.frombytes(data[:len(data) - len(data) % 8])
# The show mixes 16-bit samples scaled by 1/32768, and a float sink keeps them as they are:
# back to 16 bits, each frame as one 32-bit word, like the reference's.
pcm = array.array('h', (max(-32768, min(32767, round(x * 32768))) for x in floats))
rec_bytes = pcm.tobytes()
rec = array.array('I')
rec.frombytes(rec_bytes)
with open(reference, 'rb') as f:
    ref_bytes = f.read()
ref_bytes = ref_bytes[:len(ref_bytes) - len(ref_bytes) % 4]
ref = array.array('I')
ref.frombytes(ref_bytes)


def find(i, near):
    """The soundtrack frame where rec[i:i+KEY] stands, looked for from 1 s before `near`."""
    key = rec_bytes[4 * i:4 * (i + KEY)]
    if len(key) < 4 * KEY:
        return -1
    at = max(0, near - RATE) * 4
    while True:
        at = ref_bytes.find(key, at)
        if at < 0 or at % 4 == 0:
            return at // 4 if at >= 0 else -1
        at += 1


first = -1
sounding = matched = backward = 0
q = -1  # the soundtrack frame expected next
heard = {}
m = 0
for i in range(len(rec)):
    while m < len(marks) and marks[m] <= i:
        heard[marks[m]] = q
        m += 1
    if rec[i] == 0:
        continue  # silence: the show's before the music, or the server's in a gap
    sounding += 1
    if 0 <= q < len(ref) and rec[i] == ref[q]:
        matched += 1
        q += 1
        continue
    found = find(i, max(q, 0))
    if found < 0:
        continue
    if first < 0:
        first = found
    elif found < q:
        backward += 1
    q = found + 1
    matched += 1
while m < len(marks):
    heard[marks[m]] = q
    m += 1

print('first %.4f' % (first / RATE if first >= 0 else -1))
print('song %.3f %.5f %d' % (sounding / RATE, matched / max(1, sounding), backward))
for b in sys.argv[3:]:
    print('heard %s %.3f' % (b, max(0, heard[int(b) // 8]) / RATE))
