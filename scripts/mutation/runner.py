"""Builds each mutant in a copy of the repository and runs the tests that
could catch it: first those that caught mistakes in the same file before,
then every test program the file goes into, each with a time limit."""
import os
import queue
import re
import threading
import time

from . import coverage
from . import slots as slotmod

KILLED, SURVIVED, EQUIVALENT, NOT_BUILT, GONE = "killed", "survived", "equivalent", "did not build", "line gone"


class NotBuilt(Exception):
    pass


class Verdict:
    def __init__(self, status, detail="", seconds=0.0):
        self.status, self.detail, self.seconds = status, detail, seconds

    def text(self):
        if self.status == KILLED:
            return "killed: " + self.detail
        if self.status == EQUIVALENT:
            return "equivalent: " + self.detail
        if self.status == SURVIVED:
            return "**SURVIVED**" + (" (" + self.detail + ")" if self.detail else "")
        if self.status == GONE:
            return "**LINE GONE** (" + self.detail + ")"
        return self.status + (": " + self.detail if self.detail else "")


def first_error(out):
    for row in out.splitlines():
        if "error:" in row:
            return slotmod_short(row.split("error:", 1)[1].strip())
    return "build failed"


def slotmod_short(text, limit=80):
    return text if len(text) <= limit else text[: limit - 1] + "…"


def judge(name, code, out):
    """None when every test passed; otherwise how the program caught it."""
    if code == 0:
        return None
    failed = re.findall(r"^\[  FAILED  \] (\S+) \(", out, re.M)
    if failed:
        return "%s %s" % (name, failed[0])
    running = re.findall(r"^\[ RUN      \] (\S+)", out, re.M)
    finished = set(re.findall(r"^\[ +(?:OK|FAILED|SKIPPED) +\] (\S+)", out, re.M))
    where = next((t for t in reversed(running) if t not in finished), None)
    if code is None:
        return "%s %s (time limit)" % (name, where or "")
    return "%s %s (exit %s)" % (name, where or "", code if code >= 0 else "signal %d" % -code)


