#!/usr/bin/env python3
"""Mutation check: makes one plausible mistake at a time in the program,
builds the test programs that contain the changed file, runs them, and
tells whether a test failed (the mistake was "killed") or all passed
("survived"). Not part of the test run: it takes a few seconds to minutes
per mistake.

The mistakes are made by the generator over the lines a change touched, or
over whole files, or come from the hand-written table:

  scripts/mutation-check.py --base main              # my branch's changes since main
  scripts/mutation-check.py --files engine/SizeSearch.cpp image/JpegCodec.cpp:100-180
  scripts/mutation-check.py --table [--only 3,7]     # the hand-written mistakes

The generator swaps relations (< <=, > >=, == !=), && and ||, moves
integer constants by one, negates if and while conditions, drops
statements, flips what bool functions return and swaps std::min and
std::max. Comments, literals, preprocessor lines and debug output are left
alone. Mutants listed in tests/mutation-equivalents.txt are reported as
equivalent with their reason, not run.

Every mutant is built in a copy of the repository (under build-mutants/),
never in the working tree; two copies work side by side (--slots). A
mutant whose object code is that of the program as written is equivalent
without a test run. The others run the test programs the file goes into,
first the tests that caught earlier mistakes in the same file, each program
with a time limit.

Writes a Markdown table (file:line, the change, killed by which test, or
survived) to standard output and to --out, and the results as JSON to
--json, which --retry reads to run only the survivors of an earlier run.
The exit status is 1 when a mutant survived or a hand-written entry no
longer finds its line.
"""
import argparse
import json
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))

from mutation import changes, equivalents, handwritten, operators  # noqa: E402
from mutation.runner import EQUIVALENT, GONE, KILLED, NOT_BUILT, SURVIVED, Runner, Verdict  # noqa: E402


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n\n", 1)[1])
    what = parser.add_mutually_exclusive_group(required=True)
    what.add_argument("--base", help="mutate the lines changed since this commit or branch "
                      "(from where the work left it), uncommitted changes included")
    what.add_argument("--files", nargs="+", metavar="FILE[:FIRST-LAST]", help="mutate these files")
    what.add_argument("--table", action="store_true", help="the hand-written mistakes")
    parser.add_argument("--only", default="", help="with --table: the entries to run, e.g. 3,7,12")
    parser.add_argument("--restrict", nargs="+", metavar="FILE",
                        help="with --base: only these of the changed files")
    parser.add_argument("--kinds", help="only these kinds: " +
                        ",".join(k for k, _ in operators.OPERATORS))
    parser.add_argument("--max", type=int, help="at most this many mutants, spread over the lines")
    parser.add_argument("--tests", help="only these test programs, e.g. test_engine,test_image")
    parser.add_argument("--filter", help="a gtest filter for every test program run")
    parser.add_argument("--retry", metavar="JSON", help="only the mutants that survived in this earlier run")
    parser.add_argument("--resume", metavar="JSON",
                        help="take the verdicts of an earlier (or broken-off) run from this file and run "
                        "only the mutants it lacks")
    parser.add_argument("--list", action="store_true", help="list the mutants, run nothing")
    parser.add_argument("--slots", type=int, default=2, help="copies working side by side (default 2)")
    parser.add_argument("--work", default=os.path.join(ROOT, "build-mutants"),
                        help="folder of the copies (default build-mutants in the repository)")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"),
                        help="the working tree's build, whose options the copies repeat")
    parser.add_argument("--time-factor", type=float, default=4,
                        help="a test program may take 60 s plus this many times its time without a mistake")
    parser.add_argument("--nice", type=int, default=10, help="niceness of the run (default 10)")
    parser.add_argument("--out", help="write the Markdown table here too")
    parser.add_argument("--json", help="write the results here as JSON")
    parser.add_argument("--coverage", action="store_true",
                        help="run only the tests that run a mutant's lines, by a map of which test runs "
                        "which line (made once in a copy built for coverage, about half an hour, and kept)")
    parser.add_argument("--coverage-remake", action="store_true",
                        help="make the coverage map again when the sources or tests changed since")
    parser.add_argument("--check-equivalents", action="store_true",
                        help="run the mutants the table calls equivalent as well")
    return parser.parse_args()


def generated(args):
    if args.files:
        scope = changes.given_files(ROOT, args.files)
    else:
        scope = changes.changed_lines(ROOT, args.base)
        if args.restrict:
            wanted = set(changes.given_files(ROOT, args.restrict))
            scope = {p: rows for p, rows in scope.items() if p in wanted}
    mutants = []
    for path in sorted(scope):
        with open(os.path.join(ROOT, path), encoding="utf-8", errors="surrogateescape", newline="") as f:
            text = f.read()
        mutants += operators.mutants_of(path, text, scope[path])
    if args.kinds:
        kinds = set(args.kinds.split(","))
        mutants = [m for m in mutants if m.kind in kinds]
    if args.retry:
        with open(args.retry) as f:
            earlier = {tuple(r["key"]) for r in json.load(f) if r["status"] == SURVIVED}
        mutants = [m for m in mutants if m.key() in earlier]
    return operators.spread(mutants, args.max), scope


