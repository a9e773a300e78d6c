#!/usr/bin/env python3
"""How close the copies come to a reference rescale, against the peers.

The reference is ImageMagick's `-colorspace RGB -filter Lanczos -resize`
(in linear light, then back to sRGB) of the picture as decoded; closeness is
the PSNR (`compare -metric PSNR`), every copy a JPEG at quality 75. Sources,
made at run time into --tree (kept for later runs):
  - phone: six phone-like HEICs (heif-enc) of 4032 x 3024 and 4608 x 3456
    pictures of fine detail (zone plate, fine stripes, a photograph of wood
    grain and leaves), brought to 2048;
  - camera: twelve camera JPEGs from the resize benchmark's generator
    (12 and 24 megapixels), brought to 1024;
  - detailed camera: six JPEGs (quality 92) of detailed pictures of 4000 x 3000
    and 6000 x 4000, brought to 1024;
  - png and tiff: three detailed pictures of 2400 x 1600 each, brought to 1024.
Contenders: `pictrim resize`, with --sharp, the plain box rescale of the
whole picture (bench_quality direct-box), vipsthumbnail, ImageMagick's and
GraphicsMagick's -resize, with --baseline another build of pictrim, and with
--stored-light the sharp rescale on the stored values instead of in linear
light.
Prints the mean PSNR per kind of source and contender, and per file with
--files.

Needs heif-enc, heif-convert, vipsthumbnail, ImageMagick (convert, compare,
identify) and GraphicsMagick (gm).

usage: bench/compare_quality.py BUILD_DIR [--tree DIR] [--baseline BUILD_DIR]
                                [--kinds phone,camera,...] [--files]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

QUALITY = 75


def run(command, **kwargs):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, **kwargs)


def size_of(path):
    width, height = run(["identify", "-format", "%w %h", path + "[0]"]).stdout.split()
    return int(width), int(height)


def psnr(copy, reference):
    result = subprocess.run(["compare", "-metric", "PSNR", copy, reference, "null:"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    value = result.stderr.strip().split()[0]
    return float("inf") if value == "inf" else float(value)


class Kind:
    def __init__(self, name, edge, folder, sources, readable):
        self.name = name
        self.edge = edge
        self.folder = folder          # holds the sources only
        self.sources = sources        # file names in folder
        self.readable = readable      # source name -> a file every tool reads


def make_detailed(build, folder, width, height, seed):
    run([os.path.join(build, "bench", "bench_quality"), "pictures", folder, str(width),
         str(height), str(seed)])
    return [os.path.join(folder, k + ".png") for k in ("zone", "stripes", "photo")]


def make_kinds(build, tree, wanted):
    kinds = []
    if "phone" in wanted:
        folder = os.path.join(tree, "phone")
        decoded = os.path.join(tree, "phone-decoded")
        os.makedirs(folder, exist_ok=True)
        os.makedirs(decoded, exist_ok=True)
        sources, readable = [], {}
        for (width, height, seed) in ((4032, 3024, 1), (4608, 3456, 2)):
            for png in make_detailed(build, os.path.join(tree, "phone-src-%d" % width), width,
                                     height, seed):
                name = "%s-%d.heic" % (os.path.basename(png)[:-4], width)
                heic = os.path.join(folder, name)
                if not os.path.exists(heic):
                    run(["heif-enc", "-q", "85", "-o", heic, png])
                flat = os.path.join(decoded, name[:-5] + ".png")
                if not os.path.exists(flat):
                    run(["heif-convert", heic, flat])
                sources.append(name)
                readable[name] = flat
        kinds.append(Kind("phone HEIC", 2048, folder, sources, readable))
    if "camera" in wanted:
        folder = os.path.join(tree, "camera")
        run([os.path.join(build, "bench", "bench_resize"), "--generate", folder, "--count", "12"])
        # The generator writes into day folders; the kind's folder holds them flat.
        flat = os.path.join(tree, "camera-flat")
        os.makedirs(flat, exist_ok=True)
        for day in sorted(os.listdir(folder)):
            for name in sorted(os.listdir(os.path.join(folder, day))):
                target = os.path.join(flat, name)
                if not os.path.exists(target):
                    shutil.copy(os.path.join(folder, day, name), target)
        sources = sorted(os.listdir(flat))
        kinds.append(Kind("camera JPEG", 1024, flat, sources,
                          {n: os.path.join(flat, n) for n in sources}))
    if "detailed" in wanted:
        folder = os.path.join(tree, "detailed-camera")
        os.makedirs(folder, exist_ok=True)
        sources = []
        for (width, height, seed) in ((4000, 3000, 3), (6000, 4000, 4)):
            for png in make_detailed(build, os.path.join(tree, "camera-src-%d" % width), width,
                                     height, seed):
                name = "%s-%d.jpg" % (os.path.basename(png)[:-4], width)
                jpeg = os.path.join(folder, name)
                if not os.path.exists(jpeg):
                    run(["convert", png, "-quality", "92", jpeg])
                sources.append(name)
        kinds.append(Kind("detailed camera JPEG", 1024, folder, sources,
                          {n: os.path.join(folder, n) for n in sources}))
    for extension, label in (("png", "PNG"), ("tif", "TIFF")):
        if extension not in wanted and label.lower() not in wanted:
            continue
        folder = os.path.join(tree, extension)
        os.makedirs(folder, exist_ok=True)
        sources = []
        for png in make_detailed(build, os.path.join(tree, "flat-src"), 2400, 1600, 5):
            name = os.path.basename(png)[:-4] + "." + extension
            target = os.path.join(folder, name)
            if not os.path.exists(target):
                run(["convert", png, target])
            sources.append(name)
        kinds.append(Kind(label, 1024, folder, sources, {n: os.path.join(folder, n) for n in sources}))
    return kinds


def pictrim_copies(program, kind, out, extra):
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([program, "resize", "--edge", str(kind.edge), "--overwrite", "--out", out]
                   + extra + [kind.folder], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return {n: os.path.join(out, os.path.splitext(n)[0] + ".jpg") for n in kind.sources}


def measure(args, kind, work):
    contenders = {}
    program = os.path.join(args.build, "app", "pictrim")
    contenders["pictrim"] = pictrim_copies(program, kind, os.path.join(work, "box"), [])
    contenders["pictrim --sharp"] = pictrim_copies(program, kind, os.path.join(work, "sharp"),
                                                   ["--sharp"])
    if args.stored_light:
        out = os.path.join(work, "sharp-stored")
        shutil.rmtree(out, ignore_errors=True)
        run([os.path.join(args.build, "bench", "bench_quality"), "resize", kind.folder, out,
             str(kind.edge), "--sharp", "--stored-light"])
        contenders["sharp, stored light"] = {
            n: os.path.join(out, os.path.splitext(n)[0] + ".jpg") for n in kind.sources}
    if args.baseline:
        contenders["baseline pictrim"] = pictrim_copies(
            os.path.join(args.baseline, "app", "pictrim"), kind, os.path.join(work, "base"), [])
    others = {"direct box": {}, "vipsthumbnail": {}, "ImageMagick": {}, "GraphicsMagick": {}}
    for folder in ("direct", "vips", "im", "gm"):
        os.makedirs(os.path.join(work, folder), exist_ok=True)
    for name in kind.sources:
        source = os.path.join(kind.folder, name)
        readable = kind.readable[name]
        width, height = size_of(contenders["pictrim"][name])
        stem = os.path.splitext(name)[0] + ".jpg"
        out = os.path.join(work, "direct", stem)
        run([os.path.join(args.build, "bench", "bench_quality"), "direct-box", source, out,
             str(width), str(height), str(QUALITY)])
        others["direct box"][name] = out
        out = os.path.join(work, "vips", stem)
        run(["vipsthumbnail", source, "-s", str(kind.edge), "-o", "%s[Q=%d]" % (out, QUALITY)])
        others["vipsthumbnail"][name] = out
        geometry = "%dx%d" % (kind.edge, kind.edge)
        out = os.path.join(work, "im", stem)
        run(["convert", readable, "-resize", geometry, "-quality", str(QUALITY), out])
        others["ImageMagick"][name] = out
        out = os.path.join(work, "gm", stem)
        run(["gm", "convert", readable, "-resize", geometry, "-quality", str(QUALITY), out])
        others["GraphicsMagick"][name] = out
    contenders.update(others)
    references = {}
    results = {c: {} for c in contenders}
    for contender, copies in contenders.items():
        for name, copy in copies.items():
            if not os.path.exists(copy):
                continue
            size = size_of(copy)
            key = (name, size)
            if key not in references:
                ref = os.path.join(work, "ref-%s-%dx%d.png" % (name, size[0], size[1]))
                run(["convert", kind.readable[name], "-colorspace", "RGB", "-filter", "Lanczos",
                     "-resize", "%dx%d!" % size, "-colorspace", "sRGB", ref])
                references[key] = ref
            results[contender][name] = psnr(copy, references[key])
    return results


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--tree", default=os.path.join(tempfile.gettempdir(), "pictrim-quality"))
    parser.add_argument("--baseline")
    parser.add_argument("--kinds", default="phone,camera,detailed,png,tif")
    parser.add_argument("--files", action="store_true")
    parser.add_argument("--stored-light", action="store_true",
                        help="also the sharp rescale on the stored values, not in linear light")
    args = parser.parse_args()
    kinds = make_kinds(args.build, args.tree, args.kinds.split(","))
    table = []
    for kind in kinds:
        work = os.path.join(args.tree, "work", kind.name.replace(" ", "-"))
        os.makedirs(work, exist_ok=True)
        results = measure(args, kind, work)
        table.append((kind, results))
        if args.files:
            for name in kind.sources:
                print("  %-22s %s" % (name, "  ".join(
                    "%s %.2f" % (c, r[name]) for c, r in results.items() if name in r)))
    contenders = list(table[0][1].keys()) if table else []
    print("| source | " + " | ".join(contenders) + " |")
    print("|---|" + "---|" * len(contenders))
    for kind, results in table:
        cells = []
        for c in contenders:
            values = [v for v in results[c].values() if v != float("inf")]
            cells.append("%.2f dB" % statistics.mean(values) if values else "-")
        print("| %s, %d files -> %d | %s |" % (kind.name, len(kind.sources), kind.edge,
                                               " | ".join(cells)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
