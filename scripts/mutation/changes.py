"""Which lines of which source files a run makes mistakes in."""
import os
import re
import subprocess

SOURCE_SUFFIXES = (".cpp", ".h", ".hpp", ".cc", ".c")
# Folders whose code is not the program's: mistakes there are not sought.
NOT_PROGRAM = ("tests/", "fuzz/", "bench/", "scripts/", "build")


def git(root, *args):
    return subprocess.run(["git", "-C", root, *args], check=True, stdout=subprocess.PIPE,
                          text=True, errors="replace").stdout


def is_program_source(path):
    return path.endswith(SOURCE_SUFFIXES) and not path.startswith(NOT_PROGRAM)


def changed_lines(root, base):
    """{path: set of 1-based line numbers} added or changed since the point
    where the current work left base (git's merge base), uncommitted
    changes and new files included."""
    fork = git(root, "merge-base", base, "HEAD").strip()
    diff = git(root, "diff", "-U0", "--no-color", "--no-ext-diff", "--diff-filter=AM", fork, "--")
    lines = {}
    path = None
    for row in diff.splitlines():
        if row.startswith("+++ "):
            path = row[6:] if row.startswith("+++ b/") else None
            continue
        hunk = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", row)
        if hunk and path and is_program_source(path):
            first, count = int(hunk.group(1)), int(hunk.group(2) or "1")
            lines.setdefault(path, set()).update(range(first, first + count))
    for path in git(root, "ls-files", "--others", "--exclude-standard").splitlines():
        if is_program_source(path):
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                lines[path] = set(range(1, f.read().count("\n") + 2))
    return {p: rows for p, rows in lines.items() if rows}


def given_files(root, wanted):
    """Files given on the command line, each whole or as path:FIRST-LAST."""
    lines = {}
    for given in wanted:
        m = re.match(r"(.*?):(\d+)(?:-(\d+))?$", given)
        path, rows = (m.group(1), range(int(m.group(2)), int(m.group(3) or m.group(2)) + 1)) if m else (given, None)
        full = os.path.abspath(path)
        if not os.path.exists(full):
            full = os.path.join(root, path)
        rel = os.path.relpath(os.path.realpath(full), os.path.realpath(root))
        if rel.startswith("..") or not os.path.isfile(os.path.join(root, rel)):
            raise SystemExit("not a file of this repository: %s" % given)
        if rows is None:
            with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
                rows = range(1, f.read().count("\n") + 2)
        lines.setdefault(rel, set()).update(rows)
    return lines
