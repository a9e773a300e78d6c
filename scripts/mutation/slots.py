"""Copies of the repository, each with its own build, so that two mutants
can be built and tested side by side without touching the working tree.

A copy is laid out as the working tree is (sources, and the build in
build/ inside them), so that ccache, with base_dir set, serves the copy's
first build from what the working tree's build compiled.
"""
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import time

CACHE_OPTIONS = ("CMAKE_BUILD_TYPE", "PICTRIM_WERROR", "PICTRIM_SANITIZE", "CMAKE_CXX_COMPILER",
                 "CMAKE_C_COMPILER", "CMAKE_CXX_COMPILER_LAUNCHER", "CMAKE_C_COMPILER_LAUNCHER",
                 "PICTRIM_TESTDATA_DIR")


def run(command, cwd=None, timeout=None, env=None):
    """(exit status or None on timeout, output, seconds). The whole process
    group is ended on a timeout, decoder processes included."""
    started = time.monotonic()
    process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, start_new_session=True)
    try:
        out, _ = process.communicate(timeout=timeout)
        code = process.returncode
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        out, _ = process.communicate()
        code = None
    return code, out.decode(errors="replace"), time.monotonic() - started


def cache_options(build):
    """The options of the working tree's build that the copies repeat."""
    options = {"PICTRIM_WERROR": "ON"}
    if shutil.which("ccache"):
        options["CMAKE_CXX_COMPILER_LAUNCHER"] = options["CMAKE_C_COMPILER_LAUNCHER"] = "ccache"
    # lld links a test program in a second where the default linker takes
    # twenty; the objects (and the cache's hits) stay the same.
    if shutil.which("ld.lld"):
        options["CMAKE_EXE_LINKER_FLAGS"] = "-fuse-ld=lld"
    cache = os.path.join(build, "CMakeCache.txt")
    if os.path.exists(cache):
        with open(cache, encoding="utf-8", errors="replace") as f:
            for row in f:
                m = re.match(r"([A-Z_]+):[A-Z]+=(.*)$", row.rstrip("\n"))
                if m and m.group(1) in CACHE_OPTIONS and m.group(2):
                    options[m.group(1)] = m.group(2)
    return options