class Runner:
    def __init__(self, root, work, slot_count, build, time_factor, only_tests, gtest_filter, log,
                 use_coverage=False, remake_coverage=False):
        self.root = root
        self.use_coverage = use_coverage
        self.remake_coverage = remake_coverage
        self.coverage = None
        self.log = log
        options = slotmod.cache_options(build)
        jobs = max(1, 2 // slot_count)
        self.slots = [slotmod.Slot(root, work, i, options, jobs) for i in range(slot_count)]
        self.time_factor = time_factor
        self.only_tests = only_tests
        self.gtest_filter = gtest_filter
        self.lock = threading.Lock()
        self.killers = {}     # path -> {(binary, test): kills}
        self.baseline = {}    # binary -> seconds
        self.broken = {}      # binary -> tests failing without any mistake
        self.binaries = {}
        self.sources = {}
        self.objects = {}

    # -- preparation

    def prepare(self, paths):
        started = time.monotonic()
        for slot in self.slots:
            slot.sync()
            slot.configure()
        first = self.slots[0]
        self.binaries = slotmod.test_binaries(first.build)
        if self.only_tests:
            unknown = set(self.only_tests) - set(self.binaries)
            if unknown:
                raise SystemExit("no such test program: " + ", ".join(sorted(unknown)))
        for slot in self.slots:
            self.log("building %s" % slot.build)
            ok, out = slot.make(sorted(self.binaries))
            if not ok:
                raise SystemExit("the copy does not build without a mistake:\n" + out[-3000:])
        self.sources = slotmod.sources_of(first.build, first.dir, sorted(self.binaries))
        if self.use_coverage:
            self.coverage = coverage.make_map(self.root, os.path.dirname(first.dir), first.options,
                                              set(self.binaries), self.log, remake=self.remake_coverage)
        self.objects = first.objects()
        needed = sorted({b for p in paths for b in self.binaries_covering(p)})
        self.log("running %s once without a mistake" % ", ".join(needed))
        jobs = queue.Queue()
        for name in needed:
            jobs.put(name)

        def baseline(slot):
            while True:
                try:
                    name = jobs.get_nowait()
                except queue.Empty:
                    return
                code, out, seconds = self.run_binary(slot, name, [], None)
                self.baseline[name] = seconds
                failed = re.findall(r"^\[  FAILED  \] (\S+) \(", out, re.M)
                if code != 0:
                    if not failed:
                        raise SystemExit("%s fails without a mistake:\n%s" % (name, out[-2000:]))
                    self.broken[name] = sorted(set(failed))
                    self.log("warning: %s fails without a mistake in %s; those tests are left out"
                             % (name, ", ".join(self.broken[name])))

        threads = [threading.Thread(target=baseline, args=(s,)) for s in self.slots]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.log("ready in %.0f s" % (time.monotonic() - started))

    def binaries_covering(self, path):
        names = [b for b, files in self.sources.items() if path in files]
        if self.only_tests:
            names = [b for b in names if b in self.only_tests]
        folder = path.split("/")[0]
        # The folder's own tests first, then the quickest.
        names.sort(key=lambda b: (not self.binaries[b].split(os.sep)[-2] == folder, self.baseline.get(b, 0), b))
        return names

    # -- running

    def run_binary(self, slot, name, tests, limit, exclude=()):
        binary = os.path.join(slot.build, os.path.relpath(self.binaries[name], self.slots[0].build))
        positive = ":".join(tests) if tests else (self.gtest_filter or "*")
        negative = list(exclude) + self.broken.get(name, [])
        gtest_filter = positive + ("-" + ":".join(negative) if negative else "")
        command = [binary, "--gtest_fail_fast", "--gtest_color=no", "--gtest_filter=" + gtest_filter]
        return slotmod.run(command, cwd=os.path.dirname(binary), timeout=limit, env=slot.env)

    def limit(self, name):
        return 60 + self.time_factor * self.baseline.get(name, 60)

    def try_mutant(self, slot, mutant):
        started = time.monotonic()
        verdict = self._try(slot, mutant)
        verdict.seconds = time.monotonic() - started
        return verdict

    def _try(self, slot, mutant):
        original = slot.read(mutant.path)
        if original[mutant.start: mutant.start + len(mutant.old)] != mutant.old:
            return Verdict(GONE, "the text is not where it was")
        objects = self.objects.get(mutant.path, [])
        if objects:
            for obj in objects:
                if (obj, slot.index) not in slot.pristine:
                    slot.make([obj])
                    slot.pristine[(obj, slot.index)] = slot.code_digest(os.path.join(slot.build, obj))
        binaries = mutant.tests and [b for b, _ in mutant.tests] or self.binaries_covering(mutant.path)
        if not binaries:
            return Verdict(SURVIVED, "no test program contains this file")
        selection = None
        if self.coverage is not None and not mutant.tests:
            rows = range(mutant.line, mutant.line + mutant.old.count("\n") + 1)
            covering = self.coverage.tests_for(mutant.path, rows, original)
            if covering is not None:
                if not covering:
                    return Verdict(SURVIVED, "no test runs this line")
                selection = {}
                for name, test in covering:
                    selection.setdefault(name, []).append(test)
                binaries = [b for b in binaries if b in selection] + sorted(set(selection) - set(binaries))
        try:
            slot.write(mutant.path, mutant.apply(original))
            if objects:
                ok, out = slot.make(objects)
                if not ok:
                    return Verdict(NOT_BUILT, first_error(out))
                if all(slot.code_digest(os.path.join(slot.build, o)) == slot.pristine[(o, slot.index)]
                       for o in objects):
                    return Verdict(EQUIVALENT, "the compiler makes the same code")
            return self.run_tests(slot, mutant, binaries, selection)
        finally:
            slot.write(mutant.path, original)

    def run_tests(self, slot, mutant, binaries, selection=None):
        """Builds each test program only when its turn comes: most mutants are
        caught by the first, and linking the others would cost more than
        their tests."""
        built = set()

        def build(name):
            if name not in built:
                ok, out = slot.make([name])
                if not ok:
                    raise NotBuilt(first_error(out))
                built.add(name)

        try:
            return self._run_tests(slot, mutant, binaries, build, selection)
        except NotBuilt as error:
            return Verdict(NOT_BUILT, str(error))

    def _run_tests(self, slot, mutant, binaries, build, selection):
        if mutant.tests:
            for name, gtest_filter in mutant.tests:
                build(name)
                code, out, _ = self.run_binary(slot, name, gtest_filter.split(":"), self.limit(name))
                caught = judge(name, code, out)
                if caught:
                    return Verdict(KILLED, caught)
            return Verdict(SURVIVED)
        with self.lock:
            known = sorted(self.killers.get(mutant.path, {}).items(), key=lambda kv: -kv[1])
        tried = {}
        for (name, test), _ in known:
            if selection is not None and test not in selection.get(name, ()):
                continue
            if name in binaries and len(tried.setdefault(name, [])) < 12:
                tried[name].append(test)
        for name, tests in tried.items():
            build(name)
            code, out, _ = self.run_binary(slot, name, tests, self.limit(name))
            caught = judge(name, code, out)
            if caught:
                return self.killed(mutant, name, out, caught)
        for name in binaries:
            wanted = [] if selection is None else [t for t in selection[name] if t not in tried.get(name, [])]
            if selection is not None and not wanted:
                continue
            build(name)
            code, out, _ = self.run_binary(slot, name, wanted, self.limit(name), exclude=tried.get(name, []))
            caught = judge(name, code, out)
            if caught:
                return self.killed(mutant, name, out, caught)
        return Verdict(SURVIVED, "" if selection is None else "by the tests that run its lines")

    def killed(self, mutant, name, out, caught):
        failed = re.findall(r"^\[  FAILED  \] (\S+) \(", out, re.M)
        if failed:
            with self.lock:
                tests = self.killers.setdefault(mutant.path, {})
                tests[(name, failed[0])] = tests.get((name, failed[0]), 0) + 1
        return Verdict(KILLED, caught)

    def run_all(self, mutants, report):
        """Runs every mutant, one per copy at a time; report(mutant, verdict)
        is called as each ends."""
        work = queue.Queue()
        for m in mutants:
            work.put(m)
        failures = []

        def worker(slot):
            while True:
                try:
                    m = work.get_nowait()
                except queue.Empty:
                    return
                try:
                    verdict = self.try_mutant(slot, m)
                except Exception as error:  # noqa: BLE001 - reported, the others go on
                    failures.append(error)
                    verdict = Verdict(NOT_BUILT, "the run failed: %s" % error)
                with self.lock:
                    report(m, verdict)

        threads = [threading.Thread(target=worker, args=(s,), daemon=True) for s in self.slots]
        for t in threads:
            t.start()
        for t in threads:
            while t.is_alive():
                t.join(0.5)
        return failures
