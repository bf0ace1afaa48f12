#!/usr/bin/env python3
"""The companion files say what the document says, and their readers take them.

    python3 companion_check.py --exe PATH --shared DIR

Converts every log of tests/data and of DIR/testdata/real (NMEA) and
examples/sample.tolv (binary) with --data and all three companion files,
once with the built-in settings and once with the all-epochs track, split
tracks, thinned placemarks and the log's dates, and checks:
  - the GPX validates against the GPX 1.1 schema (tests/schema/gpx, offline),
    has the document's tracks point for point and piece for piece, and
    gpsbabel reads as many track points from it as the document's tracks hold;
  - ogrinfo reads the GeoJSON with the typed fields and the CSV with one
    feature per placemark;
  - every property of every point and every cell of every row equals the
    same field of the placemark's ExtendedData in the document.
Exit status 0 when all hold, 1 otherwise, also when xmllint, ogrinfo or
gpsbabel is not installed: a check that cannot run has not passed.
"""

import argparse
import csv
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.normpath(os.path.join(HERE, "..", ".."))
KML = "{http://www.opengis.net/kml/2.2}"
GPX = "{http://www.topografix.com/GPX/1/1}"

SETTINGS = {
    "default": ["--data"],
    "everything": ["--data", "--all-epochs", "--split-gap", "1", "--placemark-interval", "2", "--log-dates"],
}
OGR_TYPES = {"int": ("Integer", "Integer64"), "double": ("Real",), "string": ("String", "DateTime", "Date", "Time")}
CSV_OPEN = ["-oo", "X_POSSIBLE_NAMES=longitude", "-oo", "Y_POSSIBLE_NAMES=latitude", "-oo", "AUTODETECT_TYPE=YES"]


def logs_in(directory):
    if not os.path.isdir(directory):
        return []
    names = sorted(n for n in os.listdir(directory) if not n.endswith(".md"))
    return [os.path.join(directory, n) for n in names if os.path.isfile(os.path.join(directory, n))]


def read_document(kml_bytes):
    """The schema's field types, each placemark's fields, and each track's pieces' point counts."""
    root = ET.fromstring(kml_bytes)
    types = {f.get("name"): f.get("type") for f in root.iter(KML + "SimpleField")}
    placemarks, tracks = [], {}
    for pm in root.iter(KML + "Placemark"):
        name = pm.findtext(KML + "name")
        if name in ("NormalTrack", "IncorrectTrack"):
            tracks[name] = [len(ls.findtext(KML + "coordinates").split()) for ls in pm.iter(KML + "LineString")]
        else:
            placemarks.append({d.get("name"): d.text or "" for d in pm.iter(KML + "SimpleData")})
    return types, placemarks, tracks


def ogr_summary(ogrinfo, path, extra=()):
    out = subprocess.run([ogrinfo, "-ro", "-al", "-so", *extra, path], capture_output=True, text=True).stdout
    count = re.search(r"Feature Count: (\d+)", out)
    fields = dict(re.findall(r"^(\w+): (\w+) \(", out, re.M))
    return (int(count.group(1)) if count else -1), fields


def same_value(kind, kml_text, value):
    if kml_text is None:
        return value is None
    if kind == "int":
        return isinstance(value, int) and str(value) == kml_text
    if kind == "double":
        return isinstance(value, (int, float)) and float(kml_text) == value
    return value == kml_text


