#!/usr/bin/env python3
"""The soundtrack's composition in figures, from the score that `make_soundtrack OUT.ogg
--score FILE` prints: where the main motif (a rise of a fourth, a step down, a third down, on
a 3+3+2 rhythm, in any key) is heard, the gaps with no melodic voice, how the loop shares its
bars between the melodic parts, which key signature each bar of the loop fits, how the
four-bar phrases open, and the semitone clashes on the quarter beats.
Usage: tools/score_report.py SCORE.txt"""
import math
import sys

BEAT = 60.0 / 96.0
BAR = 4 * BEAT
STEP = BEAT / 4
LOOP_BAR, SONG_BARS = 32, 48
LOOP_START, SONG_END = LOOP_BAR * BAR, SONG_BARS * BAR
NAMES = ["C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"]


def read(path):
    notes, melodic = [], []
    with open(path) as f:
        for line in f:
            if line.startswith("#"):
                if line.startswith("# melodic:"):
                    melodic = line.split(":", 1)[1].split()
                continue
            if line.strip():
                t, part, midi, length, vel = line.split()
                notes.append((float(t), part, float(midi), float(length), float(vel)))
    return notes, melodic


def bar_of(t):
    return int(math.floor((t + 0.05) / BAR))


def motifs(notes, melodic):
    """Every four-note run, within one part, rising a fourth, falling a tone and a minor third
    on durations of 3, 3 and 2 units."""
    found = []
    for part in melodic:
        line = {}
        for t, p, midi, _, _ in notes:  # one note per onset: the top of any chord
            if p == part:
                key = round(t / 0.01)
                line[key] = max(line.get(key, (t, midi)), (t, midi), key=lambda x: x[1])
        seq = sorted(line.values())
        for i in range(len(seq) - 3):
            (t0, m0), (t1, m1), (t2, m2), (t3, m3) = seq[i:i + 4]
            if (m1 - m0, m2 - m1, m3 - m2) != (5, -2, -3):
                continue
            unit = (t3 - t0) / 8.0
            if not 0.5 * STEP <= unit <= 4 * STEP:
                continue
            gaps = ((t1 - t0, 3), (t2 - t1, 3), (t3 - t2, 2))
            if all(abs(g - w * unit) <= 0.35 * unit for g, w in gaps):
                found.append((t0, part, int(m0)))
    return sorted(found)


def longest_silence(notes, melodic):
    """The longest stretch after 10 s with no melodic note sounding; the loop's end runs on
    into 80 s, as the player plays it."""
    spans = []
    for t, p, _, length, _ in notes:
        if p not in melodic:
            continue
        spans.append((t, t + length))
        if t >= LOOP_START and t + length > SONG_END:  # rings on past the seam
            spans.append((LOOP_START, LOOP_START + t + length - SONG_END))
    spans.sort()
    worst, where, reach = 0.0, (10.0, 10.0), 10.0
    for a, b in spans:
        if a > reach and a - reach > worst:
            worst, where = a - reach, (reach, a)
        reach = max(reach, b)
    first_after_loop = min((a for a, _ in spans if a >= LOOP_START), default=SONG_END)
    across = SONG_END - min(reach, SONG_END) + first_after_loop - LOOP_START
    if across > worst:
        worst, where = across, (min(reach, SONG_END), first_after_loop)
    return worst, where


def weights(notes, start, end, parts=None):
    """Pitch classes weighted by how long each sounds within [start, end)."""
    w = [0.0] * 12
    for t, p, midi, length, _ in notes:
        if parts is not None and p not in parts:
            continue
        overlap = min(end, t + length) - max(start, t)
        if overlap > 0:
            w[int(midi) % 12] += overlap
    return w


def signature_of(notes, b):
    """The key signature that the bar's notes fit best, weighted by how long each sounds: the
    major scale (or its relative minor) that leaves the least of them out. A minor's own
    leading tone, G#, counts as home, and a stray passing note does not take a bar away:
    another signature must fit 5 % of the bar better. Returns the relative minor's tonic."""
    w = weights(notes, b * BAR, (b + 1) * BAR)

    def inside(minor):
        scale = {(minor + d) % 12 for d in (0, 2, 3, 5, 7, 8, 10)}
        if minor == 9:
            scale.add(8)
        return sum(w[pc] for pc in scale)

    best = max(range(12), key=lambda m: (inside(m), m == 9))
    return best if inside(best) - inside(9) > 0.05 * sum(w) else 9


