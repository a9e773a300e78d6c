#!/usr/bin/env python3
"""Pictures per second of `pictrim resize --edge 1024` against the common tools.

Generates a tree of camera JPEGs (12 and 24 megapixels) at run time, then
times, in one run and over the same files:
  - pictrim resize --edge 1024 --overwrite TREE
  - vipsthumbnail -s 1024 (quality 75) as 2 processes, when installed
  - djpeg -scale 1/4 as 2 processes, when installed (decode only: the floor)
and prints the median of the runs, the spread and the ratios. It also
measures the peak memory of pictrim and of vipsthumbnail on one
24-megapixel picture.

usage: bench/compare_resize.py BUILD_DIR [--count N] [--runs R] [--tree DIR]
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run_timed(command, **kwargs):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)
    return time.perf_counter() - start


def peak_kib(command):
    """Peak resident memory of one command, in KiB (run in a fresh child)."""
    pid = os.fork()
    if pid == 0:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.dup2(devnull, 2)
        os.execvp(command[0], command)
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) not in (0, 1):
        raise RuntimeError("failed: " + " ".join(command))
    return usage.ru_maxrss


def in_two_processes(program_args, files, per_call):
    """A shell command that feeds FILES to PROGRAM two processes at a time."""
    half = (len(files) + 1) // 2 if per_call == "half" else 1
    return ["sh", "-c", 'printf "%s\\0" "$@" | xargs -0 -P2 -n{} {}'.format(half, program_args), "sh"] + files


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--count", type=int, default=40)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--tree", default=os.path.join(tempfile.gettempdir(), "pictrim-compare"))
    args = parser.parse_args()

    pictrim = os.path.join(args.build, "app", "pictrim")
    generator = os.path.join(args.build, "bench", "bench_resize")
    source = os.path.join(args.tree, "camera")
    subprocess.run([generator, "--generate", source, "--count", str(args.count)], check=True)
    files = sorted(os.path.join(d, f) for d, _, names in os.walk(source) for f in names)
    vips_out = os.path.join(args.tree, "vips")
    os.makedirs(vips_out, exist_ok=True)

    contenders = {
        "pictrim resize --edge 1024": [pictrim, "resize", "--edge", "1024", "--overwrite", source],
    }
    if shutil.which("vipsthumbnail"):
        contenders["vipsthumbnail -s 1024, 2 processes"] = in_two_processes(
            "vipsthumbnail -s 1024 -o '{}/%s.jpg[Q=75]'".format(vips_out), files, "half")
    if shutil.which("djpeg"):
        contenders["djpeg -scale 1/4, 2 processes"] = in_two_processes(
            "sh -c 'djpeg -scale 1/4 -outfile /dev/null \"$0\"'", files, "one")

    times = {name: [] for name in contenders}
    for _ in range(args.runs):  # interleaved, so that all see the same machine
        for name, command in contenders.items():
            times[name].append(run_timed(command))

    print("{} pictures ({} runs each)".format(len(files), args.runs))
    rates = {}
    for name, seconds in times.items():
        median = statistics.median(seconds)
        rates[name] = len(files) / median
        print("  {:38s} {:6.2f} pictures/s  (median {:.2f} s, min {:.2f} s, max {:.2f} s)".format(
            name, rates[name], median, min(seconds), max(seconds)))
    ours = rates["pictrim resize --edge 1024"]
    for name, rate in rates.items():
        if not name.startswith("pictrim"):
            print("  pictrim / {}: {:.2f}".format(name.split(",")[0], ours / rate))

    largest = max(files, key=os.path.getsize)
    single = os.path.join(args.tree, "single")
    shutil.rmtree(single, ignore_errors=True)
    os.makedirs(single)
    shutil.copy(largest, single)
    print("peak memory on one picture ({}):".format(os.path.basename(largest)))
    print("  pictrim resize:  {:.1f} MiB".format(
        peak_kib([pictrim, "resize", "--edge", "1024", "--overwrite", single]) / 1024))
    if shutil.which("vipsthumbnail"):
        print("  vipsthumbnail:   {:.1f} MiB".format(
            peak_kib(["vipsthumbnail", "-s", "1024", "-o", vips_out + "/%s.jpg[Q=75]",
                      os.path.join(single, os.path.basename(largest))]) / 1024))
    return 0


if __name__ == "__main__":
    sys.exit(main())
