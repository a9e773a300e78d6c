#!/usr/bin/env python3
"""Runs pictrim over a tree of hostile files and reports time and peak memory.

    bench/hostile_tree.py PICTRIM [--keep DIR] [--job resize|shrink|unattended]
                          [--tree mixed|jpeg|heic]

The tree is written at run time: two PNG bombs below the pixel limit
(15000 x 15000, a few hundred kilobytes each), one far above it (30000 x
30000), a JPEG whose frame claims 65500 x 65500, a 1.5 GB sparse film, empty
and truncated pictures, a folder named x.jpg and a link loop, beside a few
good pictures. The jpeg tree holds JPEG bombs instead: progressive
15000 x 15000 frames of 150 bytes (four with full colour, one with 600
DC-only scans and half colour), baseline ones, a camera photo with two bytes
of its scan data set to FF 4A, and a sparse 2 GB JPEG. The heic tree holds
phone-style grids: four of one 512-pixel tile that declare 15000 x 15000, one
that lays the same tile 900 times (15000 x 15000), one of AV1 tiles that
declares 15000 x 15000, one far above the pixel limit, a single picture whose
size box claims 15000 x 15000, a sparse 500 MB HEIC, a good 4096 x 3072 grid
and copies of it with flipped bytes (tiles made with heif-enc). Peak memory is
the largest sum of the resident sizes of pictrim and its decoder processes,
sampled every 20 ms.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "samples")


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bomb(edge, rows=None):
    """An RGB PNG of edge x edge black pixels, compressed as far as zlib goes
    (only the first rows when rows is given: a truncated bomb)."""
    row = b"\0" + b"\0" * (edge * 3)
    compressor = zlib.compressobj(9)
    data = b"".join(compressor.compress(row) for _ in range(rows or edge)) + compressor.flush()
    header = struct.pack(">IIBBBBB", edge, edge, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) + chunk(b"IEND", b"")


def write_tree(folder):
    os.makedirs(os.path.join(folder, "x.jpg"), exist_ok=True)
    for name in ("IMG_0042.JPG", "P1280001.JPG", "Plan.png", "Scan.bmp"):
        shutil.copy(os.path.join(SAMPLES, name), folder)
    shutil.copy(os.path.join(SAMPLES, "Urlaub", "Karte.gif"), folder)
    shutil.copy(os.path.join(SAMPLES, "Plan.png"), os.path.join(folder, "x.jpg", "inside.png"))
    with open(os.path.join(folder, "bomb-a.png"), "wb") as f:
        f.write(png_bomb(15000))
    shutil.copy(os.path.join(folder, "bomb-a.png"), os.path.join(folder, "bomb-b.png"))
    with open(os.path.join(folder, "bomb-huge.png"), "wb") as f:
        f.write(png_bomb(30000, rows=100))  # the header is what counts
    jpeg = bytearray(open(os.path.join(SAMPLES, "IMG_0042.JPG"), "rb").read())
    sof = jpeg.find(b"\xff\xc0")
    jpeg[sof + 5:sof + 9] = struct.pack(">HH", 65500, 65500)
    open(os.path.join(folder, "huge.jpg"), "wb").write(jpeg)
    for name in ("IMG_0042.JPG", "Plan.png", "Scan.bmp", "Karte.gif"):
        data = open(os.path.join(folder, name), "rb").read()
        stem, ext = os.path.splitext(name)
        open(os.path.join(folder, "trunc-" + stem + ext), "wb").write(data[: len(data) // 3])
    for name in ("empty.jpg", "empty.png", "empty.tif", "empty.gif", "empty.bmp"):
        open(os.path.join(folder, name), "wb").close()
    with open(os.path.join(folder, "film.mp4"), "wb") as f:
        f.write(b"\0\0\0\x18ftypisom")
        f.truncate(1536 << 20)
    os.symlink("loop2.jpg", os.path.join(folder, "loop1.jpg"))
    os.symlink("loop1.jpg", os.path.join(folder, "loop2.jpg"))


def segment(code, body):
    return b"\xff" + bytes([code]) + struct.pack(">H", len(body) + 2) + body


def claiming_jpeg(width, height, scans=1, subsampled=False, progressive=True):
    """A JPEG whose frame claims width x height pixels but whose scans hold two
    bytes each: progressive DC-only scans, or one baseline scan."""
    frame = struct.pack(">BHHB", 8, height, width, 3)
    for c in (1, 2, 3):
        frame += bytes([c, 0x22 if c == 1 and subsampled else 0x11, 0])
    one_code = bytes([1] + [0] * 15) + b"\0"  # one code of one bit, for the symbol 0
    jpeg = b"\xff\xd8" + segment(0xDB, b"\0" + b"\1" * 64)
    jpeg += segment(0xC2 if progressive else 0xC0, frame)
    jpeg += segment(0xC4, b"\x00" + one_code + (b"" if progressive else b"\x10" + one_code))
    scan = bytes([3, 1, 0, 2, 0, 3, 0]) + (b"\0\0\0" if progressive else b"\0\x3f\0")
    for _ in range(scans if progressive else 1):
        jpeg += segment(0xDA, scan) + b"\0\0"
    return jpeg + b"\xff\xd9"


def with_damaged_scan(jpeg):
    """The JPEG with two bytes in the middle of its first scan's data set to FF 4A."""
    at = 2
    while jpeg[at] == 0xFF and jpeg[at + 1] != 0xDA:
        at += 2 + struct.unpack(">H", jpeg[at + 2:at + 4])[0]
    data = at + 2 + struct.unpack(">H", jpeg[at + 2:at + 4])[0]
    middle = data + (len(jpeg) - data) // 2
    return jpeg[:middle] + b"\xff\x4a" + jpeg[middle + 2:]


