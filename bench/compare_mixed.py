#!/usr/bin/env python3
"""The resize job over a mixed folder (PNG, TIFF and HEIC) against vipsthumbnail.

Makes a folder of 2400 x 1600 photographs at run time, a third each as PNG,
TIFF and HEIC (the HEIC files encoded from the PNG ones by heif-enc), then
times in one hyperfine run, side by side and over the same files:
  - pictrim resize --edge 1024 --overwrite FOLDER
  - vipsthumbnail -s 1024 as 2 processes, each taking every other file
  - vipsthumbnail -s 1024 as 2 processes at a time, one per file (xargs -P2 -n1)
and prints the median of each, the spread and the ratios. The processor
time of each is printed too: on a machine busy with other work the wall
times say more about the share each got than about the work each did.

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
    ours = "%s resize --edge 1024 --overwrite %s" % (shlex.quote(pictrim), shlex.quote(source))

    vips = "vipsthumbnail -s 1024 -o %s" % shlex.quote(vips_out + "/%s.jpg")

    def two_processes():
        # Every other file to each, so that both get their share of each kind.
        halves = [" ".join(shlex.quote(f) for f in files[start::2]) for start in (0, 1)]
        return "%s %s & %s %s & wait" % (vips, halves[0], vips, halves[1])

    def one_per_file():
        return "printf '%%s\\0' %s | xargs -0 -P2 -n1 %s" % (
            " ".join(shlex.quote(f) for f in files), vips)

    contenders = [("pictrim resize", ours),
                  ("vipsthumbnail, 2 processes", two_processes()),
                  ("vipsthumbnail, -P2 -n1", one_per_file())]
    report = os.path.join(args.tree, "hyperfine.json")
    command = ["hyperfine", "--warmup", "1", "--runs", str(args.runs), "--export-json", report]
    for name, line in contenders:
        command += ["-n", name, line]
    subprocess.run(command, check=True)
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
        print("  %-28s median %.3f s  (min %.3f s, max %.3f s; processor %.2f s)" % (
            r["command"], r["median"], r["min"], r["max"], r["user"] + r["system"]))
    for name, _ in contenders[1:]:
        print("  pictrim / %s: %.2fx as fast" % (name, medians[name] / medians["pictrim resize"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