def chord_of(notes, start, end, melodic):
    """The triad that the accompaniment sounds most of in [start, end)."""
    w = weights(notes, start, end, {p for _, p, _, _, _ in notes} - set(melodic))
    best = None
    for root in range(12):
        for name, third in (("", 4), ("m", 3)):
            tones = {root, (root + third) % 12, (root + 7) % 12}
            outside = sum(w[pc] for pc in range(12) if pc not in tones)
            score = sum(w[pc] for pc in tones) - 0.5 * outside + 0.25 * w[root]
            if best is None or score > best[0]:
                best = (score, NAMES[root] + name)
    return best[1] if sum(w) > 0 else "-"


def clashes(notes, melodic):
    """Quarter beats where a melodic note sounds a semitone or a minor ninth from another
    pitched note. Each beat is looked at just after its attacks (30 ms)."""
    found = []
    beats = int(round(SONG_END / BEAT))
    for k in range(beats):
        at = k * BEAT + 0.03
        sounding = [(p, midi) for t, p, midi, length, _ in notes if t <= at < t + length]
        for i, (p, m) in enumerate(sounding):
            if p not in melodic:
                continue
            for j, (q, n) in enumerate(sounding):
                if j != i and abs(m - n) in (1, 13) and not (q in melodic and j < i):
                    found.append((k, p, m, q, n))
    return found


def name(midi):
    midi = int(midi)
    return NAMES[midi % 12] + str(midi // 12 - 1)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    notes, melodic = read(sys.argv[1])
    if not notes or not melodic:
        sys.exit("score_report: no notes, or no '# melodic:' line, in " + sys.argv[1])
    results = []

    def target(ok, what, value):
        results.append("  %s: %s (%s)" % ("ok  " if ok else "MISS", what, value))

    print("score: %d pitched notes; melodic parts: %s" % (len(notes), " ".join(melodic)))
    found = motifs(notes, melodic)
    first = found[0][0] if found else float("inf")
    early = sum(1 for t, _, _ in found if t < 50.0)
    print("main motif, %d times: %s" % (len(found), ", ".join(
        "%.1f s %s on %s" % (t, p, name(m)) for t, p, m in found)))
    target(first <= 10.0, "1. the main motif first heard by 10 s (s)", "%.1f" % first)
    target(early >= 3, "1. the main motif at least 3 times before 50 s", early)
    target(len(found) >= 10, "1. the main motif at least 10 times in 120 s", len(found))

    gap, (a, b) = longest_silence(notes, melodic)
    print("longest stretch after 10 s with no melodic voice: %.2f s, %.2f to %.2f s%s" % (
        gap, a, b, " (across the loop's seam)" if b < a else ""))
    target(gap <= 3.0, "2. after 10 s, no melodic gap over 3 s (s)", "%.2f" % gap)

    print("the loop's 16 bars (80-120 s), bars each melodic part plays in:")
    busiest = 0
    for part in melodic:
        bars = sorted({bar_of(t) for t, p, _, _, _ in notes if p == part})
        bars = [x for x in bars if LOOP_BAR <= x < SONG_BARS]
        busiest = max(busiest, len(bars))
        print("  %-8s %2d: %s" % (part, len(bars), " ".join(str(x) for x in bars)))
    target(busiest <= 12, "3. the busiest melodic part in at most 75 % of the loop's bars", busiest)

    keys, away = [], 0
    for b in range(LOOP_BAR, SONG_BARS):
        minor = signature_of(notes, b)
        sharps = (minor + 3) * 7 % 12  # of the relative major
        keys.append("%d:%s" % (b, "Am" if minor == 9 else "%d%s" % (
            sharps if sharps <= 6 else 12 - sharps, "#" if sharps <= 6 else "b")))
        away += minor != 9
    print("key signature each loop bar fits best: " + " ".join(keys))
    target(away >= 4, "4. at least 4 of the loop's bars centred on another key than A minor", away)

    openings, afc = [], 0
    for phrase in range(12):
        bars = range(4 * phrase, 4 * phrase + 4)
        chords = [chord_of(notes, b * BAR + 0.05, (b + 0.5) * BAR, melodic) for b in bars]
        openings.append("%d s %s" % (10 * phrase, "-".join(chords)))
        afc += chords[:3] == ["Am", "F", "C"]
    print("phrases (the chord of each bar's first half): " + "; ".join(openings))
    target(afc <= 4, "4. at most 4 of the 12 phrases open Am-F-C", afc)

    found = clashes(notes, melodic)
    beats = sorted({k for k, *_ in found})
    for k, p, m, q, n in found:
        print("  clash at %.2f s (bar %d, beat %d): %s %s against %s %s" % (
            k * BEAT, k // 4, k % 4 + 1, p, name(m), q, name(n)))
    target(not beats, "5. no melodic note a semitone or minor ninth from another pitched note "
           "on a quarter beat (beats)", len(beats))

    print("targets (%d missed):" % sum(r.startswith("  MISS") for r in results))
    print("\n".join(results))


if __name__ == "__main__":
    main()
