#!/usr/bin/env python3
"""Runs pictrim over a tree of hostile files and reports time and peak memory.

    bench/hostile_tree.py PICTRIM [--keep DIR] [--job resize|shrink|unattended]

The tree is written at run time: two PNG bombs below the pixel limit
(15000 x 15000, a few hundred kilobytes each), one far above it (30000 x
30000), a JPEG whose frame claims 65500 x 65500, a 1.5 GB sparse film, empty
and truncated pictures, a folder named x.jpg and a link loop, beside a few
good pictures. Peak memory is the largest sum of the resident sizes of
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
    parser.add_argument("--timeout", type=float, default=300)
    args = parser.parse_args()
    base = args.keep or tempfile.mkdtemp(prefix="pictrim-hostile-")
    source = os.path.join(base, "hostile")
    if not os.path.isdir(source):
        write_tree(source)
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
