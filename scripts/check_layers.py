#!/usr/bin/env python3
"""Fails on an include against the layers of cmake/layers.cmake.

Every unit of a library may include the headers of its own library and of
the libraries it stands on (the ON lists, followed down); Qt headers only
where its row names Qt modules. A test folder tests/<folder> may include what
the libraries it links in tests/CMakeLists.txt may include, and a fuzz target
what its "// fuzz-deps:" line links. The table is read as text, so the build
and this check cannot drift apart.

Usage: check_layers.py [ROOT]   (ROOT defaults to the project root)
"""
import os
import re
import sys

HEADER_EXT = (".h", ".hpp")
SOURCE_EXT = (".cpp", ".h", ".hpp", ".cc")
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include\s*([<"])([^>"]+)[>"]', re.M)
# Qt's own headers: classes (<QWidget>), umbrella modules (<QtWidgets>),
# module paths (<QtCore/qglobal.h>), the lower-case file names (<qwidget.h>)
# and the platform plugins' (<qpa/...>). <quadmath.h> is GCC's, not Qt's.
QT_HEADER = re.compile(r"^(Q[A-Z]\w*|Qt[A-Z]\w*(/.*)?|(?!quadmath\.h$)q\w+\.h|qpa/.*)$")


def strip_comments(text):
    return "\n".join(line.split("#", 1)[0] for line in text.splitlines())


def read_table(root):
    """The rows of cmake/layers.cmake: name -> {folder, units, on, qt}."""
    with open(os.path.join(root, "cmake", "layers.cmake"), encoding="utf-8") as f:
        text = strip_comments(f.read())
    layers = {}
    for call in re.finditer(r"\bkiv7_layer\s*\(([^)]*)\)", text):
        words = call.group(1).split()
        row = {"folder": None, "units": [], "on": [], "qt": []}
        key = None
        for word in words[1:]:
            if word in ("FOLDER", "UNITS", "ON", "QT"):
                key = word.lower()
            elif key == "folder":
                row["folder"] = word
            elif key:
                row[key].append(word)
            else:
                sys.exit(f"cmake/layers.cmake: {words[0]}: '{word}' outside FOLDER/UNITS/ON/QT")
        if not row["folder"]:
            sys.exit(f"cmake/layers.cmake: {words[0]} has no FOLDER")
        layers[words[0]] = row
    for name, row in layers.items():
        for dep in row["on"]:
            if dep not in layers:
                sys.exit(f"cmake/layers.cmake: {name} stands on {dep}, which has no row")
    return layers


def closure(layers, names):
    """The libraries named and everything they stand on."""
    seen, todo = set(), [n for n in names if n in layers]
    while todo:
        name = todo.pop()
        if name not in seen:
            seen.add(name)
            todo.extend(layers[name]["on"])
    return seen


def owner(layers, path):
    """The library a project file belongs to, or None outside the libraries."""
    folder, base = os.path.split(path)
    unit = os.path.splitext(base)[0]
    rows = [n for n, r in layers.items() if r["folder"] == folder]
    for name in rows:
        if unit in layers[name]["units"]:
            return name
    rest = [n for n in rows if not layers[n]["units"]]
    return rest[0] if rest else None


def test_links(root, layers):
    """tests/<folder> -> the libraries its test program links."""
    path = os.path.join(root, "tests", "CMakeLists.txt")
    with open(path, encoding="utf-8") as f:
        text = strip_comments(f.read())
    links = {}
    for call in re.finditer(r"\bkiv7_folder_tests\s*\(([^)]*)\)", text):
        words = call.group(1).split()
        if len(words) >= 2 and not words[0].startswith("$"):
            links["tests/" + words[0]] = words[2:]
    return links


def harness_links(root, tree):
    """tools/<folder> or bench/<folder> -> what the programs of its
    CMakeLists.txt link: the libraries of the table and Qt modules."""
    links = {}
    base = os.path.join(root, tree)
    if not os.path.isdir(base):
        return links
    for folder in sorted(os.listdir(base)):
        path = os.path.join(base, folder, "CMakeLists.txt")
        if not os.path.isfile(path):
            continue
        with open(path, encoding="utf-8") as f:
            text = strip_comments(f.read())
        deps = []
        for call in re.finditer(r"\btarget_link_libraries\s*\(([^)]*)\)", text):
            deps += [w for w in call.group(1).split()[1:] if w.startswith(("kiv7_", "Qt6::")) and w not in deps]
        links[f"{tree}/{folder}"] = deps
    return links


def links_qt(deps):
    """Whether a program links Qt itself: the libraries link theirs privately,
    so standing on a library that uses Qt grants no Qt header."""
    return any(d.startswith("Qt6::") for d in deps)


class Unit:
    """One file and what it may include."""

    def __init__(self, path, libraries, qt, what):
        self.path = path
        self.libraries = libraries  # the libraries whose headers it may include
        self.qt = qt  # Qt headers allowed
        self.what = what  # how the file came by its allowance, for the message


def units(root, layers):
    folders = {r["folder"] for r in layers.values()}
    for folder in sorted(folders):
        for base in sorted(os.listdir(os.path.join(root, folder))):
            if not base.endswith(SOURCE_EXT):
                continue
            path = f"{folder}/{base}"
            name = owner(layers, path)
            allowed = closure(layers, [name])
            yield Unit(path, allowed, bool(layers[name]["qt"]), name)
    links = test_links(root, layers)
    for folder, deps in sorted(links.items()):
        if not os.path.isdir(os.path.join(root, folder)):
            continue
        allowed = closure(layers, deps)
        for base in sorted(os.listdir(os.path.join(root, folder))):
            if base.endswith(SOURCE_EXT):
                yield Unit(f"{folder}/{base}", allowed, links_qt(deps), f"{folder} linking {' '.join(deps)}")
    # The harnesses and benchmarks, folder by folder; their common/ folders
    # hold helpers that are checked where a program includes them.
    for tree in ("tools", "bench"):
        for folder, deps in harness_links(root, tree).items():
            allowed = closure(layers, deps)
            for base in sorted(os.listdir(os.path.join(root, folder))):
                if base.endswith(SOURCE_EXT):
                    yield Unit(f"{folder}/{base}", allowed, links_qt(deps), f"{folder} linking {' '.join(deps)}")
    fuzz = os.path.join(root, "tests", "fuzz")
    if os.path.isdir(fuzz):
        for base in sorted(os.listdir(fuzz)):
            if not base.endswith(".cpp"):
                continue
            with open(os.path.join(fuzz, base), encoding="utf-8") as f:
                m = re.search(r"^// fuzz-deps:(.*)$", f.read(), re.M)
            deps = ["kiv7_core"] + (m.group(1).split() if m else [])
            allowed = closure(layers, deps)
            yield Unit(f"tests/fuzz/{base}", allowed, links_qt(deps), f"fuzz target linking {' '.join(deps)}")


def shared_helper(name):
    """A header of tools/common or bench/common: programs of several folders
    include it, so it is held to the allowance of each program that does."""
    parts = name.split("/")
    return len(parts) == 3 and parts[0] in ("tools", "bench") and parts[1] == "common"


def check(root):
    layers = read_table(root)
    links = test_links(root, layers)
    faults = []
    for unit in units(root, layers):
        check_unit(root, layers, links, unit, unit.path, set(), faults)
    return faults


def check_unit(root, layers, links, unit, path, seen, faults):
    """The includes of path held to unit's allowance (path is the unit itself
    or a shared helper it includes)."""
    seen.add(path)
    via = "" if path == unit.path else f" (included by {unit.path})"
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        text = f.read()
    for m in INCLUDE.finditer(text):
        kind, name = m.group(1), m.group(2)
        line = text.count("\n", 0, m.start()) + 1
        where = f"{path}:{line}{via}: "
        if kind == "<":
            if QT_HEADER.match(name) and not unit.qt:
                faults.append(f"{where}<{name}> is Qt, and {unit.what} calls no Qt directly")
            continue
        beside = os.path.join(os.path.dirname(path), name)
        if os.path.exists(os.path.join(root, beside)):
            name = os.path.normpath(beside)  # found beside the including file first
        elif "/" not in name:
            faults.append(f'{where}"{name}": include project headers as "folder/unit.h"')
            continue
        if name.startswith("tests/"):
            if not unit.path.startswith("tests/"):
                faults.append(f'{where}"{name}": a library does not include tests')
                continue
            folder = os.path.dirname(name)
            if folder in links and not closure(layers, links[folder]) <= unit.libraries:
                faults.append(f'{where}"{name}" is a helper of {folder}, which links more than {unit.what}')
            continue
        if name.startswith(("tools/", "bench/")):
            if not unit.path.startswith(name.split("/")[0] + "/"):
                faults.append(f'{where}"{name}": only its own tree includes a harness or benchmark unit')
            elif shared_helper(name) and name not in seen and os.path.exists(os.path.join(root, name)):
                check_unit(root, layers, links, unit, name, seen, faults)
            continue
        target = owner(layers, name)
        if target is None:
            faults.append(f'{where}"{name}" belongs to no library of cmake/layers.cmake')
        elif target not in unit.libraries:
            stands_on = ", ".join(sorted(unit.libraries)) or "nothing"
            faults.append(f'{where}"{name}" is {target}, but {unit.what} sees only {stands_on}')


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    faults = check(root)
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print(f"{len(faults)} include(s) against the layers of cmake/layers.cmake", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