def write_jpeg_tree(folder):
    os.makedirs(folder, exist_ok=True)
    for name in ("IMG_0042.JPG", "P1280001.JPG"):
        shutil.copy(os.path.join(SAMPLES, name), folder)
    for i in range(1, 5):
        open(os.path.join(folder, "frame%d.jpg" % i), "wb").write(claiming_jpeg(15000, 15000))
        open(os.path.join(folder, "baseline%d.jpg" % i), "wb").write(
            claiming_jpeg(15000, 15000, progressive=False))
    open(os.path.join(folder, "scans.jpg"), "wb").write(
        claiming_jpeg(15000, 15000, scans=600, subsampled=True))
    camera = open(os.path.join(SAMPLES, "IMG_0042.JPG"), "rb").read()
    open(os.path.join(folder, "damaged.jpg"), "wb").write(with_damaged_scan(camera))
    with open(os.path.join(folder, "sparse.jpg"), "wb") as f:
        f.write(camera)
        f.truncate(2 << 30)


def box(kind, body):
    return struct.pack(">I", 8 + len(body)) + kind + body


def full_box(kind, version, flags, body):
    return box(kind, struct.pack(">I", version << 24 | flags) + body)


def box_of(data, kind):
    """The whole first box of the given type in a file."""
    at = data.find(kind)
    return data[at - 4:at - 4 + struct.unpack(">I", data[at - 4:at])[0]]


