#!/usr/bin/env python3
"""Runs pictrim over a tree of hostile files and reports time and peak memory.

    bench/hostile_tree.py PICTRIM [--keep DIR] [--job resize|shrink|unattended]
                          [--tree mixed|jpeg]

The tree is written at run time: two PNG bombs below the pixel limit
(15000 x 15000, a few hundred kilobytes each), one far above it (30000 x
30000), a JPEG whose frame claims 65500 x 65500, a 1.5 GB sparse film, empty
and truncated pictures, a folder named x.jpg and a link loop, beside a few
good pictures. The jpeg tree holds JPEG bombs instead: progressive
15000 x 15000 frames of 150 bytes (four with full colour, one with 600
DC-only scans and half colour), baseline ones, a camera photo with two bytes
of its scan data set to FF 4A, and a sparse 2 GB JPEG. Peak memory is the largest sum of the resident sizes of
pictrim and its decoder processes, sampled every 20 ms.
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
    parser.add_argument("--tree", default="mixed", choices=["mixed", "jpeg"])
    parser.add_argument("--timeout", type=float, default=300)
    args = parser.parse_args()
    base = args.keep or tempfile.mkdtemp(prefix="pictrim-hostile-")
    source = os.path.join(base, "hostile")
    if not os.path.isdir(source):
        (write_jpeg_tree if args.tree == "jpeg" else write_tree)(source)
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
