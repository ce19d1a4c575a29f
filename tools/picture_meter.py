#!/usr/bin/env python3
"""Picture meter, the figures: reads the frames that tools/measure-picture.sh captured (the
show as it is, and a text mask of the same frames) and prints, per ten-second slot, how
much is blown out to white, how bright and how colourful the picture is, and how well the
credits stand out. Pure Python over ImageMagick's raw RGB, so it needs no extra packages.

Usage: picture_meter.py FRAMES_DIR MASK_DIR FPS
"""
import os
import subprocess
import sys

WHITE = 242         # a channel at or above this is white, when all three are
LIT = 64            # a pixel whose brightest channel reaches this counts as lit
MASK = 64           # text mask level that marks a stroke
WRITTEN = (6.5, 9.0)  # seconds into a slot during which its credit stands fully written
NEAR = 5            # pixels around a stroke that still belong to the letter and its halo
BAND = 10           # margin of the text band around the strokes, in pixels


def read_rgb(path):
    """Width, height and the interleaved 8-bit RGB bytes of an image file."""
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                          capture_output=True, text=True).stdout.split()
    data = subprocess.run(["convert", path, "-alpha", "off", "-depth", "8", "rgb:-"],
                          check=True, capture_output=True).stdout
    return int(size[0]), int(size[1]), data


def threshold_table(level):
    return bytes(1 if i >= level else 0 for i in range(256))


WHITE_TABLE = threshold_table(WHITE)


def white_share(data):
    # Per channel one byte 0 or 1 a pixel; the AND of the three as big integers counts
    # the pixels white in all channels without a Python loop over them.
    r, g, b = (int.from_bytes(data[c::3].translate(WHITE_TABLE), "big") for c in range(3))
    return bin(r & g & b).count("1") / (len(data) // 3)


def mean_grey(data):
    n = len(data) // 3
    return (0.2126 * sum(data[0::3]) + 0.7152 * sum(data[1::3]) + 0.0722 * sum(data[2::3])) / (255.0 * n)


def lit_saturations(data, histogram):
    """Adds the HSV saturation of each lit pixel (every second one, in a 100-bin histogram)."""
    r, g, b = data[0::6], data[1::6], data[2::6]
    count = 0
    for R, G, B in zip(r, g, b):
        top = R if R > G else G
        if B > top:
            top = B
        if top < LIT:
            continue
        low = R if R < G else G
        if B < low:
            low = B
        histogram[(100 * (top - low)) // (top + 1)] += 1
        count += 1
    return count


def histogram_median(histogram):
    total = sum(histogram)
    if total == 0:
        return float("nan")
    half, seen = total / 2.0, 0
    for i, n in enumerate(histogram):
        seen += n
        if seen >= half:
            return (i + 0.5) / 100.0
    return 1.0


def percentile(values, q):
    if not values:
        return float("nan")
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))]


def legibility(width, height, data, mask):
    """Michelson contrast of the letters against what lies around them, or None without text.

    Letters: the brighter quarter of the pixels under the mask's strokes. Around them: the
    brightest tenth of the text band outside the strokes and their near halo, that is the
    figure, the floor or the bloom behind the words. The mask has the strokes in red and
    their mirror image in green: the mirror belongs to the credit, not to what is around."""
    m = mask[0::3]
    mirror = mask[1::3]
    rows = [y for y in range(height) if any(m[y * width:(y + 1) * width])]
    rows = [y for y in rows if sum(1 for v in m[y * width:(y + 1) * width] if v >= MASK) > 0]
    if not rows:
        return None
    xs = [x for y in rows for x in range(width) if m[y * width + x] >= MASK]
    if len(xs) < 50:
        return None
    x0, x1 = max(0, min(xs) - BAND), min(width - 1, max(xs) + BAND)
    y0, y1 = max(0, rows[0] - BAND), min(height - 1, rows[-1] + BAND)
    w = x1 - x0 + 1
    stroke = [[m[y * width + x] >= MASK for x in range(x0, x1 + 1)] for y in range(y0, y1 + 1)]
    credit = [[m[y * width + x] >= MASK or mirror[y * width + x] >= MASK for x in range(x0, x1 + 1)]
              for y in range(y0, y1 + 1)]
    # Square dilation by NEAR: sideways with a running count, then the same up and down.
    def dilate_rows(grid):
        out = []
        for row in grid:
            prefix = [0]
            for v in row:
                prefix.append(prefix[-1] + v)
            out.append([prefix[min(len(row), i + NEAR + 1)] - prefix[max(0, i - NEAR)] > 0
                        for i in range(len(row))])
        return out
    wide = dilate_rows(credit)
    columns = dilate_rows([list(c) for c in zip(*wide)])
    near = [list(r) for r in zip(*columns)]
    letters, around = [], []
    for j, y in enumerate(range(y0, y1 + 1)):
        for i in range(w):
            p = 3 * (y * width + x0 + i)
            grey = (0.2126 * data[p] + 0.7152 * data[p + 1] + 0.0722 * data[p + 2]) / 255.0
            if stroke[j][i]:
                letters.append(grey)
            elif not near[j][i]:
                around.append(grey)
    lt = percentile(letters, 0.75)
    lb = percentile(around, 0.90) if around else 0.0
    return (lt - lb) / (lt + lb) if lt + lb > 0 else 0.0