def encoded_tile(folder, edge, avif=False):
    """A heif-enc file of one edge x edge picture of stripes and gradients."""
    rows = b"".join(b"\0" + bytes(((x * 7 + y * 3) & 255, (x ^ y) & 255, (y * 5) & 255)[i]
                                   for x in range(edge) for i in range(3)) for y in range(edge))
    header = struct.pack(">IIBBBBB", edge, edge, 8, 2, 0, 0, 0)
    png = os.path.join(folder, "tile.png")
    with open(png, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
                + chunk(b"IEND", b""))
    out = os.path.join(folder, "tile.avif" if avif else "tile.heic")
    subprocess.run(["heif-enc", "-q", "50"] + (["-A"] if avif else []) + ["-o", out, png],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    data = open(out, "rb").read()
    os.remove(png)
    os.remove(out)
    return data


def media_data_at(data):
    """Where the top-level media data box's payload of a file begins and ends."""
    at = 0
    while at + 8 <= len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"mdat":
            return at + 8, at + size
        at += size
    raise ValueError("no media data box")


def media_data(data):
    """What the top-level media data box of a file holds."""
    start, end = media_data_at(data)
    return data[start:end]


def grid_heif(tiles, rows, columns, width, height, avif=False):
    """A grid of rows x columns tiles declaring width x height: tiles is one
    heif-enc file laid rows x columns times, or a list of such files, one
    per place, row by row, each with its own coder set-up."""
    laid = isinstance(tiles, bytes)
    files = [tiles] if laid else tiles
    kind = b"av01" if avif else b"hvc1"
    items = [(i + 1, kind, media_data(f), 1) for i, f in enumerate(files)]
    grid_id = len(items) + 1
    wide = width > 65535 or height > 65535
    description = struct.pack(">BBBB", 0, 1 if wide else 0, rows - 1, columns - 1) + \
        struct.pack(">II" if wide else ">HH", width, height)
    items.append((grid_id, b"grid", description, 0))
    references = [1] * (rows * columns) if laid else list(range(1, len(files) + 1))

    def meta(start):
        body = full_box(b"hdlr", 0, 0, b"\0" * 4 + b"pict" + b"\0" * 13)
        body += full_box(b"pitm", 0, 0, struct.pack(">H", grid_id))
        body += full_box(b"iinf", 0, 0, struct.pack(">H", len(items)) + b"".join(
            full_box(b"infe", 2, hidden, struct.pack(">HH", i, 0) + k + b"\0")
            for i, k, _, hidden in items))
        body += full_box(b"iref", 0, 0, box(b"dimg", struct.pack(">HH", grid_id, len(references))
                                               + b"".join(struct.pack(">H", r) for r in references)))
        # Properties: each tile's coder set-up, the tile size, the grid's size.
        properties = b"".join(box_of(f, b"av1C" if avif else b"hvcC") for f in files)
        properties += full_box(b"ispe", 0, 0, box_of(files[0], b"ispe")[12:20])
        properties += full_box(b"ispe", 0, 0, struct.pack(">II", width, height))
        tile_size = len(files) + 1
        associations = struct.pack(">I", len(files) + 1)
        for i in range(1, len(files) + 1):
            associations += struct.pack(">HBBB", i, 2, 0x80 | i, tile_size)
        associations += struct.pack(">HBB", grid_id, 1, tile_size + 1)
        body += box(b"iprp", box(b"ipco", properties) + full_box(b"ipma", 0, 0, associations))
        locations, at = b"", start
        for i, _, data, _ in items:
            locations += struct.pack(">HHHII", i, 0, 1, at, len(data))
            at += len(data)
        body += full_box(b"iloc", 0, 0, bytes([0x44, 0]) + struct.pack(">H", len(items)) + locations)
        return full_box(b"meta", 0, 0, body)

    brand = b"avif" if avif else b"heic"
    ftyp = box(b"ftyp", brand + b"\0\0\0\0mif1" + brand)
    start = len(ftyp) + len(meta(0)) + 8
    return ftyp + meta(start) + box(b"mdat", b"".join(data for _, _, data, _ in items))


def with_flipped_bytes(data, count, seed):
    """The file with count bytes of its media data (after the first 200) flipped."""
    import random
    rng = random.Random(seed)
    out = bytearray(data)
    start = media_data_at(data)[0] + 200
    for _ in range(count):
        out[rng.randrange(start, len(out))] ^= 0xFF
    return bytes(out)


def write_heic_tree(folder):
    os.makedirs(folder, exist_ok=True)
    tile = encoded_tile(folder, 512)
    bomb = grid_heif(tile, 1, 1, 15000, 15000)
    for i in range(1, 5):
        open(os.path.join(folder, "grid%d.heic" % i), "wb").write(bomb)
    open(os.path.join(folder, "tiles900.heic"), "wb").write(grid_heif(tile, 30, 30, 15000, 15000))
    open(os.path.join(folder, "huge.heic"), "wb").write(grid_heif(tile, 1, 1, 65535, 65535))
    open(os.path.join(folder, "av1grid.avif"), "wb").write(
        grid_heif(encoded_tile(folder, 512, avif=True), 1, 1, 15000, 15000, avif=True))
    claiming = bytearray(tile)
    at = claiming.find(b"ispe") + 8
    claiming[at:at + 8] = struct.pack(">II", 15000, 15000)
    open(os.path.join(folder, "claims.heic"), "wb").write(bytes(claiming))
    good = grid_heif(tile, 6, 8, 4096, 3072)
    open(os.path.join(folder, "photo.heic"), "wb").write(good)
    for i in range(3):
        open(os.path.join(folder, "flipped%d.heic" % i), "wb").write(with_flipped_bytes(good, 40, i))
    with open(os.path.join(folder, "sparse.heic"), "wb") as f:
        f.write(good)
        f.truncate(500 << 20)


def tree_rss_kib(root_pid):
    """Resident KiB of root_pid and every process below it."""
    children = {}
    rss = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/status" % pid) as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
        except OSError:
            continue
        children.setdefault(int(fields["PPid"].strip()), []).append(int(pid))
        rss[int(pid)] = int(fields.get("VmRSS", "0 kB").split()[0])
    total, todo = 0, [root_pid]
    while todo:
        pid = todo.pop()
        total += rss.get(pid, 0)
        todo.extend(children.get(pid, []))
    return total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("pictrim")
    parser.add_argument("--keep")
    parser.add_argument("--job", default="resize", choices=["resize", "shrink", "unattended"])
    parser.add_argument("--tree", default="mixed", choices=["mixed", "jpeg", "heic"])
    parser.add_argument("--timeout", type=float, default=300)
    args = parser.parse_args()
    base = args.keep or tempfile.mkdtemp(prefix="pictrim-hostile-")
    source = os.path.join(base, "hostile")
    if not os.path.isdir(source):
        {"mixed": write_tree, "jpeg": write_jpeg_tree, "heic": write_heic_tree}[args.tree](source)
    for name in os.listdir(base):
        if name != "hostile":
            shutil.rmtree(os.path.join(base, name), ignore_errors=True)
    command = {
        "resize": [args.pictrim, "resize", "--edge", "1024", source],
        "shrink": [args.pictrim, "shrink", "--kb", "100", source],
        "unattended": [args.pictrim, "/s:" + source, "/p:1024"],
    }[args.job]
    start = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    peak = 0
    while process.poll() is None and time.monotonic() - start < args.timeout:
        peak = max(peak, tree_rss_kib(process.pid))
        time.sleep(0.02)
    if process.poll() is None:
        process.kill()
        process.wait()
        print("still running after %.0f s: killed" % args.timeout)
    err = process.stderr.read().decode("utf-8", "replace")
    elapsed = time.monotonic() - start
    print(err.rstrip())
    print("job %s: exit %s, %.1f s, peak memory %.0f MiB (pictrim and its decoders)"
          % (args.job, process.returncode, elapsed, peak / 1024))
    if not args.keep:
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
