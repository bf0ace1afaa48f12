#!/usr/bin/env python3
"""The include check fails on a planted wrong include and passes a sound tree.

Each case plants one file into a small tree with its own layer table and
runs check_includes.py on it.
"""

import os
import subprocess
import sys
import tempfile

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_includes.py")

TABLE = """# Architecture

## Who may use whom

| Directory | Library | May include |
|-----------|---------|-------------|
| record/   | zelvo_record | nothing |
| nmea/     | zelvo_nmea   | record/ |
| output/   | zelvo_output | record/ |
| engine/   | zelvo_engine | record/, nmea/, output/ |
| ui/       | zelvo_settings | engine/ and what it links |
| ui/ (window_*) | zelvo_window | ui/, engine/ and what it links, and Qt |
"""

SOUND = {
    "record/waypoints.h": "#pragma once\n#include <string>\n",
    "nmea/framer.h": '#include "record/waypoints.h"\n',
    "output/kml.h": '#include "record/waypoints.h"\n',
    "engine/run.cpp": '#include "nmea/framer.h"\n#include "../output/kml.h"\n#include "run.h"\n',
    "engine/run.h": "#pragma once\n",
    "ui/options.cpp": '#include "engine/run.h"\n#include "record/waypoints.h"\n',
    "ui/window_main.cpp": '#include <QWidget>\n#include "ui/options.h"\n#include "window_main.h"\n',
    "ui/options.h": "#pragma once\n",
    "ui/window_main.h": "#pragma once\n",
}

# (what is planted, where, whether the check must fail)
CASES = [
    ("nothing more", None, None, False),
    ("a lower layer reaches up", "record/bad.h", '#include "nmea/framer.h"\n', True),
    ("a sibling layer", "nmea/bad.cpp", '#include "output/kml.h"\n', True),
    ("a sibling layer by ../", "nmea/bad.cpp", '#include "../output/kml.h"\n', True),
    ("a spaced directive", "output/bad.h", '#  include "../nmea/framer.h"\n', True),
    ("the settings reach the window", "ui/bad.cpp", '#include "ui/window_main.h"\n', True),
    ("the settings reach the window beside them", "ui/bad.cpp", '#include "window_main.h"\n', True),
    ("Qt in the engine", "engine/bad.cpp", "#include <QString>\n", True),
    ("Qt in the settings", "ui/bad.cpp", "#include <QFile>\n", True),
    ("a file beside it", "nmea/other.cpp", '#include "framer.h"\n', False),
    ("the window reaches the settings", "ui/window_bad.cpp", '#include "options.h"\n', False),
]


def run(files):
    with tempfile.TemporaryDirectory(prefix="zelvo-layers-") as root:
        for rel, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(rel)), exist_ok=True)
            with open(os.path.join(root, rel), "w") as fh:
                fh.write(text)
        return subprocess.run([sys.executable, CHECKER, "--root", root], capture_output=True, text=True)


def main():
    failures = 0
    for legend, path, text, must_fail in CASES:
        files = dict(SOUND, **{"docs/architecture.md": TABLE})
        if path:
            files[path] = text
        result = run(files)
        failed = result.returncode != 0
        named = not must_fail or (path + ":1:") in result.stdout
        if failed != must_fail or not named:
            failures += 1
            print("WRONG: %s: exit %d\n%s" % (legend, result.returncode, result.stdout))
    print("%d cases, %d wrong" % (len(CASES), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
