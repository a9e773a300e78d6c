"""Which tests run which lines: a copy of the repository built with
--coverage runs every test alone, and gcov tells the lines each one ran.

With that map a mutant runs only the tests that run its lines, and a mutant
on a line no test runs is a survivor without a build. The map is kept in
the work folder with a digest of the sources; a change of any source or
test makes it stale, and it is made again.
"""
import gzip
import hashlib
import json
import os
import shutil
import threading

from . import slots as slotmod

FLAGS = "--coverage -DPICTRIM_COVERAGE"


def text_digest(text):
    return hashlib.sha256(text.encode("utf-8", "surrogateescape")).hexdigest()


def tree_digest(slot):
    digest = hashlib.sha256()
    for path in slot.repository_files():
        if path.endswith((".cpp", ".h", ".c", ".txt", ".cmake")) or "CMakeLists" in path:
            with open(os.path.join(slot.dir, path), "rb") as f:
                digest.update(path.encode() + b"\0" + hashlib.sha256(f.read()).digest())
    return digest.hexdigest()


def list_tests(binary, env):
    code, out, _ = slotmod.run([binary, "--gtest_list_tests"], cwd=os.path.dirname(binary), env=env,
                               timeout=120)
    tests, suite = [], None
    for row in out.splitlines():
        if not row.strip() or row.startswith(" " * 4):
            continue
        if not row.startswith(" "):
            suite = row.split("#")[0].strip()
        elif suite:
            tests.append(suite + row.split("#")[0].strip())
    return tests


class CoverageMap:
    def __init__(self, data):
        self.lines = data["lines"]        # "path:line" -> [test ids]
        self.known = set(data["files"])   # files whose lines gcov reported
        self.tests = data["tests"]        # test id (index) -> [binary, name]
        self.digests = data["digests"]    # path -> digest of the text the map was made from

    def tests_for(self, path, rows, text):
        """None when coverage cannot tell (the file changed since the map was
        made, or no executable line among rows), else the (binary, test)
        pairs that run any of them (maybe none)."""
        if path not in self.known or self.digests.get(path) != text_digest(text):
            return None
        found, executable = set(), False
        for row in rows:
            ids = self.lines.get("%s:%d" % (path, row))
            if ids is None:
                continue
            executable = True
            found.update(ids)
        if not executable:
            return None
        return sorted((self.tests[i][0], self.tests[i][1]) for i in found)


def gcov_lines(build, source_dir, gcda_files):
    """{(path, line): count} for the program's sources, from gcov's JSON."""
    counts = {}
    for start in range(0, len(gcda_files), 40):
        batch = gcda_files[start:start + 40]
        code, out, _ = slotmod.run(["gcov", "--json-format", "--stdout", *batch], cwd=build, timeout=600)
        for row in out.splitlines():
            row = row.strip()
            if not row.startswith("{"):
                continue
            try:
                report = json.loads(row)
            except ValueError:
                continue
            for entry in report.get("files", []):
                path = os.path.normpath(os.path.join(build, entry["file"]))
                if not path.startswith(source_dir + os.sep) or path.startswith(build + os.sep):
                    continue
                rel = os.path.relpath(path, source_dir)
                if rel.startswith(("tests/", "build")):
                    continue
                for line in entry.get("lines", []):
                    key = (rel, line["line_number"])
                    counts[key] = counts.get(key, 0) + line["count"]
    return counts


def make_map(root, work, options, binaries_wanted, log, workers=2, remake=False):
    """Builds the coverage copy, runs each test alone and returns the map,
    reusing the kept one when the sources have not changed."""
    options = dict(options)
    options["CMAKE_CXX_FLAGS"] = FLAGS
    options["CMAKE_C_FLAGS"] = FLAGS
    options["CMAKE_EXE_LINKER_FLAGS"] = "--coverage"
    # The compiler's flow warnings see false bounds in code with coverage counters.
    options["PICTRIM_WERROR"] = "OFF"
    slot = slotmod.Slot(root, work, "coverage", options, 2)
    slot.sync()
    kept = os.path.join(work, "coverage.json.gz")
    digest = tree_digest(slot)
    if os.path.exists(kept):
        with gzip.open(kept, "rt") as f:
            data = json.load(f)
        if data.get("digest") == digest or not remake:
            if data.get("digest") != digest:
                log("the coverage map predates changes of the sources: files changed since are run "
                    "with whole test programs, and tests added since are not chosen by it")
            return CoverageMap(data)
        log("the coverage map is stale: made again")
    slot.configure()
    binaries = slotmod.test_binaries(slot.build)
    names = [b for b in sorted(binaries) if b in binaries_wanted]
    log("building the coverage copy %s" % slot.build)
    ok, out = slot.make(names)
    if not ok:
        raise SystemExit("the coverage copy does not build:\n" + out[-3000:])
    gcno = []
    for folder, _, files in os.walk(slot.build):
        gcno += [os.path.join(folder, f) for f in files if f.endswith(".gcno")]
    jobs = []
    for name in names:
        for test in list_tests(binaries[name], slot.env):
            jobs.append((name, test))
    log("running %d tests one at a time for coverage" % len(jobs))
    lines, files, tests = {}, set(), {}
    lock = threading.Lock()
    queue = list(enumerate(jobs))

    def worker(index):
        prefix = os.path.join(slot.dir, "gcda%d" % index)
        env = dict(slot.env, GCOV_PREFIX=prefix, GCOV_PREFIX_STRIP="0")
        while True:
            with lock:
                if not queue:
                    return
                number, (name, test) = queue.pop(0)
            shutil.rmtree(prefix, ignore_errors=True)
            binary = binaries[name]
            code, out, seconds = slotmod.run([binary, "--gtest_filter=" + test], cwd=os.path.dirname(binary),
                                             env=env, timeout=900)
            mirror = prefix + slot.build
            found = []
            for folder, _, names_here in os.walk(mirror):
                for f in names_here:
                    if f.endswith(".gcda"):
                        gcda = os.path.join(folder, f)
                        original = slot.build + gcda[len(mirror):]
                        note = original[:-5] + ".gcno"
                        if os.path.exists(note):
                            os.symlink(note, gcda[:-5] + ".gcno")
                            found.append(gcda)
            counts = gcov_lines(slot.build, slot.dir, found) if found else {}
            with lock:
                tests[number] = [name, test]
                for (path, row), count in counts.items():
                    files.add(path)
                    ids = lines.setdefault("%s:%d" % (path, row), [])
                    if count > 0:
                        ids.append(number)
                if code != 0:
                    log("warning: %s %s fails in the coverage copy" % (name, test))
                if number % 50 == 0:
                    log("coverage: %d of %d tests" % (number, len(jobs)))

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(workers)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    # A source file is known when some object built from it ran at all.
    data = {"digest": digest, "lines": lines, "files": sorted(files),
            "tests": [tests[k] for k in range(len(jobs))],
            "digests": {path: text_digest(slot.read(path)) for path in files}}
    with gzip.open(kept, "wt") as f:
        json.dump(data, f)
    return CoverageMap(data)


