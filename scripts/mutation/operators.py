"""The mistakes the generator makes, found in a C++ source text.

Each kind of mistake is a function over the file's text that yields mutants:
a span of the text and what replaces it. Comments, string and character
literals, preprocessor lines and debug output are blanked out first, so no
mistake is made inside them.
"""
import re
from dataclasses import dataclass, field

BLANK = "\x00"


@dataclass
class Mutant:
    path: str          # relative to the repository
    line: int          # 1-based line of the first changed character
    start: int         # offset of the replaced span in the file's text
    old: str           # the span as it stands
    new: str           # what replaces it
    kind: str          # the operator, e.g. "relation"
    before: str = ""   # the first changed line as it stands (stripped)
    after: str = ""    # the same line with the mistake (stripped)
    tests: list = field(default_factory=list)   # hand-written entries: [(binary, filter)]
    what: str = ""     # hand-written entries: what the mistake is
    number: int = 0    # hand-written entries: their number in the table

    def apply(self, text):
        return text[: self.start] + self.new + text[self.start + len(self.old):]

    def key(self):
        """Identity that survives edits elsewhere in the file."""
        return (self.path, self.kind, self.before, self.after)

    def change(self):
        if self.what:
            return self.what
        return "`%s` → `%s`" % (short(self.before), short(self.after))


def short(text, limit=90):
    text = " ".join(text.split())
    return text if len(text) <= limit else text[: limit - 1] + "…"


# ---------------------------------------------------------------- blanking

DEBUG_OUTPUT = re.compile(r"\b(std::cerr|std::clog|qDebug|qInfo|qWarning|fprintf\s*\(\s*stderr)\b")


