"""The table of mutants no input can tell apart from the program as written.

tests/mutation-equivalents.txt holds one block per mutant:

    file: engine/SizeSearch.cpp
    line: if (a >= Hi_) a = RoundHalfEven(...);
    mutant: if (a > Hi_) a = RoundHalfEven(...);
    why: at a == Hi_ both branches give the same width

The line and the mutant are the first changed line as the generator shows
it (stripped of indentation). A statement dropped over several lines has
the whole statement on its line, and "{}" as its mutant.
"""
import os

TABLE = os.path.join("tests", "mutation-equivalents.txt")


def load(root):
    """{(file, line, mutant): reason}, and the list of entries in order."""
    path = os.path.join(root, TABLE)
    entries = []
    if not os.path.exists(path):
        return {}, entries
    block = {}
    with open(path, encoding="utf-8") as f:
        for number, row in enumerate(f, 1):
            row = row.rstrip("\n")
            if not row.strip() or row.startswith("#"):
                continue
            key, _, value = row.partition(": ")
            if key not in ("file", "line", "mutant", "why"):
                if entries or block:
                    # A reason may go on over several lines.
                    target = block if block else entries[-1]
                    target["why"] = target.get("why", "") + " " + row.strip()
                    continue
                raise SystemExit("%s:%d: expected file:, line:, mutant: or why:" % (TABLE, number))
            if key == "file" and block:
                entries.append(block)
                block = {}
            block[key] = value.strip()
            block.setdefault("at", number)
    if block:
        entries.append(block)
    table = {}
    for entry in entries:
        missing = {"file", "line", "mutant", "why"} - set(entry)
        if missing:
            raise SystemExit("%s:%d: the entry lacks %s" % (TABLE, entry["at"], ", ".join(sorted(missing))))
        table[(entry["file"], " ".join(entry["line"].split()), " ".join(entry["mutant"].split()))] = entry["why"]
    return table, entries


def lookup(table, mutant):
    return table.get((mutant.path, " ".join(mutant.before.split()), " ".join(mutant.after.split())))


def stale(root, entries, files):
    """Entries for the files given whose line no longer stands in the file."""
    gone = []
    for entry in entries:
        if entry["file"] not in files:
            continue
        full = os.path.join(root, entry["file"])
        text = ""
        if os.path.exists(full):
            with open(full, encoding="utf-8", errors="replace") as f:
                text = " ".join(f.read().split())
        if " ".join(entry["line"].split()) not in text:
            gone.append(entry)
    return gone
