#!/usr/bin/env python3
"""Every document the program makes validates against the OGC KML 2.2 schema.

    python3 kml_schema_check.py --exe PATH [--schema XSD] [--shared DIR] [--xmllint PATH]

Converts every log of tests/data and tests/solution/data, of
DIR/testdata/real when it is there (NMEA, and the solution files also with --data, --timeline, --split-gap and
--placemark-interval) and examples/sample.tolv (binary), once with the
built-in settings and once with a settings file that turns on the all-epochs
track and extrusion together with the fix-status strip and the standing
receiver's scatter, likewise all these logs merged into one document both
ways, and checks each document with xmllint against the schema
copied into the project (schema/kml22/ogckml22.xsd), offline. Exit status 0
when all validate, 1 otherwise, also when the schema or xmllint is not there.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.normpath(os.path.join(HERE, "..", ".."))
SCHEMA = os.path.join(HERE, "kml22", "ogckml22.xsd")

EVERYTHING_ON = "[Settings]\r\nCheckBox2=1\r\nCheckBox3=1\r\n"


def logs_in(directory):
    if not os.path.isdir(directory):
        return []
    names = sorted(n for n in os.listdir(directory) if not n.endswith(".md"))
    return [os.path.join(directory, n) for n in names if os.path.isfile(os.path.join(directory, n))]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--schema", default=SCHEMA)
    ap.add_argument("--shared", default=None, help="also convert DIR/testdata/real when it is there")
    ap.add_argument("--xmllint", default=shutil.which("xmllint"))
    args = ap.parse_args()
    schema = args.schema
    if not os.path.isfile(schema):
        print("FAILED: no KML schema at %s" % schema)
        return 1
    if not args.xmllint:
        print("FAILED: xmllint is not installed (package libxml2-utils)")
        return 1

    inputs = [(p, "nmea") for p in logs_in(os.path.join(REPO, "tests", "data"))]
    inputs += [(p, "pos") for p in logs_in(os.path.join(HERE, "..", "solution", "data"))]
    if args.shared:
        inputs += [(p, "pos" if p.endswith(".pos") else "nmea")
                   for p in logs_in(os.path.join(args.shared, "testdata", "real"))]
    inputs.append((os.path.join(REPO, "examples", "sample.tolv"), "tolv"))

    work = tempfile.mkdtemp(prefix="zelvo-schema-")
    try:
        ini = os.path.join(work, "everything-on.ini")
        with open(ini, "w", newline="") as fh:
            fh.write(EVERYTHING_ON)
        documents = []
        failures = 0
        for i, (log, form) in enumerate(inputs):
            # A solution file also with the options that shape its document.
            shapes = [[]] if form != "pos" else [[], ["--data", "--timeline"], ["--split-gap", "1.5", "--data"],
                                                 ["--placemark-interval", "2", "--timeline"]]
            for settings, (k, shape) in [(s, ks) for s in (None, ini) for ks in enumerate(shapes)]:
                kmz = os.path.join(work, "%03d%s-%d.kmz" % (i, "-on" if settings else "", k))
                cmd = [args.exe, "-q", "-f", form, "-o", kmz] + shape
                if settings:
                    cmd += ["-c", settings, "--timeline", "--static"]
                run = subprocess.run(cmd + [log], capture_output=True, text=True)
                if run.returncode not in (0, 3):
                    print("FAILED to convert %s: %s" % (log, run.stderr.strip()))
                    failures += 1
                    continue
                with zipfile.ZipFile(kmz) as z:
                    kml = os.path.join(work, os.path.basename(kmz)[:-4] + ".kml")
                    with open(kml, "wb") as fh:
                        fh.write(z.read(z.namelist()[0]))
                os.remove(kmz)
                documents.append((kml, log, settings is not None))
        # The logs of every kind merged into one document, each in its own
        # format as recognised, both ways.
        every_log = [log for log, _ in inputs]
        for settings in (None, ini):
            kmz = os.path.join(work, "merged%s.kmz" % ("-on" if settings else ""))
            cmd = [args.exe, "-q", "--merge", "-o", kmz]
            if settings:
                cmd += ["-c", settings, "--timeline", "--static", "--data", "--split-gap", "5"]
            run = subprocess.run(cmd + every_log, capture_output=True, text=True)
            if run.returncode not in (0, 3):
                print("FAILED to merge: %s" % run.stderr.strip())
                failures += 1
                continue
            with zipfile.ZipFile(kmz) as z:
                kml = kmz[:-4] + ".kml"
                with open(kml, "wb") as fh:
                    fh.write(z.read(z.namelist()[0]))
            os.remove(kmz)
            documents.append((kml, "the merged logs", settings is not None))
        # One xmllint for all documents: the schema is read once.
        check = subprocess.run([args.xmllint, "--noout", "--nonet", "--schema", schema] +
                               [d for d, _, _ in documents], capture_output=True, text=True)
        for kml, log, on in documents:
            if "%s validates" % kml not in check.stderr:
                failures += 1
                print("INVALID: %s (%s settings)" % (log, "all-epochs track, extrusion, strip and scatter" if on else "default"))
                for line in check.stderr.splitlines():
                    if line.startswith(kml + ":"):
                        print("  " + line[len(kml) + 1:])
        print("%d documents checked, %d failed" % (len(documents), failures))
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