def main():
    frames_dir, mask_dir, fps = sys.argv[1], sys.argv[2], float(sys.argv[3])
    names = sorted(n for n in os.listdir(frames_dir) if n.endswith(".png"))
    slots = {}
    per_frame = []
    for name in names:
        number = int(name.split("-")[1].split(".")[0])
        t = number / fps
        slot = int(t // 10)
        width, height, data = read_rgb(os.path.join(frames_dir, name))
        s = slots.setdefault(slot, {"white": [], "grey": [], "hist": [0] * 101, "lit": 0,
                                    "pixels": 0, "legible": []})
        white = white_share(data)
        s["white"].append((white, t))
        s["grey"].append(mean_grey(data))
        s["lit"] += lit_saturations(data, s["hist"])
        s["pixels"] += len(data) // 6
        per_frame.append((t, white))
        in_slot = t - 10 * slot
        mask_path = os.path.join(mask_dir, name)
        if WRITTEN[0] <= in_slot <= WRITTEN[1] and os.path.exists(mask_path):
            _, _, mask = read_rgb(mask_path)
            c = legibility(width, height, data, mask)
            if c is not None:
                s["legible"].append((c, t))

    print("per ten-second slot of show time:")
    print("  white: share of pixels with all channels >= %d (median frame, worst frame at its time)" % WHITE)
    print("  grey: mean grey level of the frames (0..1); sat: median HSV saturation of lit pixels"
          " (brightest channel >= %d), lit: their share" % LIT)
    print("  legible: Michelson contrast of the credit's letters (brighter quarter of their stroke"
          " pixels) against the brightest tenth of the text band around them, in frames %.1f-%.1f s"
          " into the slot; 1 = letters on black, 0 = drowned (median, worst)" % WRITTEN)
    print("%-9s %6s %8s %8s %7s %6s %6s %8s %8s" % ("slot", "frames", "white50", "worst", "at",
                                                 "grey", "sat", "lit", "legible"))
    all_white, all_grey, hist, lit, pixels, legible = [], [], [0] * 101, 0, 0, []
    for slot in sorted(slots):
        s = slots[slot]
        whites = sorted(w for w, _ in s["white"])
        worst, at = max(s["white"])
        grey = sum(s["grey"]) / len(s["grey"])
        sat = histogram_median(s["hist"])
        leg = ""
        if s["legible"]:
            values = [c for c, _ in s["legible"]]
            low, low_at = min(s["legible"])
            leg = "%.2f %.2f@%.1f" % (percentile(values, 0.5), low, low_at)
            legible += values
        print("%3d-%3ds %6d %7.2f%% %7.2f%% %6.1fs %6.3f %6.2f %7.1f%% %s" % (
            10 * slot, 10 * slot + 10, len(whites), 100 * percentile(whites, 0.5), 100 * worst, at,
            grey, sat, 100.0 * s["lit"] / max(1, s["pixels"]), leg))
        all_white += whites
        all_grey += s["grey"]
        hist = [a + b for a, b in zip(hist, s["hist"])]
        lit += s["lit"]
        pixels += s["pixels"]
    over = sum(1 for _, w in per_frame if w > 0.005)
    worst, at = max((w, t) for t, w in per_frame)
    print("all: %d frames, %d over 0.5 %% white, worst %.2f %% at %.1f s; median frame grey %.3f;"
          " median saturation of lit pixels %.2f; legibility median %s, worst %s" % (
              len(per_frame), over, 100 * worst, at, percentile(all_grey, 0.5), histogram_median(hist),
              "%.2f" % percentile(legible, 0.5) if legible else "-",
              "%.2f" % min(legible) if legible else "-"))


if __name__ == "__main__":
    main()