def check_one(tools, log, form, setting, work, stem):
    problems = []
    kmz, gpx, geojson, table = (os.path.join(work, stem + ext) for ext in (".kmz", ".gpx", ".geojson", ".csv"))
    cmd = [tools["exe"], "-q", "-f", form, "-o", kmz, "--gpx", gpx, "--geojson", geojson, "--csv", table]
    run = subprocess.run(cmd + SETTINGS[setting] + [log], capture_output=True, text=True)
    if run.returncode not in (0, 3):
        return ["conversion failed: " + run.stderr.strip()], None
    with zipfile.ZipFile(kmz) as z:
        types, placemarks, tracks = read_document(z.read(z.namelist()[0]))

    # GPX: the document's tracks, piece by piece, and gpsbabel's count.
    trks = {t.findtext(GPX + "name"): [len(s.findall(GPX + "trkpt")) for s in t.findall(GPX + "trkseg")]
            for t in ET.parse(gpx).getroot().findall(GPX + "trk")}
    for kml_name, gpx_name in (("NormalTrack", "valid"), ("IncorrectTrack", "all")):
        want = [n for n in tracks.get(kml_name, []) if n] or [0]
        got = [n for n in trks.get(gpx_name, [0]) if n] or [0]
        if kml_name in tracks and want != got:
            problems.append("GPX track %s has pieces %s, the document %s" % (gpx_name, got[:5], want[:5]))
    babel = subprocess.run([tools["gpsbabel"], "-i", "gpx", "-f", gpx, "-o", "csv", "-F", "-"],
                           capture_output=True, text=True)
    babel_points = len([line for line in babel.stdout.splitlines() if line.strip()])
    document_points = sum(sum(p) for p in tracks.values())
    if babel.returncode != 0 or babel_points != document_points:
        problems.append("gpsbabel read %d track points, the document has %d" % (babel_points, document_points))

    # GeoJSON: a point per placemark with the same values, then the lines.
    features = json.load(open(geojson))["features"]
    points = [f for f in features if f["geometry"]["type"] == "Point"]
    lines = [f for f in features if f["geometry"]["type"] != "Point"]
    if len(points) != len(placemarks):
        problems.append("GeoJSON has %d points, the document %d placemarks" % (len(points), len(placemarks)))
    for i, (feature, fields) in enumerate(zip(points, placemarks)):
        props = feature["properties"]
        if list(props) != list(types):
            problems.append("GeoJSON point %d has properties %s" % (i, list(props)))
            break
        bad = [n for n in types if not same_value(types[n], fields.get(n), props[n])]
        if bad:
            problems.append("GeoJSON point %d differs in %s" % (i, bad))
            break
    count, ogr_fields = ogr_summary(tools["ogrinfo"], geojson)
    if count != len(features):
        problems.append("ogrinfo reads %d GeoJSON features of %d" % (count, len(features)))
    for name, kind in types.items():
        if placemarks and any(name in p for p in placemarks) and ogr_fields.get(name) not in OGR_TYPES[kind]:
            problems.append("ogrinfo types GeoJSON field %s as %s" % (name, ogr_fields.get(name)))
    if any(f["properties"]["track"] not in ("valid", "all") for f in lines):
        problems.append("a GeoJSON line without its track")

    # CSV: a row per placemark, every cell the document's text.
    with open(table, newline="") as fh:
        rows = list(csv.reader(fh))
    if rows[0] != list(types):
        problems.append("CSV header %s" % rows[0])
    if len(rows) - 1 != len(placemarks):
        problems.append("CSV has %d rows, the document %d placemarks" % (len(rows) - 1, len(placemarks)))
    for i, (row, fields) in enumerate(zip(rows[1:], placemarks)):
        want = [fields.get(n, "") for n in types]
        if row != want:
            problems.append("CSV row %d: %s, the document %s" % (i, row, want))
            break
    count, _ = ogr_summary(tools["ogrinfo"], table, CSV_OPEN)
    if count != len(placemarks):
        problems.append("ogrinfo reads %d CSV features, the document has %d placemarks" % (count, len(placemarks)))
    for path in (kmz, geojson, table):
        os.remove(path)
    tools["placemarks"] += len(placemarks)
    tools["track points"] += document_points
    return problems, gpx


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--shared", required=True)
    args = ap.parse_args()
    tools = {"exe": args.exe, "placemarks": 0, "track points": 0}
    for tool in ("xmllint", "ogrinfo", "gpsbabel"):
        tools[tool] = shutil.which(tool)
        if not tools[tool]:
            print("FAILED: %s is not installed (tools/install-deps.sh installs it)" % tool)
            return 1
    schema = os.path.join(HERE, "gpx", "gpx.xsd")

    inputs = [(p, "nmea") for p in logs_in(os.path.join(REPO, "tests", "data"))]
    inputs += [(p, "nmea") for p in logs_in(os.path.join(args.shared, "testdata", "real"))]
    inputs.append((os.path.join(REPO, "examples", "sample.tolv"), "tolv"))

    work = tempfile.mkdtemp(prefix="zelvo-companions-")
    try:
        failures, gpx_files = 0, []
        for i, (log, form) in enumerate(inputs):
            for setting in SETTINGS:
                problems, gpx = check_one(tools, log, form, setting, work, "%03d-%s" % (i, setting))
                if gpx:
                    gpx_files.append((gpx, log, setting))
                for p in problems:
                    print("FAILED %s (%s settings): %s" % (log, setting, p))
                failures += bool(problems)
        # One xmllint for all GPX files: the schema is read once.
        check = subprocess.run([tools["xmllint"], "--noout", "--nonet", "--schema", schema] +
                               [g for g, _, _ in gpx_files], capture_output=True, text=True)
        for gpx, log, setting in gpx_files:
            if "%s validates" % gpx not in check.stderr:
                failures += 1
                print("INVALID GPX: %s (%s settings)" % (log, setting))
                print("\n".join("  " + l for l in check.stderr.splitlines() if l.startswith(gpx + ":"))[:2000])
        print("%d conversions checked (%d placemarks, %d track points), %d failed" %
              (len(inputs) * len(SETTINGS), tools["placemarks"], tools["track points"], failures))
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