class Slot:
    def __init__(self, root, work, index, options, jobs):
        self.root = root
        self.index = index
        self.dir = os.path.join(work, "slot%s" % index)
        self.build = os.path.join(self.dir, "build")
        self.options = options
        self.jobs = jobs
        self.pristine = {}   # object path -> digest of its code without debug info
        home = os.path.join(self.dir, "home")
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=home,
                        XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        TMPDIR=os.path.join(self.dir, "tmp"))

    # -- the copy

    def repository_files(self):
        out = subprocess.run(["git", "-C", self.root, "ls-files", "-z", "--cached", "--others",
                              "--exclude-standard"], check=True, stdout=subprocess.PIPE).stdout
        return sorted({p for p in out.decode().split("\0") if p and os.path.isfile(os.path.join(self.root, p))})

    def sync(self):
        """Brings the copy to the working tree's files; a file is written only
        when its bytes differ, so that the build stays incremental."""
        for folder in ("home/.config", "tmp"):
            os.makedirs(os.path.join(self.dir, folder), exist_ok=True)
        manifest = os.path.join(self.dir, ".files")
        before = set()
        if os.path.exists(manifest):
            with open(manifest) as f:
                before = set(f.read().split("\n")) - {""}
        files = self.repository_files()
        for path in files:
            source, copy = os.path.join(self.root, path), os.path.join(self.dir, path)
            with open(source, "rb") as f:
                data = f.read()
            if os.path.exists(copy):
                with open(copy, "rb") as f:
                    if f.read() == data:
                        continue
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            with open(copy, "wb") as f:
                f.write(data)
            shutil.copymode(source, copy)
        for path in before - set(files):
            try:
                os.remove(os.path.join(self.dir, path))
            except FileNotFoundError:
                pass
        with open(manifest, "w") as f:
            f.write("\n".join(files))

    def configure(self):
        """Configures the copy's build, again when its options changed."""
        if os.path.exists(os.path.join(self.build, "build.ninja")):
            cache = os.path.join(self.build, "CMakeCache.txt")
            with open(cache, encoding="utf-8", errors="replace") as f:
                text = f.read()
            if all(re.search(r"^%s:[A-Z]+=%s$" % (re.escape(k), re.escape(v)), text, re.M)
                   for k, v in self.options.items()):
                return
        command = ["cmake", "-S", self.dir, "-B", self.build, "-G", "Ninja", "-DPICTRIM_BENCH=OFF",
                   "-DPICTRIM_FUZZ=OFF"]
        command += ["-D%s=%s" % item for item in sorted(self.options.items())]
        code, out, _ = run(command)
        if code != 0:
            raise SystemExit("configuring %s failed:\n%s" % (self.build, out[-3000:]))

    def make(self, targets, timeout=3600):
        code, out, _ = run(["ninja", "-C", self.build, "-j%d" % self.jobs, *targets], timeout=timeout)
        return code == 0, out

    # -- what the build knows

    def objects(self):
        """{source path relative to the repository: [object paths relative to the build]}."""
        with open(os.path.join(self.build, "compile_commands.json")) as f:
            entries = json.load(f)
        found = {}
        for entry in entries:
            source = os.path.relpath(entry["file"], self.dir)
            output = entry.get("output")
            if output is None:
                m = re.search(r"\s-o\s+(\S+)", entry["command"])
                output = m.group(1) if m else None
            if output and not source.startswith(".."):
                full = os.path.normpath(os.path.join(entry["directory"], output))
                found.setdefault(source, []).append(os.path.relpath(full, self.build))
        return found

    def code_digest(self, obj):
        """Digest of an object file's code and data, debug information left out."""
        stripped = obj + ".stripped"
        code, out, _ = run(["objcopy", "--strip-debug", obj, stripped])
        if code != 0:
            return None
        with open(stripped, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        os.remove(stripped)
        return digest

    def read(self, path):
        with open(os.path.join(self.dir, path), encoding="utf-8", errors="surrogateescape", newline="") as f:
            return f.read()

    def write(self, path, text):
        with open(os.path.join(self.dir, path), "w", encoding="utf-8", errors="surrogateescape",
                  newline="") as f:
            f.write(text)


def test_binaries(build):
    """{target name: path} of the test programs the build makes."""
    found = {}
    with open(os.path.join(build, "build.ninja"), encoding="utf-8", errors="replace") as f:
        for row in f:
            m = re.match(r"build (tests/\S+/(\w+)): CXX_EXECUTABLE_LINKER", row)
            if m and (m.group(2).startswith("test_") or m.group(2).endswith("_tests")):
                found[m.group(2)] = os.path.join(build, m.group(1))
    return found


def sources_of(build, source_dir, binaries):
    """{binary: set of source and header paths (relative to source_dir) that go
    into it or into a program it starts}."""
    deps = {}
    code, out, _ = run(["ninja", "-C", build, "-t", "deps"])
    current = None
    for row in out.splitlines():
        if row and not row.startswith(" "):
            current = os.path.normpath(os.path.join(build, row.split(":")[0]))
            deps[current] = set()
        elif row.strip() and current:
            deps[current].add(os.path.normpath(os.path.join(build, row.strip())))
    result = {}
    for name in binaries:
        code, out, _ = run(["ninja", "-C", build, "-t", "inputs", name])
        files = set()
        for row in out.splitlines():
            full = os.path.normpath(os.path.join(build, row.strip()))
            files.add(full)
            files.update(deps.get(full, ()))
        result[name] = {os.path.relpath(p, source_dir) for p in files
                        if p.startswith(source_dir + os.sep) and not p.startswith(build + os.sep)}
    return result