def code_only(text):
    """The text with everything that is not code replaced by BLANK (same
    length, newlines kept): comments, literals, preprocessor lines."""
    out = list(text)
    n = len(text)
    i = 0
    line_start = True

    def blank(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = BLANK

    while i < n:
        c = text[i]
        if c == "\n":
            line_start = True
            i += 1
            continue
        if line_start and c in " \t":
            i += 1
            continue
        if line_start and c == "#":
            j = i
            while j < n and (text[j] != "\n" or text[j - 1] == "\\"):
                j += 1
            blank(i, j)
            i = j
            continue
        line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
            i = j
            continue
        if text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
            i = j
            continue
        raw = re.match(r'(?:u8|u|U|L)?R"([^()\\ ]{0,16})\(', text[i:i + 24])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            end = text.find(")" + raw.group(1) + '"', i + raw.end())
            j = n if end < 0 else end + len(raw.group(1)) + 2
            blank(i, j)
            i = j
            continue
        if c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            blank(i, min(j + 1, n))
            i = j + 1
            continue
        i += 1
    code = "".join(out)
    # Debug output is text for a developer, not behaviour: leave it alone.
    lines = code.split("\n")
    for k, line in enumerate(lines):
        if DEBUG_OUTPUT.search(line):
            lines[k] = "".join(ch if ch == " " else BLANK for ch in line)
    return "\n".join(lines)


def line_starts(text):
    starts = [0]
    for m in re.finditer("\n", text):
        starts.append(m.end())
    return starts


def matching(code, open_at):
    """Offset of the bracket that closes the one at open_at, or -1."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    stack = []
    for k in range(open_at, len(code)):
        ch = code[k]
        if ch in pairs:
            stack.append(pairs[ch])
        elif ch in ")]}":
            if not stack or stack.pop() != ch:
                return -1
            if not stack:
                return k
    return -1


# ---------------------------------------------------------------- operators

RELATIONS = {"<=": "<", ">=": ">", "==": "!=", "!=": "==", "<": "<=", ">": ">="}


def relations(code):
    for m in re.finditer(r"(?<![<>=!+\-*/%^&|])(<=|>=|==|!=)(?![=>])", code):
        if code[max(0, m.start() - 8): m.start()].rstrip().endswith("operator"):
            continue
        yield m.start(), m.group(1), RELATIONS[m.group(1)]
    # A lone < or > is a comparison only with a space on either side: the
    # formatter writes template brackets and shifts without them.
    for m in re.finditer(r"(?<= )([<>])(?= )", code):
        yield m.start(), m.group(1), RELATIONS[m.group(1)]


def logic(code):
    for m in re.finditer(r"(?<= )(&&|\|\|)(?= )", code):
        yield m.start(), m.group(1), "||" if m.group(1) == "&&" else "&&"


INTEGER = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|\d+)([uUlLzZ]*)(?![\w.'])")


def format_like(literal, value):
    if literal[:2] in ("0x", "0X"):
        digits = "%X" % value if any(ch.isupper() for ch in literal[2:]) else "%x" % value
        return literal[:2] + digits.rjust(len(literal) - 2, "0")
    return str(value)


def constants(code):
    for m in INTEGER.finditer(code):
        line_begin = code.rfind("\n", 0, m.start()) + 1
        line = code[line_begin: code.find("\n", m.start()) if "\n" in code[m.start():] else len(code)]
        if re.search(r"\b(static_assert|alignas|__attribute__)\b", line):
            continue
        literal, suffix = m.group(1), m.group(2)
        if len(literal) > 1 and literal[0] == "0" and literal[1] not in "xX":
            continue  # octal: too rare to be worth the confusion
        value = int(literal, 0)
        yield m.start(), literal + suffix, format_like(literal, value + 1) + suffix
        if value > 0:
            yield m.start(), literal + suffix, format_like(literal, value - 1) + suffix


def negations(code):
    for m in re.finditer(r"\b(if|while)\s*\(", code):
        if re.match(r"\s*constexpr\b", code[m.end():]):
            continue
        open_at = m.end() - 1
        close_at = matching(code, open_at)
        if close_at < 0:
            continue
        inner = code[open_at + 1: close_at]
        if ";" in inner or not inner.strip():
            continue  # an if with an initialiser: left alone
        old = code[open_at: close_at + 1]
        yield open_at, old, "(!" + old + ")"


def min_max(code):
    for m in re.finditer(r"\bstd::(min|max)\b", code):
        yield m.start(), m.group(0), "std::max" if m.group(1) == "min" else "std::min"


NOT_STATEMENTS = re.compile(
    r"(return\b(?!\s*;)|if\b|for\b|while\b|switch\b|case\b|default\b|goto\b|using\b|typedef\b|namespace\b|template\b|"
    r"static_assert\b|public\b|private\b|protected\b|friend\b|extern\b|class\b|struct\b|"
    r"enum\b|union\b|const\b|constexpr\b|static\b|inline\b|thread_local\b|volatile\b|mutable\b|"
    r"auto\b|unsigned\b|signed\b|explicit\b|virtual\b|else\b|do\b|try\b|Q_OBJECT\b|signals\b|"
    r"slots\b|[A-Z_]+\s*\()")
DECLARATION = re.compile(
    r"[A-Za-z_][\w:]*(\s*<[^;=(]*>)?((\s*(\*|&&|&|\bconst\b|\bvolatile\b))+\s*|\s+)[A-Za-z_]\w*\s*(=|\{|\(|;|\[|,)")
NOT_TYPES = {"delete", "throw", "co_return", "co_yield", "co_await", "emit", "return", "new"}


def statements(code, starts):
    """Whole statements that begin a line: dropped (an empty block stands in
    their place, so that a braceless if keeps a body)."""
    for row, begin in enumerate(starts):
        m = re.match(r"[ \t]*", code[begin:])
        at = begin + m.end()
        if at >= len(code) or code[at] in "\n{}" + BLANK or not (code[at].isalpha() or code[at] in "_:+-*(~"):
            continue
        rest = code[at:]
        if NOT_STATEMENTS.match(rest):
            continue
        before = code[:at].rstrip(" \t\n" + BLANK)
        if before and before[-1] not in ";{}):" and not before.endswith("else"):
            continue
        if code[at] == ":" and not rest.startswith("::"):
            continue  # the second half of a ?: or an initialiser list
        # Find the end: a ; at depth 0, within six lines.
        depth = 0
        end = -1
        for k in range(at, min(len(code), at + 600)):
            ch = code[k]
            if ch in "([{":
                depth += 1
            elif ch in ")]}":
                depth -= 1
                if depth < 0:
                    break
            elif ch == ";" and depth == 0:
                end = k
                break
        if end < 0 or code.count("\n", at, end) > 5:
            continue
        after = code[end + 1: code.find("\n", end) if "\n" in code[end:] else len(code)]
        if after.strip(" \t" + BLANK):
            continue  # more code follows on the line
        text = " ".join(code[at:end + 1].split())
        head = re.match(r"[A-Za-z_]\w*", text)
        if DECLARATION.match(text) and not (head and head.group(0) in NOT_TYPES):
            continue
        if "{" in code[at:end] and "[" in code[at:end]:
            continue  # a lambda handed somewhere: usually a declaration's
        yield at, code[at:end + 1], "{}"


FUNCTION_HEAD = re.compile(r"\)\s*(const\s*)?(noexcept\s*)?(override\s*)?(final\s*)?(->\s*([\w:<>]+)\s*)?$")
CONTROL_HEAD = re.compile(r"\b(if|for|while|switch|catch)\s*\(.*\)\s*$|\b(else|do|try)\s*$", re.S)


def enclosing_function_returns_bool(code, at):
    """Whether the innermost function around offset at returns bool."""
    depth = 0
    k = at
    while k > 0:
        k -= 1
        ch = code[k]
        if ch == "}":
            depth += 1
        elif ch == "{":
            if depth > 0:
                depth -= 1
                continue
            head_begin = max(code.rfind(";", 0, k), code.rfind("}", 0, k), code.rfind("{", 0, k)) + 1
            head = " ".join(code[head_begin:k].replace(BLANK, " ").split())
            if CONTROL_HEAD.search(head) or not head:
                continue
            tail = FUNCTION_HEAD.search(head)
            if not tail:
                if re.search(r"(=|\(|,|return)\s*$", head) or re.search(r"\b(namespace|class|struct|enum)\b", head):
                    return False if re.search(r"\b(namespace|class|struct)\b", head) else None
                continue
            if tail.group(6):
                return tail.group(6) == "bool"
            if re.search(r"\]\s*(\(.*\))?\s*(mutable\s*)?$", head[: tail.start() + 1] + ")"):
                return None  # a lambda without a stated type
            name_at = head.rfind("(", 0, head.rfind(")"))
            # The parameter list's opening bracket: the first ( at depth 0 from the end.
            depth_p = 0
            for q in range(len(head) - len(tail.group(0)), -1, -1):
                if head[q] == ")":
                    depth_p += 1
                elif head[q] == "(":
                    depth_p -= 1
                    if depth_p == 0:
                        name_at = q
                        break
            before_name = head[:name_at].rstrip()
            return bool(re.search(r"(^|[\s>])bool\s+[\w:~]+$", before_name))
    return False


def returns(code):
    for m in re.finditer(r"\breturn\b", code):
        end = code.find(";", m.end())
        if end < 0:
            continue
        value = code[m.end():end].strip()
        if not value or BLANK in value:
            continue
        if value in ("true", "false"):
            at = m.start() + code[m.start():end].index(value)
            yield at, value, "false" if value == "true" else "true"
            continue
        if code.count("(", m.end(), end) != code.count(")", m.end(), end):
            continue
        if enclosing_function_returns_bool(code, m.start()):
            at = m.end() + len(code[m.end():end]) - len(code[m.end():end].lstrip())
            yield at, code[at:end], "!(" + code[at:end] + ")"


OPERATORS = [
    ("relation", relations),
    ("logic", logic),
    ("constant", constants),
    ("negation", negations),
    ("statement", None),
    ("return", returns),
    ("min/max", min_max),
]


def mutants_of(path, text, lines=None):
    """Every mutant of the file's text whose first changed line is in lines
    (a set of 1-based numbers; None: every line)."""
    code = code_only(text)
    starts = line_starts(text)
    source_lines = text.split("\n")

    def row_of(offset):
        lo, hi = 0, len(starts) - 1
        while lo < hi:
            mid = (lo + hi + 1) // 2
            if starts[mid] <= offset:
                lo = mid
            else:
                hi = mid - 1
        return lo + 1

    found = []
    seen = set()
    for kind, operator in OPERATORS:
        spans = statements(code, starts) if kind == "statement" else operator(code)
        for start, old, new in spans:
            old = text[start:start + len(old)]
            if kind == "statement":
                new = "{}"
            row = row_of(start)
            if lines is not None and row not in lines:
                continue
            mutated = text[:start] + new + text[start + len(old):]
            digest = hash(mutated)
            if digest in seen:
                continue
            seen.add(digest)
            before = source_lines[row - 1].strip()
            after_lines = mutated[starts[row - 1]:].split("\n")
            after = after_lines[0].strip()
            if kind == "statement" and "\n" in old:
                before = " ".join(old.split())
                after = "{}"
            found.append(Mutant(path, row, start, old, new, kind, before, after))
    found.sort(key=lambda mu: (mu.line, mu.start, mu.kind))
    # The same line may stand twice in a file: number the repeats.
    count = {}
    for mu in found:
        k = mu.key()
        count[k] = count.get(k, 0) + 1
        if count[k] > 1:
            mu.after += "  #%d" % count[k]
    return found


def spread(mutants, limit):
    """At most limit mutants, spread over the lines: each line's first
    mutant before any line's second."""
    if limit is None or len(mutants) <= limit:
        return list(mutants)
    by_line = {}
    for mu in mutants:
        by_line.setdefault((mu.path, mu.line), []).append(mu)
    rounds = []
    depth = 0
    while len(rounds) < limit:
        added = False
        for key in sorted(by_line):
            if depth < len(by_line[key]):
                rounds.append(by_line[key][depth])
                added = True
        if not added:
            break
        depth += 1
    chosen = rounds[:limit]
    chosen.sort(key=lambda mu: (mu.path, mu.line, mu.start))
    return chosen