def hand_written(args):
    chosen = {int(n) for n in args.only.split(",") if n}
    mutants, gone = [], []
    for number, (path, old, new, what, suites) in enumerate(handwritten.MUTATIONS, 1):
        if chosen and number not in chosen:
            continue
        full = os.path.join(ROOT, path)
        text = open(full, encoding="utf-8").read() if os.path.exists(full) else ""
        mutant = operators.Mutant(path, 0, 0, old, new, "hand", what=what, number=number,
                                  tests=[(s[0], s[2]) for s in suites])
        if text.count(old) != 1:
            gone.append((mutant, Verdict(GONE, "the text stands %d times in the file" % text.count(old))))
            continue
        mutant.start = text.index(old)
        mutant.line = text[: mutant.start].count("\n") + 1
        mutant.before = text.split("\n")[mutant.line - 1].strip()
        mutant.after = mutant.apply(text).split("\n")[mutant.line - 1].strip()
        mutants.append(mutant)
    return mutants, gone


def write_json(path, results):
    """The verdicts so far, written whole each time (a run broken off can be resumed)."""
    with open(path + ".part", "w") as f:
        json.dump([{"key": list(m.key()), "path": m.path, "line": m.line, "kind": m.kind,
                    "before": m.before, "after": m.after, "status": v.status, "detail": v.detail,
                    "seconds": round(v.seconds, 1)} for m, v in results], f, indent=1)
    os.replace(path + ".part", path)


def row(mutant, verdict):
    where = "%s:%d" % (mutant.path, mutant.line) if mutant.line else mutant.path
    number = "%d | " % mutant.number if mutant.number else ""
    return "| %s%s | %s | %s |" % (number, where, mutant.change().replace("|", "\\|"), verdict.text())


def main():
    args = arguments()
    if args.nice:
        os.nice(args.nice)
    log = lambda text: print("# " + text, file=sys.stderr, flush=True)  # noqa: E731
    table, entries = equivalents.load(ROOT)
    started = time.monotonic()
    results = []
    if args.table:
        mutants, gone = hand_written(args)
        results += gone
        stale = []
    else:
        mutants, scope = generated(args)
        stale = equivalents.stale(ROOT, entries, set(scope))
        to_run = []
        for m in mutants:
            reason = equivalents.lookup(table, m)
            if reason and not args.check_equivalents:
                results.append((m, Verdict(EQUIVALENT, reason)))
            else:
                to_run.append(m)
        mutants = to_run
    if args.resume and os.path.exists(args.resume):
        with open(args.resume) as f:
            earlier = {tuple(r["key"]): r for r in json.load(f)}
        kept = [m for m in mutants if m.key() in earlier]
        mutants = [m for m in mutants if m.key() not in earlier]
        for m in kept:
            r = earlier[m.key()]
            results.append((m, Verdict(r["status"], r["detail"], r.get("seconds", 0))))
        log("%d verdicts taken from %s" % (len(kept), args.resume))
    if args.list:
        for m, v in results:
            print(row(m, v))
        for m in mutants:
            print(row(m, Verdict("to run", m.kind)))
        return 0
    log("%d mutants to run" % len(mutants))
    total = len(mutants)
    done = [0]

    def report(mutant, verdict):
        done[0] += 1
        results.append((mutant, verdict))
        if args.json:
            write_json(args.json, results)
        change = " " + mutant.change() if verdict.status == SURVIVED else ""
        log("[%d/%d] %s:%d %s: %s (%.0f s)%s" % (done[0], total, mutant.path, mutant.line, mutant.kind,
                                                  verdict.text(), verdict.seconds, change))

    if mutants:
        runner = Runner(ROOT, args.work, args.slots, args.build, args.time_factor,
                        args.tests.split(",") if args.tests else None, args.filter, log,
                        use_coverage=args.coverage or args.coverage_remake,
                        remake_coverage=args.coverage_remake)
        runner.prepare(sorted({m.path for m in mutants}))
        runner.run_all(mutants, report)
    results.sort(key=lambda r: (r[0].number, r[0].path, r[0].line, r[0].start))
    lines = ["| # | where | mistake | result |" if args.table else "| where | mistake | result |",
             "|---|---|---|---|" if args.table else "|---|---|---|"]
    lines += [row(m, v) for m, v in results]
    count = lambda status: sum(v.status == status for _, v in results)  # noqa: E731
    by_compiler = sum(v.status == EQUIVALENT and v.detail == "the compiler makes the same code" for _, v in results)
    summary = ("made %d: killed %d, equivalent %d (%d by the table, %d same code), survived %d, "
               "did not build %d%s; %.1f min" % (
                   len(results) - count(GONE), count(KILLED), count(EQUIVALENT),
                   count(EQUIVALENT) - by_compiler, by_compiler, count(SURVIVED), count(NOT_BUILT),
                   ", line gone %d" % count(GONE) if count(GONE) else "", (time.monotonic() - started) / 60))
    lines += ["", summary]
    for entry in stale:
        lines.append("equivalents table, line %d: the line of %s is gone: %s" % (entry["at"], entry["file"],
                                                                                 entry["line"]))
    print("\n".join(lines))
    if args.out:
        with open(args.out, "w") as f:
            f.write("\n".join(lines) + "\n")
    if args.json:
        write_json(args.json, results)
    return 1 if count(SURVIVED) or count(GONE) or stale else 0


if __name__ == "__main__":
    sys.exit(main())
