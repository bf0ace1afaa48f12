#!/usr/bin/env python3
"""Many conversions of the real test logs at once, all into one folder.

Every run must exit 0 and leave a complete archive (the document and the six
icons, every CRC good), and nothing else may be left in the folder: no icon,
no temporary archive.

    parallel_conversions.py --exe build/zelvoconverter [--count 100]
"""
import argparse
import pathlib
import shutil
import subprocess
import sys
import tempfile
import zipfile

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--count", type=int, default=100)
    args = ap.parse_args()
    args.exe = str(pathlib.Path(args.exe).resolve())

    logs = sorted(p for p in DATA.iterdir() if p.suffix in (".log", ".nmea"))
    with tempfile.TemporaryDirectory(prefix="zelvo-parallel-") as tmp:
        folder = pathlib.Path(tmp)
        names = []
        for i in range(args.count):
            src = logs[i % len(logs)]
            name = f"{i:03d}-{src.name}"
            shutil.copyfile(src, folder / name)
            names.append(name)
        runs = [subprocess.Popen([args.exe, "-q", name], cwd=folder,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                for name in names]
        failures = []
        for name, run in zip(names, runs):
            out, _ = run.communicate()
            if run.returncode != 0:
                failures.append(f"{name}: exit {run.returncode}: {out.decode(errors='replace')}")
        for name in names:
            kmz = folder / (name + ".kmz")
            try:
                with zipfile.ZipFile(kmz) as z:
                    bad = z.testzip()
                    members = z.infolist()
                    if bad is not None:
                        failures.append(f"{kmz.name}: bad CRC in {bad}")
                    if len(members) != 7 or any(m.file_size == 0 for m in members):
                        failures.append(f"{kmz.name}: members {[(m.filename, m.file_size) for m in members]}")
            except (OSError, zipfile.BadZipFile) as e:
                failures.append(f"{kmz.name}: {e}")
        expected = set(names) | {n + ".kmz" for n in names}
        left = sorted(set(p.name for p in folder.iterdir()) - expected)
        if left:
            failures.append(f"left in the folder: {left}")
        for f in failures:
            print(f, file=sys.stderr)
        print(f"{args.count} conversions at once: {args.count - len(failures)} clean, {len(failures)} problems")
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
