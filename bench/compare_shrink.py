#!/usr/bin/env python3
"""Pictures per second of `pictrim shrink --kb 200` against ImageMagick's
`convert -define jpeg:extent=200kb` run as 2 processes.

Generates a tree of camera JPEGs (12 and 24 megapixels, the resize
benchmark's generator) at run time, then, in one run and over the same
files:
  - times both tools, interleaved, and prints pictures/s, the spread and the
    ratio;
  - measures the peak memory of both on one 24-megapixel picture
    (/usr/bin/time -v);
  - tells the share of pictrim's copies within the tolerance above the
    target (1 % of the file, at least 1024 bytes) and the trials per file at
    200, 100 and 50 kB (bench_shrink_corpus);
  - compares the trials and the final widths and sizes with those of trials
    made from the full-size picture.

usage: bench/compare_shrink.py BUILD_DIR [--count N] [--runs R] [--tree DIR]
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run_timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def peak_mib(command):
    """Peak resident memory of one command in MiB, as /usr/bin/time -v reports it."""
    result = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    match = re.search(r"Maximum resident set size \(kbytes\): (\d+)", result.stderr)
    return int(match.group(1)) / 1024 if match else float("nan")


def image_magick():
    """The ImageMagick convert binary itself (not a wrapper script), or None."""
    for name in ("convert-im6.q16", "convert"):
        path = shutil.which(name) or ""
        for candidate in (path, "/usr/bin/" + name):
            if candidate and os.path.exists(candidate):
                with open(candidate, "rb") as f:
                    if f.read(2) != b"#!":
                        return candidate
    return None


def corpus_run(tool, folder, kb, full_master=False):
    command = [tool, folder, "--kb", str(kb)] + (["--full-master"] if full_master else [])
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    files = {}
    summary = ""
    for line in out.splitlines():
        if line.startswith("file "):
            f = line.split()
            files[f[1]] = {"trials": int(f[3]), "widths": f[5], "width": int(f[7]), "bytes": int(f[9]),
                           "within": f[11] == "1"}
        elif line.startswith("summary"):
            summary = line
    return files, summary


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--count", type=int, default=40)
    parser.add_argument("--runs", type=int, default=2)
    parser.add_argument("--tree", default=os.path.join(tempfile.gettempdir(), "pictrim-shrink-compare"))
    args = parser.parse_args()

    pictrim = os.path.join(args.build, "app", "pictrim")
    generator = os.path.join(args.build, "bench", "bench_resize")
    corpus_tool = os.path.join(args.build, "bench", "bench_shrink_corpus")
    convert = image_magick()
    if convert is None:
        print("ImageMagick's convert is not installed (Debian package imagemagick)")
        return 1
    source = os.path.join(args.tree, "camera")
    subprocess.run([generator, "--generate", source, "--count", str(args.count)], check=True,
                   stdout=subprocess.DEVNULL)
    files = sorted(os.path.join(d, f) for d, _, names in os.walk(source) for f in names)
    im_out = os.path.join(args.tree, "magick")
    os.makedirs(im_out, exist_ok=True)

    contenders = {
        "pictrim shrink --kb 200": [pictrim, "shrink", "--kb", "200", "--overwrite", source],
        "convert jpeg:extent=200kb, 2 processes": [
            "sh", "-c",
            'printf "%s\\0" "$@" | xargs -0 -P2 -n1 sh -c \'{} "$0" -define jpeg:extent=200kb "{}/$(basename "$0")"\''
            .format(convert, im_out), "sh"] + files,
    }
    times = {name: [] for name in contenders}
    for _ in range(args.runs):  # interleaved, so that both see the same machine
        for name, command in contenders.items():
            times[name].append(run_timed(command))
    with open("/proc/loadavg") as f:
        load = f.read().split()[:3]
    print("{} pictures, {} runs each, {} cores, load average {}".format(
        len(files), args.runs, os.cpu_count(), " ".join(load)))
    rates = {}
    for name, seconds in times.items():
        rates[name] = len(files) / statistics.median(seconds)
        print("  {:40s} {:6.2f} pictures/s  (median {:.2f} s, min {:.2f} s, max {:.2f} s)".format(
            name, rates[name], statistics.median(seconds), min(seconds), max(seconds)))
    names = list(rates)
    print("  ratio pictrim / convert: {:.2f}".format(rates[names[0]] / rates[names[1]]))

    largest = max(files, key=lambda p: os.path.getsize(p))
    single = os.path.join(args.tree, "single")
    shutil.rmtree(single, ignore_errors=True)
    os.makedirs(single)
    shutil.copy(largest, single)
    print("peak memory on one picture ({}, {:.1f} MB file):".format(
        os.path.basename(largest), os.path.getsize(largest) / 1e6))
    print("  pictrim shrink --kb 200:  {:.1f} MiB".format(
        peak_mib([pictrim, "shrink", "--kb", "200", "--overwrite", single])))
    print("  convert jpeg:extent:      {:.1f} MiB".format(
        peak_mib([convert, largest, "-define", "jpeg:extent=200kb", os.path.join(im_out, "single.jpg")])))

    im_within = 0
    for path in files:
        size = os.path.getsize(os.path.join(im_out, os.path.basename(path)))
        im_within += size < 200 * 1024 + max(size // 100, 1024)
    print("convert outputs within the tolerance at 200 kB: {}/{}".format(im_within, len(files)))

    print("pictrim per target (trials from the reduced picture):")
    reduced = {}
    for kb in (200, 100, 50):
        reduced[kb], summary = corpus_run(corpus_tool, source, kb)
        print("  " + summary)
    print("the same, trials from the full-size picture:")
    for kb in (200, 100, 50):
        full, summary = corpus_run(corpus_tool, source, kb, full_master=True)
        print("  " + summary)
        same_widths = sum(1 for n in full if reduced[kb].get(n, {}).get("width") == full[n]["width"])
        same_trials = sum(1 for n in full if reduced[kb].get(n, {}).get("widths") == full[n]["widths"])
        width_diff = [abs(reduced[kb][n]["width"] - full[n]["width"]) / full[n]["width"] * 100
                      for n in full if n in reduced[kb]]
        size_diff = [abs(reduced[kb][n]["bytes"] - full[n]["bytes"]) / full[n]["bytes"] * 100
                     for n in full if n in reduced[kb]]
        print("    {} kB: same trial sequence {}/{}, same final width {}/{}, final width off by "
              "mean {:.2f} % max {:.2f} %, final size off by mean {:.2f} % max {:.2f} %".format(
                  kb, same_trials, len(full), same_widths, len(full), statistics.mean(width_diff),
                  max(width_diff), statistics.mean(size_diff), max(size_diff)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
