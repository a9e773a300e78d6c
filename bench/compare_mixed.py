#!/usr/bin/env python3
"""The resize job over a mixed folder (PNG, TIFF and HEIC) against vipsthumbnail.

Makes a folder of 2400 x 1600 photographs at run time, a third each as PNG,
TIFF and HEIC (the HEIC files encoded from the PNG ones by heif-enc), then
times in one hyperfine run, side by side and over the same files:
  - pictrim resize --edge 1024 --overwrite FOLDER
  - vipsthumbnail -s 1024 as 2 processes, each taking half of the files
and prints the median of each, the spread and the ratio.

Needs hyperfine, vipsthumbnail (libvips-tools) and heif-enc (libheif-examples).

usage: bench/compare_mixed.py BUILD_DIR [--count N] [--runs R] [--tree DIR]
"""
import argparse
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile


def make_folder(build, folder, count):
    """Writes count pictures into folder (kept for later runs)."""
    wanted = {"png": 0, "tif": 0, "heic": 0}
    if os.path.isdir(folder):
        for name in os.listdir(folder):
            kind = name.rsplit(".", 1)[-1]
            if kind in wanted:
                wanted[kind] += 1
        if min(wanted.values()) * 3 >= count:
            return
        shutil.rmtree(folder)
    generated = folder + ".generated"
    shutil.rmtree(generated, ignore_errors=True)
    # The generator cycles through six kinds; twice the count gives enough
    # PNG and TIFF files.
    subprocess.run([os.path.join(build, "bench", "bench_resize"), "--generate", generated,
                    "--count", str(2 * count), "--tree", "mixed"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    names = sorted(os.listdir(generated))
    pngs = [n for n in names if n.endswith(".png")]
    tiffs = [n for n in names if n.endswith(".tif")]
    per_kind = (count + 2) // 3
    os.makedirs(folder)
    for name in tiffs[:per_kind]:
        shutil.copy(os.path.join(generated, name), folder)
    for name in pngs[:per_kind]:
        shutil.copy(os.path.join(generated, name), folder)
    for i, name in enumerate(pngs[per_kind:2 * per_kind]):
        target = os.path.join(folder, "IMG_%04d.heic" % (i + 1))
        print("encoding", target, flush=True)
        subprocess.run(["heif-enc", "-q", "80", "-o", target, os.path.join(generated, name)],
                       check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(generated)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--count", type=int, default=18)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--tree", default=os.path.join(tempfile.gettempdir(), "pictrim-mixed"))
    args = parser.parse_args()
    for tool in ("hyperfine", "vipsthumbnail", "heif-enc"):
        if shutil.which(tool) is None:
            sys.exit("compare_mixed: %s is not installed" % tool)

    source = os.path.join(args.tree, "Handy")
    make_folder(args.build, source, args.count)
    files = sorted(os.path.join(source, f) for f in os.listdir(source))
    vips_out = os.path.join(args.tree, "vips")
    os.makedirs(vips_out, exist_ok=True)
    pictrim = os.path.join(args.build, "app", "pictrim")
    half = (len(files) + 1) // 2
    ours = "%s resize --edge 1024 --overwrite %s" % (shlex.quote(pictrim), shlex.quote(source))
    theirs = "printf '%%s\\0' %s | xargs -0 -P2 -n%d vipsthumbnail -s 1024 -o %s" % (
        " ".join(shlex.quote(f) for f in files), half, shlex.quote(vips_out + "/%s.jpg"))
    report = os.path.join(args.tree, "hyperfine.json")
    subprocess.run(["hyperfine", "--warmup", "1", "--runs", str(args.runs), "--export-json", report,
                    "-n", "pictrim resize", ours, "-n", "vipsthumbnail, 2 processes", theirs],
                   check=True)
    with open(report) as f:
        results = json.load(f)["results"]
    kinds = {}
    for f in files:
        kind = f.rsplit(".", 1)[-1]
        kinds[kind] = kinds.get(kind, 0) + 1
    print("%d pictures (%s), %d runs each" % (
        len(files), ", ".join("%d %s" % (n, k.upper()) for k, n in sorted(kinds.items())),
        args.runs))
    medians = {}
    for r in results:
        medians[r["command"]] = r["median"]
        print("  %-28s median %.3f s  (min %.3f s, max %.3f s)" % (
            r["command"], r["median"], r["min"], r["max"]))
    ratio = medians["vipsthumbnail, 2 processes"] / medians["pictrim resize"]
    print("  pictrim is %.2fx as fast as vipsthumbnail in 2 processes" % ratio)
    return 0


if __name__ == "__main__":
    sys.exit(main())
