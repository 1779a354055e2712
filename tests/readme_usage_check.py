#!/usr/bin/env python3
"""The README's harness table and the harnesses' own usage texts say the same.

Usage: readme_usage_check.py README.md TOOLS_DIR

Every harness of the table is run with --help (its usage goes to standard
output or standard error, whatever its exit status). Every option (--word) and
every command word of the usage must appear in the README's rows for that
harness, and every option and command the rows' first cells name must appear
in the usage. A harness whose usage changes needs only its README row changed.
"""
import re
import subprocess
import sys
from pathlib import Path

OPTION = re.compile(r"--[a-z][a-z0-9-]*")
WORD = re.compile(r"[a-z][a-z0-9-]*")


def table_rows(readme):
    """{harness: (first cells, whole rows)} of the README's harness table."""
    rows = {}
    for line in readme.splitlines():
        m = re.match(r"\|\s*`([a-z0-9_]+)/\1\b", line)
        if not m:
            continue
        cells = [c for c in re.split(r"(?<!\\)\|", line)[1:-1]]
        first, whole = rows.setdefault(m.group(1), ([], []))
        first.append(cells[0].replace("\\|", "|"))
        whole.append(line.replace("\\|", "|"))
    return rows


def usage_of(tools, harness, *command):
    """The usage text; a command the usage leaves as "COMMAND a|b ..." adds its own."""
    run = subprocess.run([str(Path(tools) / harness / harness), *command, "--help"], stdin=subprocess.DEVNULL,
                         capture_output=True, text=True, timeout=60,
                         env={"QT_QPA_PLATFORM": "offscreen", "PATH": "/usr/bin:/bin"})
    usage = run.stdout + run.stderr
    if not command:
        for sub in re.findall(r"^\s*(?:usage:\s*)?" + re.escape(harness) + r"\s+([a-z][a-z0-9-]*)\s+\S+\s+\.\.\.\s*$",
                              usage, re.M):
            usage += usage_of(tools, harness, sub)
    return usage


def usage_words(harness, usage):
    """The options and command words a usage text names."""
    # --help itself is what the check passes, echoed by a harness that takes none.
    options = set(OPTION.findall(usage)) - {"--help"}
    commands = set()
    in_commands = False
    for line in usage.splitlines():
        # "  dbftool info FILE", "usage: reptool expr TEXT": the word after the name.
        m = re.match(r"\s*(?:usage:\s*)?" + re.escape(harness) + r"\s+([a-z][a-z0-9-]*)", line)
        if m:
            commands.add(m.group(1))
        if in_commands and line.startswith("  "):
            # "  save-as PATH | click|shift-click ROW FIELD": each segment's first word(s).
            for segment in line.split(" | "):
                head = segment.split()[0] if segment.split() else ""
                commands.update(w for w in head.split("|") if WORD.fullmatch(w))
        if line.rstrip().endswith("one a line:"):
            in_commands = True
    return options, commands


def readme_words(harness, first_cells):
    """The options and command words the table's first cells name."""
    options, commands = set(), set()
    for cell in first_cells:
        options.update(OPTION.findall(cell))
        for span in re.findall(r"`([^`]*)`", cell):
            m = re.match(re.escape(harness) + "/" + re.escape(harness) + r"\s+([a-z][a-z0-9|-]*)", span)
            if m:
                commands.update(w for w in m.group(1).split("|") if WORD.fullmatch(w))
    return options, commands


def has_word(text, word):
    return re.search(r"(?<![A-Za-z0-9_-])" + re.escape(word) + r"(?![A-Za-z0-9_-])", text) is not None


def main():
    readme, tools = Path(sys.argv[1]).read_text(encoding="utf-8"), sys.argv[2]
    rows = table_rows(readme)
    faults = []
    if not rows:
        faults.append("the README has no harness table")
    for harness, (first, whole) in sorted(rows.items()):
        usage = usage_of(tools, harness)
        if "usage" not in usage:
            faults.append(f"{harness}: --help shows no usage: {usage!r}")
            continue
        u_options, u_commands = usage_words(harness, usage)
        r_options, r_commands = readme_words(harness, first)
        text = "\n".join(whole)
        for word in sorted(u_options | u_commands):
            if not has_word(text, word):
                faults.append(f"{harness}: the usage names {word}, the README's rows do not")
        for word in sorted(r_options - u_options):
            faults.append(f"{harness}: the README names {word}, the usage does not")
        for word in sorted(r_commands - u_commands - u_options):
            faults.append(f"{harness}: the README names the command {word}, the usage does not")
    for fault in faults:
        print(fault)
    print(f"{len(rows)} harnesses compared, {len(faults)} differences")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
