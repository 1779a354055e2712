#!/usr/bin/env python3
"""Names the units of a target that a unity build must compile alone.

In a unity build the units of a batch share one translation unit, and with it
one anonymous namespace: a helper, type, constant, macro or using-declaration
one unit declares at file scope is seen by the units after it. Where a later
unit declares the same name the build fails; where it only uses the name, its
call may bind to the earlier unit's helper instead of the one it means, and
the test would run something else without a word. The same holds for what
the headers an earlier unit includes declare, and for a namespace its
using-directive opens. So a unit is compiled alone when it mentions a name an
earlier unit of the batches, or a project header only such a unit includes,
declares at file scope, or a name of a namespace an earlier unit opens and it
does not.

File-scope declarations are the lines that start in the first column (the
code does not indent namespace bodies); members, bodies and test cases are
indented or are TEST macros.

Usage: unity_alone.py UNIT...   prints the units to compile alone, one a line.
"""
import os
import re
import sys

IDENT = re.compile(r"[A-Za-z_]\w*")
COMMENT = re.compile(r"//.*?$|/\*.*?\*/", re.S | re.M)
STRING = re.compile(r'"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'')
SKIP = re.compile(r"^(#\s*(include|pragma|if|ifdef|ifndef|else|elif|endif|undef)\b|namespace\b|}|"
                  r"TEST\w*\s*\(|INSTANTIATE_\w+\s*\(|template\b|extern\s+\"C\"|static_assert\b|\)|$)")
KEYWORDS = {"const", "constexpr", "static", "inline", "unsigned", "signed", "int", "long", "short", "char",
            "bool", "void", "double", "float", "auto", "struct", "class", "enum", "union", "typename",
            "volatile", "mutable", "thread_local", "extern", "override", "final", "noexcept", "operator"}


# File-scope lines that declare by their first words, and what they declare:
# a name, the namespace a using-directive opens, or a using-declaration.
FORMS = [
    (re.compile(r"#\s*define\s+(\w+)"), "name"),
    (re.compile(r"using\s+namespace\s+([\w:]+)"), "opens"),
    (re.compile(r"using\s+(\w+)\s*="), "name"),
    (re.compile(r"using\s+(:*[\w:]*::(\w+))\s*;"), "using"),
    (re.compile(r"(?:enum\s+class|enum|struct|class|union)\s+(?:\[\[\w+\]\]\s*)?(\w+)"), "name"),
]


def declared_names(text):
    """What a unit declares at file scope: names, using-declarations (name,
    qualified name) and the namespaces its using-directives open."""
    names, usings, opened = set(), set(), set()
    for line in text.splitlines():
        if not line or line[0] in " \t":
            continue
        line = line.strip()
        if SKIP.match(line):
            continue
        for form, kind in FORMS:
            m = form.match(line)
            if m:
                if kind == "name":
                    names.add(m.group(1))
                elif kind == "opens":
                    opened.add(m.group(1))
                else:
                    usings.add((m.group(2), m.group(1).lstrip(":")))
                break
        else:
            # A function or variable: the last name before its parameters,
            # value or end; a member defined outside its class (X::Name)
            # declares none.
            head = re.split(r"[(={;\[]", line, maxsplit=1)[0]
            m = re.search(r"(::\s*)?([A-Za-z_]\w*)\s*$", head)
            if m and not m.group(1) and m.group(2) not in KEYWORDS:
                names.add(m.group(2))
    return names, usings, opened


def strip(text):
    return STRING.sub('""', COMMENT.sub(" ", text))


def unqualified(code):
    """The names a unit mentions that lookup could bind elsewhere: not
    qualified (ns::X) and not members reached through an object (a.X, p->X)."""
    return {m.group(1) for m in re.finditer(r"(?<![\w.:>])(?<!->)([A-Za-z_]\w*)", code)}


ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
_headers = {}


def included(path):
    """The project headers a file includes, and the headers they include."""
    if path in _headers:
        return _headers[path]
    _headers[path] = found = set()
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return found
    for name in re.findall(r'^[ \t]*#\s*include\s*"([^"]+)"', text, re.M):
        beside = os.path.join(os.path.dirname(path), name)
        header = os.path.normpath(beside if os.path.exists(beside) else os.path.join(ROOT, name))
        if os.path.exists(header) and header not in found:
            found.add(header)
            found |= included(header)
    return found


_declared = {}


def header_names(header):
    """The names a header declares at file scope, and the namespaces it opens."""
    if header not in _declared:
        with open(header, encoding="utf-8", errors="replace") as f:
            code = strip(f.read())
        names, usings, _ = declared_names(code)
        spaces = set(re.findall(r"^namespace\s+([\w:]+)\s*{", code, re.M))
        _declared[header] = (names | {n for n, _ in usings}, spaces)
    return _declared[header]


def alone(units):
    seen, seen_usings, opened, seen_headers, result = set(), set(), {}, set(), []
    for unit in units:
        with open(unit, encoding="utf-8", errors="replace") as f:
            code = strip(f.read())
        mentioned = unqualified(code)
        names, usings, opens = declared_names(code)
        headers = included(unit)
        hit = mentioned & seen
        hit |= {n for n, q in seen_usings if n in mentioned and (n, q) not in usings}
        for namespace, leaked in opened.items():
            if namespace not in opens and (leaked is None or mentioned & leaked):
                hit.add("namespace " + namespace)
        # What the headers of earlier units declare and this unit's do not.
        own = set().union(*(header_names(h)[0] for h in headers)) if headers else set()
        for header in seen_headers - headers:
            hit |= (header_names(header)[0] - own) & mentioned
        if hit:
            result.append(unit)
            continue
        seen |= names
        seen_usings |= usings
        seen_headers |= headers
        for namespace in opens:
            if not namespace.startswith("std"):
                leaked = [header_names(h)[0] for h in headers
                          if namespace.split("::")[-1] in header_names(h)[1]]
                opened.setdefault(namespace, set().union(*leaked) if leaked else None)
    return result


def main(argv):
    for unit in alone(argv[1:]):
        print(unit)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
