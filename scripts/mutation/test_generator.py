"""Tests of the mutation generator: which mistakes it makes where, and which
lines a change covers. Run by ctest (mutation_generator)."""
import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from mutation import changes, equivalents, operators  # noqa: E402


def made(source, kind=None, lines=None):
    text = textwrap.dedent(source)
    return [m for m in operators.mutants_of("x.cpp", text, lines) if kind is None or m.kind == kind]


def afters(source, kind=None):
    return [m.after for m in made(source, kind)]


class Blanking(unittest.TestCase):
    def test_comments_literals_and_preprocessor_lines_get_no_mistakes(self):
        source = """\
        #include <vector>
        #define LIMIT 5
        // if (a < b) return 1;
        /* x == 2 */
        const char* text = "a < b && c == 1";
        const char* raw = R"(x > 3)";
        char c = '<';
        std::cerr << (x < 3) << "\\n";
        """
        self.assertEqual(made(source), [])

    def test_a_digit_separator_is_no_character_literal(self):
        self.assertIn("if (x < 1'000 && y <= 2) f();", afters("if (x < 1'000 && y < 2) f();\n", "relation"))


class Operators(unittest.TestCase):
    def test_relations_swap_with_their_boundary_twin_and_equality_with_inequality(self):
        got = afters("if (a < b || c >= d || e == f || g != h) g();\n", "relation")
        self.assertEqual(sorted(got), sorted([
            "if (a <= b || c >= d || e == f || g != h) g();",
            "if (a < b || c > d || e == f || g != h) g();",
            "if (a < b || c >= d || e != f || g != h) g();",
            "if (a < b || c >= d || e == f || g == h) g();"]))

    def test_templates_shifts_arrows_and_operator_names_are_no_relations(self):
        source = """\
        std::vector<int> v = static_cast<std::vector<int>>(w);
        x = y << 2 >> 1;
        p->q = 3 <=> 4;
        bool operator==(const T&) const;
        """
        self.assertEqual(afters(source, "relation"), [])

    def test_and_and_or_swap_but_a_forwarding_reference_stays(self):
        self.assertEqual(afters("if (a && b) f(c || d);\nvoid g(T&& t);\n", "logic"),
                         ["if (a || b) f(c || d);", "if (a && b) f(c && d);"])

    def test_integers_move_by_one_either_way_and_floats_and_names_stay(self):
        got = afters("x = 7 + 0x1F + 0 + y2 + 1.5 + 2e3 + 3u;\n", "constant")
        self.assertEqual(got, ["x = 8 + 0x1F + 0 + y2 + 1.5 + 2e3 + 3u;", "x = 6 + 0x1F + 0 + y2 + 1.5 + 2e3 + 3u;",
                               "x = 7 + 0x20 + 0 + y2 + 1.5 + 2e3 + 3u;", "x = 7 + 0x1E + 0 + y2 + 1.5 + 2e3 + 3u;",
                               "x = 7 + 0x1F + 1 + y2 + 1.5 + 2e3 + 3u;", "x = 7 + 0x1F + 0 + y2 + 1.5 + 2e3 + 4u;",
                               "x = 7 + 0x1F + 0 + y2 + 1.5 + 2e3 + 2u;"])

    def test_conditions_are_negated_whole_also_over_several_lines(self):
        got = made("if (a < b &&\n    c) {\n  f();\n}\nwhile (go()) g();\nif (int k = h(); k) f();\n",
                   "negation")
        self.assertEqual([m.new for m in got], ["(!(a < b &&\n    c))", "(!(go()))"])
        self.assertEqual(got[0].line, 1)

    def test_statements_are_dropped_but_declarations_and_returns_of_values_are_not(self):
        source = """\
        void F(int a) {
          int b = a;
          std::string s;
          T* p = nullptr;
          Call(a);
          b += 2;
          if (a) Other(b);
          if (b)
            Third(a,
                  b);
          return;
        }
        int G() { return 3; }
        """
        self.assertEqual([" ".join(m.before.split()) for m in made(source, "statement")],
                         ["Call(a);", "b += 2;", "Third(a, b);", "return;"])
        braceless = [m for m in made(source, "statement") if m.before.startswith("Third")][0]
        self.assertEqual(braceless.new, "{}")

    def test_bool_functions_return_the_opposite_others_keep_their_value(self):
        source = """\
        bool Fits(int a) { return a < 3; }
        static bool Empty(const T& t) {
          if (t.x) {
            return t.y == 0;
          }
          return false;
        }
        int Count(int a) { return a + 1; }
        auto lambda = [](int a) -> bool { return a > 1; };
        """
        self.assertEqual(afters(source, "return"), [
            "bool Fits(int a) { return !(a < 3); }",
            "return !(t.y == 0);",
            "return true;",
            "auto lambda = [](int a) -> bool { return !(a > 1); };"])

    def test_min_and_max_swap(self):
        self.assertEqual(afters("x = std::min(a, std::max<int>(b, c));\n", "min/max"),
                         ["x = std::max(a, std::max<int>(b, c));", "x = std::min(a, std::min<int>(b, c));"])

    def test_only_the_lines_asked_for_get_mistakes(self):
        source = "a = 1;\nb = 2;\nc = 3;\n"
        self.assertEqual({m.line for m in made(source, lines={2})}, {2})

    def test_a_cap_gives_every_line_its_first_mistake_before_any_its_second(self):
        mutants = made("if (a < 1) f();\nif (b < 2) g();\nif (c < 3) h();\n")
        chosen = operators.spread(mutants, 3)
        self.assertEqual(sorted(m.line for m in chosen), [1, 2, 3])
        self.assertEqual(len(operators.spread(mutants, 1000)), len(mutants))

    def test_a_line_that_stands_twice_gives_mutants_told_apart(self):
        keys = [m.key() for m in made("x = 1;\nx = 1;\n", "constant")]
        self.assertEqual(len(keys), len(set(keys)))


