#!/usr/bin/env python3
"""Every #include keeps to the layer table of docs/architecture.md.

    python3 check_includes.py [--root DIR]

Reads the table under "## Who may use whom": a row names a directory (and,
in parentheses, the files of it that form a library of their own), its
library, and what it may include. Then looks at every #include "..." of the
C++ files in those directories, in each of its forms ("engine/x.h",
"../engine/x.h", "x.h" beside the file), and at every Qt header (<Q...>),
which only a library whose row names Qt may include. Prints each include that
breaks the table; exit status 1 when there is one, 0 otherwise.
"""

import argparse
import fnmatch
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SOURCES = (".h", ".hpp", ".cpp", ".cc")


class Library:
    def __init__(self, directory, name, files, may):
        self.directory = directory  # "ui"
        self.name = name            # "zelvo_window"
        self.files = files          # file-name patterns of its own; [] for the whole directory
        self.may = may              # cell text: what it may include

    def owns(self, path):
        d, base = path.split("/", 1) if "/" in path else ("", path)
        stem = os.path.splitext(base)[0]
        return d == self.directory and (not self.files or any(fnmatch.fnmatch(stem, f) for f in self.files))


def read_table(architecture):
    text = open(architecture, encoding="utf-8").read()
    section = text.split("## Who may use whom", 1)
    if len(section) < 2:
        raise SystemExit("%s: no section '## Who may use whom'" % architecture)
    libraries = []
    for line in section[1].splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 3 or not re.match(r"\w+/", cells[0]):
            continue
        directory = cells[0].split("/", 1)[0]
        own = re.search(r"\(([^)]*)\)", cells[0])
        files = [f.strip() for f in own.group(1).split(",")] if own else []
        for name in re.findall(r"zelvo_\w+", cells[1]):
            libraries.append(Library(directory, name, files, cells[2]))
    if not libraries:
        raise SystemExit("%s: the layer table has no rows" % architecture)
    return libraries


def library_of(path, libraries):
    # A row that names files wins over the row of the whole directory.
    for lib in sorted(libraries, key=lambda l: not l.files):
        if lib.owns(path):
            return lib
    return None


def allowed(source, target, libraries):
    """Whether library `source` may include a header of library `target`."""
    if source is target or source.name == target.name:
        return True
    may = source.may
    if target.files:  # a library inside a directory is named by its library name
        return target.name in may
    if target.directory + "/" in re.findall(r"\w+/", may):
        # "ui/" alone names the directory's library without a file list
        return True
    # "engine/ and what it links": the layers engine/ may include, too.
    for d in re.findall(r"(\w+)/ and what it links", may):
        for lib in libraries:
            if lib.directory == d and not lib.files and allowed(lib, target, libraries):
                return True
    return False


def check(root):
    libraries = read_table(os.path.join(root, "docs", "architecture.md"))
    directories = sorted({lib.directory for lib in libraries})
    headers = set()
    for d in directories:
        for dirpath, _, names in os.walk(os.path.join(root, d)):
            for n in names:
                headers.add(os.path.relpath(os.path.join(dirpath, n), root).replace(os.sep, "/"))
    problems = []
    for path in sorted(h for h in headers if h.endswith(SOURCES)):
        source = library_of(path, libraries)
        if source is None:
            continue
        text = open(os.path.join(root, path), encoding="utf-8", errors="replace").read()
        for match in INCLUDE.finditer(text):
            line = text.count("\n", 0, match.start()) + 1
            where = "%s:%d: #include %s%s%s" % (path, line, match.group(1), match.group(2),
                                                 ">" if match.group(1) == "<" else '"')
            if match.group(1) == "<":
                if re.match(r"Q[A-Z]\w*$", match.group(2)) and "Qt" not in source.may:
                    problems.append("%s: Qt outside the window (%s)" % (where, source.name))
                continue
            # As the compiler looks: beside the file first ("x.h",
            # "../engine/x.h"), then from an include root ("engine/x.h").
            beside = os.path.normpath(os.path.join(os.path.dirname(path), match.group(2))).replace(os.sep, "/")
            target_path = beside if beside in headers else os.path.normpath(match.group(2)).replace(os.sep, "/")
            target = library_of(target_path, libraries)
            if target is None:
                if target_path not in headers:
                    continue  # a generated or build-tree header (moc output)
                problems.append("%s: %s is in no layer of the table" % (where, target_path))
            elif not allowed(source, target, libraries):
                problems.append("%s: %s may not include %s" % (where, source.name, target.name))
    return problems


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", default=os.path.normpath(os.path.join(os.path.dirname(__file__), "..", "..")))
    args = ap.parse_args()
    problems = check(args.root)
    for p in problems:
        print(p)
    print("%d include(s) break the layer table" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
