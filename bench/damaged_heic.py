#!/usr/bin/env python3
"""Measures how many HEIC copies made from damaged coded data the decoder
names as damaged.

    bench/damaged_heic.py BUILD [--photos DIR] [--copies N] [--per-mb N] [--min-side N] [--keep DIR]

Phone-style HEICs are made at run time from the camera JPEGs in --photos
(default ../shared/testdata): each photo cut into 512-pixel tiles, each
tile coded by heif-enc, the tiles put together by a grid. Each HEIC gets
--copies damaged copies with single bits of its coded data flipped, --per-mb
per megabyte of the file (at least one; 16 by default, as 40 bytes in an
iPhone photo's 2.5 MB). The
damaged copies are decoded as the jobs decode them and compared with the
clean picture (bench_heic_damage): a copy is visibly damaged when more than
2 % of its samples are more than 16 steps off.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from hostile_tree import grid_heif, media_data_at  # noqa: E402

TILE = 512


def phone_heic(photo, folder, quality, params=()):
    """The photo as a grid of TILE-pixel tiles, each coded on its own."""
    size = subprocess.run(["identify", "-format", "%w %h", photo], check=True,
                          capture_output=True, text=True).stdout.split()
    width, height = int(size[0]), int(size[1])
    columns, rows = (width + TILE - 1) // TILE, (height + TILE - 1) // TILE
    tiles = []
    for row in range(rows):
        for column in range(columns):
            png = os.path.join(folder, "tile.png")
            # The last tiles reach past the picture: padded black, cropped by the grid.
            subprocess.run(["convert", photo, "-crop", "%dx%d+%d+%d" % (TILE, TILE, column * TILE, row * TILE),
                            "+repage", "-background", "black", "-extent", "%dx%d" % (TILE, TILE), "-strip", png],
                           check=True)
            out = os.path.join(folder, "tile.heic")
            subprocess.run(["heif-enc", "-q", str(quality)] + [a for p in params for a in ("-p", p)]
                           + ["-o", out, png], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            tiles.append(open(out, "rb").read())
    return grid_heif(tiles, rows, columns, width, height)


def damaged(data, count, rng):
    """The file with count bytes of its coded data flipped (not the first
    bytes of each tile's data, which name the units)."""
    out = bytearray(data)
    start = media_data_at(data)[0]
    for _ in range(count):
        at = rng.randrange(start, len(out))
        out[at] ^= 1 << rng.randrange(8)
    return bytes(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--photos", default=os.path.join(HERE, "..", "..", "shared", "testdata"))
    parser.add_argument("--copies", type=int, default=4)
    # 40 bytes in an iPhone photo's 2.5 MB of coded data.
    parser.add_argument("--per-mb", type=float, default=16)
    parser.add_argument("--quality", type=int, default=60)
    parser.add_argument("--min-side", type=int, default=400)
    parser.add_argument("--param", action="append", default=[],
                        help="an encoder parameter for heif-enc, e.g. x265:wpp=0")
    parser.add_argument("--keep")
    args = parser.parse_args()
    folder = args.keep or tempfile.mkdtemp(prefix="pictrim-damaged-heic-")
    os.makedirs(folder, exist_ok=True)
    tool = os.path.join(args.build, "bench", "bench_heic_damage")
    rng = random.Random(1)
    photos = []
    for f in sorted(os.listdir(args.photos)):
        if not f.lower().endswith(".jpg"):
            continue
        size = subprocess.run(["identify", "-format", "%w %h", os.path.join(args.photos, f)],
                              capture_output=True, text=True).stdout.split()
        if len(size) == 2 and min(int(size[0]), int(size[1])) >= args.min_side:
            photos.append(f)
    totals = {"copies": 0, "refused": 0, "visible": 0, "named": 0, "named_invisible": 0}
    for name in photos:
        stem = os.path.splitext(name)[0]
        clean = os.path.join(folder, stem + ".heic")
        if not os.path.exists(clean):
            open(clean, "wb").write(
                phone_heic(os.path.join(args.photos, name), folder, args.quality, args.param))
        data = open(clean, "rb").read()
        copies = []
        for i in range(args.copies):
            path = os.path.join(folder, "%s-damaged%d.heic" % (stem, i))
            flips = max(1, round(args.per_mb * len(data) / (1 << 20)))
            open(path, "wb").write(damaged(data, flips, rng))
            copies.append(path)
        result = subprocess.run([tool, clean] + copies, capture_output=True, text=True)
        for line in result.stdout.splitlines():
            fields = line.split("\t")
            if len(fields) < 3:
                continue
            print(line)
            totals["copies"] += 1
            if fields[1] == "refused":
                totals["refused"] += 1
                continue
            visible, named = fields[2] == "visible", fields[3] != "(no line)"
            totals["visible"] += visible
            totals["named"] += visible and named
            totals["named_invisible"] += named and not visible
    print("%(copies)d damaged copies: %(refused)d refused; %(visible)d visibly damaged, "
          "of which %(named)d named as damaged; %(named_invisible)d named but not visibly damaged"
          % totals)
    if totals["visible"]:
        print("detected share: %.0f %%" % (100.0 * totals["named"] / totals["visible"]))
    if not args.keep:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
