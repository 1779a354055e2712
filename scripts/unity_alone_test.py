#!/usr/bin/env python3
"""The unity build's choice of units compiled alone, on small units that
meet in a batch the ways test units do: each case names the units the check
must set apart, and the units it leaves together must compile as one batch
and compute what they compute apart.

Run: python3 scripts/unity_alone_test.py
"""
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import unity_alone  # noqa: E402

SIGNS = """#pragma once
inline int Sign(int value) { return value < 0 ? -1 : 1; }
inline int Sign(double value) { return value < 0 ? -1 : 1; }
"""
SUPPORT = """#pragma once
namespace rows_support {
inline int Open(int mode = 2) { return 20 + mode; }
inline int Count() { return 3; }
struct Shelf {
  int Size() const { return 8; }
};
}  // namespace rows_support
"""
# A helper beside the support namespace's, as a unit's own.
OPEN_ONE = "namespace {\nint Open(int mode = 1) { return 10 + mode; }\n}  // namespace\n"

# (what the units do, [(unit, text)], units compiled alone)
CASES = [
    ("two units define helpers of the same name",
     [("a", "namespace {\nint Tool() { return 1; }\n}\nint unit_a() { return Tool(); }\n"),
      ("b", "namespace {\nint Tool() { return 2; }\n}\nint unit_b() { return Tool(); }\n")],
     ["b"]),
    ("a later unit calls a support helper that an earlier unit's own helper would hide",
     [("a", OPEN_ONE + "int unit_a() { return Open(); }\n"),
      ("b", '#include "rows_support.h"\nnamespace {\nusing namespace rows_support;\n}\n'
            "int unit_b() { return Open(); }\n")],
     ["b"]),
    ("a using-directive would show its namespace to a unit that calls its own",
     [("a", '#include "rows_support.h"\nnamespace {\nusing namespace rows_support;\n}\n'
            "int unit_a() { return Count(); }\n"),
      ("b", "int Open(int mode);\nint unit_b() { return Open(5); }\nint Open(int mode) { return mode; }\n")],
     ["b"]),
    ("a macro of one unit would rewrite a name in the next",
     [("a", "#define LIMIT 7\nint unit_a() { return LIMIT; }\n"),
      ("b", "namespace {\nconst int LIMIT_B = 4;\n}\nint unit_b() { int LIMIT = 3; return LIMIT + LIMIT_B; }\n")],
     ["b"]),
    ("an alias of the same name in two units",
     [("a", "namespace {\nusing Rows = int;\n}\nint unit_a() { Rows r = 1; return r; }\n"),
      ("b", "namespace {\nusing Rows = long;\n}\nint unit_b() { Rows r = 2; return int(r); }\n")],
     ["b"]),
    ("units sharing a using-declaration of one helper stay together",
     [("a", '#include "rows_support.h"\nnamespace {\nusing rows_support::Count;\n}\n'
            "int unit_a() { return Count(); }\n"),
      ("b", '#include "rows_support.h"\nnamespace {\nusing rows_support::Count;\n}\n'
            "int unit_b() { return Count() + 1; }\n")],
     []),
    ("qualified names, members and members defined outside their class stay together",
     [("a", "namespace {\nint Size() { return 4; }\nstruct Box { int Width(); };\n}\n"
            "int Box::Width() { return 6; }\nint unit_a() { return Size() + Box().Width(); }\n"),
      ("b", '#include "rows_support.h"\nint unit_b() { rows_support::Shelf s; return s.Size(); }\n'),
      ("c", '#include "rows_support.h"\nint unit_c() { auto* s = new rows_support::Shelf; '
            "int n = s->Size(); delete s; return n; }\n")],
     []),
    ("a unit set apart does not set apart the units after it",
     [("a", "namespace {\nint Tool() { return 1; }\n}\nint unit_a() { return Tool(); }\n"),
      ("b", "namespace {\nint Tool() { return 2; }\nint Extra() { return 9; }\n}\n"
            "int unit_b() { return Tool() + Extra(); }\n"),
      ("c", "namespace {\nint Extra() { return 5; }\n}\nint unit_c() { return Extra(); }\n")],
     ["b"]),
    ("a header of an earlier unit declares overloads of a later unit's own helper",
     [("a", '#include "signs.h"\nint unit_a() { return Sign(-2); }\n'),
      ("b", "namespace {\nint Sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }\n}\n"
            "int unit_b() { return Sign(0.0); }\n")],
     ["b"]),
    ("units that include the same header stay together",
     [("a", '#include "signs.h"\nint unit_a() { return Sign(-2); }\n'),
      ("b", '#include "signs.h"\nint unit_b() { return Sign(2.5); }\n')],
     []),
    ("names in comments and texts are not uses",
     [("a", "namespace {\nint Tool() { return 1; }\n}\nint unit_a() { return Tool(); }\n"),
      ("b", '// Tool() is the other unit\'s\nconst char* unit_b_text() { return "Tool"; }\n'
            "int unit_b() { return 2; }\n")],
     []),
]


def build(tmp, name, sources):
    exe = os.path.join(tmp, name)
    cmd = ["c++", "-std=c++20", "-Werror", "-Wall", "-I", tmp, "-o", exe] + sources
    result = subprocess.run(cmd, capture_output=True, text=True)
    return exe if result.returncode == 0 else None, result.stderr


class UnityAlone(unittest.TestCase):
    def test_cases(self):
        for what, units, expected in CASES:
            with self.subTest(what), tempfile.TemporaryDirectory(prefix="kiv7-unity-") as tmp:
                for header, text in (("rows_support.h", SUPPORT), ("signs.h", SIGNS)):
                    with open(os.path.join(tmp, header), "w") as f:
                        f.write(text)
                paths = []
                for name, text in units:
                    paths.append(os.path.join(tmp, name + ".cpp"))
                    with open(paths[-1], "w") as f:
                        f.write(text)
                main = os.path.join(tmp, "main.cpp")
                with open(main, "w") as f:
                    f.write("#include <cstdio>\n")
                    f.write("".join("int unit_%s();\n" % n for n, _ in units))
                    f.write("int main() {\n")
                    f.write("".join('  std::printf("%%d\\n", unit_%s());\n' % n for n, _ in units))
                    f.write("}\n")

                alone = unity_alone.alone(paths)
                self.assertEqual([os.path.basename(p)[:-4] for p in alone], expected)

                apart, errors = build(tmp, "apart", paths + [main])
                self.assertTrue(apart, errors)
                batch = os.path.join(tmp, "batch.cpp")
                with open(batch, "w") as f:
                    f.write("".join('#include "%s"\n' % p for p in paths if p not in alone))
                together, errors = build(tmp, "together", [batch] + alone + [main])
                self.assertTrue(together, errors)
                self.assertEqual(subprocess.run([together], capture_output=True, text=True).stdout,
                                 subprocess.run([apart], capture_output=True, text=True).stdout)


if __name__ == "__main__":
    unittest.main()