def git(folder, *args):
    subprocess.run(["git", "-C", folder, *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


class ChangedLines(unittest.TestCase):
    def test_lines_changed_since_the_branch_left_its_base_count_and_uncommitted_and_new_files_too(self):
        with tempfile.TemporaryDirectory() as folder:
            git(folder, "init", "-q", "-b", "main")
            git(folder, "config", "user.email", "t@example.org")
            git(folder, "config", "user.name", "t")
            os.makedirs(os.path.join(folder, "engine"))
            os.makedirs(os.path.join(folder, "tests"))

            def write(path, text):
                with open(os.path.join(folder, path), "w") as f:
                    f.write(text)

            write("engine/A.cpp", "a\nb\nc\n")
            git(folder, "add", ".")
            git(folder, "commit", "-q", "-m", "one")
            git(folder, "checkout", "-q", "-b", "work")
            write("engine/A.cpp", "a\nB\nc\n")
            git(folder, "commit", "-q", "-am", "two")
            git(folder, "checkout", "-q", "main")
            write("engine/A.cpp", "a\nb\nc\nd\n")   # main moves on; not this branch's change
            git(folder, "commit", "-q", "-am", "three")
            git(folder, "checkout", "-q", "work")
            write("engine/A.cpp", "a\nB\nC\n")     # uncommitted
            write("engine/New.h", "x\ny\n")         # new, not yet added
            write("tests/T.cpp", "t\n")             # tests are not mutated
            self.assertEqual(changes.changed_lines(folder, "main"),
                             {"engine/A.cpp": {2, 3}, "engine/New.h": {1, 2, 3}})


class EquivalentsTable(unittest.TestCase):
    def test_an_entry_matches_its_mutant_and_a_gone_line_is_reported(self):
        with tempfile.TemporaryDirectory() as folder:
            os.makedirs(os.path.join(folder, "tests"))
            os.makedirs(os.path.join(folder, "engine"))
            with open(os.path.join(folder, "engine", "A.cpp"), "w") as f:
                f.write("if (a < b) f();\n")
            with open(os.path.join(folder, equivalents.TABLE), "w") as f:
                f.write("# comment\nfile: engine/A.cpp\nline: if (a < b) f();\nmutant: if (a <= b) f();\n"
                        "why: a never equals b\n  here\n\nfile: engine/A.cpp\nline: gone();\nmutant: {}\n"
                        "why: old\n")
            table, entries = equivalents.load(folder)
            mutant = made("if (a < b) f();\n", "relation")[0]
            mutant.path = "engine/A.cpp"
            self.assertEqual(equivalents.lookup(table, mutant), "a never equals b here")
            self.assertEqual([e["line"] for e in equivalents.stale(folder, entries, {"engine/A.cpp"})],
                             ["gone();"])


if __name__ == "__main__":
    unittest.main()
