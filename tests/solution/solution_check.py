#!/usr/bin/env python3
"""Solution files in every layout give the positions, classes, times and
motion worked out here, independently of the program.

    python3 solution_check.py --exe PATH [--xmllint PATH]

From data/rtklibpy-rover.pos (a real solution file, see data/SOURCES.md) it writes the same session in each
layout (degrees, degrees-minutes-seconds, ECEF; GPST as week and seconds or
as a date, UTC, JST; with and without velocities), converts each with --data
and compares every placemark's typed fields with values computed here with
Python's geographiclib. It also checks the leap seconds around their steps,
bad lines, a station list, a baseline solution, a gzip copy and the KML 2.2
schema (tests/schema/kml22). Exit status 0 when all hold, 1 otherwise, also
when the file, the schema or xmllint is not there.
"""

import argparse
import datetime as dt
import gzip
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

try:
    from geographiclib.geodesic import Geodesic
except ImportError:  # the system's package under another interpreter
    sys.path.append("/usr/lib/python3/dist-packages")
    from geographiclib.geodesic import Geodesic

HERE = os.path.dirname(os.path.abspath(__file__))
# The file and the KML schema, both copied into the project.
SCHEMA = os.path.join(HERE, "..", "schema", "kml22", "ogckml22.xsd")
A, F = 6378137.0, 1 / 298.257223563
E2 = F * (2 - F)
GPS_START = dt.datetime(1980, 1, 6)
# UTC days from which GPS time is one more second ahead.
LEAPS = [(1981, 7, 1), (1982, 7, 1), (1983, 7, 1), (1985, 7, 1), (1988, 1, 1), (1990, 1, 1), (1991, 1, 1),
         (1992, 7, 1), (1993, 7, 1), (1994, 7, 1), (1996, 1, 1), (1997, 7, 1), (1999, 1, 1), (2006, 1, 1),
         (2009, 1, 1), (2012, 7, 1), (2015, 7, 1), (2017, 1, 1)]
CLASS = {1: "RTK Fix", 2: "RTK Float", 3: "Diff", 4: "Diff", 5: "Auto", 6: "Diff", 7: "Estimated"}
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def gps_to_utc(gps):
    """GPS time (a naive datetime) to UTC by the count of steps it has passed."""
    offset = 0
    for n, (y, m, d) in enumerate(LEAPS, start=1):
        if gps >= dt.datetime(y, m, d) + dt.timedelta(seconds=n):
            offset = n
    return gps - dt.timedelta(seconds=offset)


def ecef(lat, lon, h):
    p, l = math.radians(lat), math.radians(lon)
    n = A / math.sqrt(1 - E2 * math.sin(p) ** 2)
    return ((n + h) * math.cos(p) * math.cos(l), (n + h) * math.cos(p) * math.sin(l), (n * (1 - E2) + h) * math.sin(p))


def enu_rows(lat, lon):
    p, l = math.radians(lat), math.radians(lon)
    return [[-math.sin(l), math.cos(l), 0.0],
            [-math.sin(p) * math.cos(l), -math.sin(p) * math.sin(l), math.cos(p)],
            [math.cos(p) * math.cos(l), math.cos(p) * math.sin(l), math.sin(p)]]


def signed_root(v):
    return math.copysign(math.sqrt(abs(v)), v)


def read_real(path):
    rows = []
    for line in open(path):
        if line.startswith("%") or not line.strip():
            continue
        f = line.split()
        rows.append({"week": int(f[0]), "tow": float(f[1]), "lat": float(f[2]), "lon": float(f[3]), "h": float(f[4]),
                     "q": int(f[5]), "ns": int(f[6]), "sd": [float(x) for x in f[7:13]], "age": float(f[13]),
                     "ratio": float(f[14])})
    return rows


def session(real, moving):
    """The real epochs with every Q from 0 to 7; moving ones walk north-east,
    every fifth standing (nearly) still."""
    rows = []
    for i, r in enumerate(real):
        r = dict(r, q=i % 8)
        if moving:
            step = i - (1 if i % 5 == 4 else 0)
            r["lat"] = r["lat"] + step * 2e-5 + (1e-7 if i % 5 == 4 else 0)
            r["lon"] = r["lon"] + step * 1.5e-5
        r["v"] = (1.5 + 0.1 * i, -2.0 + 0.05 * i, 0.1) if moving else (0.0, 0.0, 0.0)
        rows.append(r)
    return rows


def gps_time(r):
    return GPS_START + dt.timedelta(weeks=r["week"], seconds=r["tow"])


def time_text(r, system, as_week):
    if as_week:
        return "%d %10.3f" % (r["week"], r["tow"])
    t = gps_time(r)
    if system != "GPST":
        t = gps_to_utc(t) + dt.timedelta(hours=9 if system == "JST" else 0)
    return t.strftime("%Y/%m/%d %H:%M:%S.") + "%03d" % (t.microsecond // 1000)


def dms(v):
    a = abs(v)
    d = int(a)
    m = int((a - d) * 60)
    s = (a - d - m / 60) * 3600
    return "%s%d %02d %09.6f" % ("-" if v < 0 else "", d, m, s)


def write_layout(path, rows, layout, system, as_week, velocities, extra_lines=()):
    pos = {"deg": "latitude(deg) longitude(deg)  height(m)", "dms": "latitude(d'\") longitude(d'\") height(m)",
           "ecef": "x-ecef(m)      y-ecef(m)      z-ecef(m)"}[layout]
    sd = "sdx(m) sdy(m) sdz(m) sdxy(m) sdyz(m) sdzx(m)" if layout == "ecef" else \
        "sdn(m) sde(m) sdu(m) sdne(m) sdeu(m) sdun(m)"
    vel = ""
    if velocities:
        vel = " vx(m/s) vy(m/s) vz(m/s) sdvx sdvy sdvz sdvxy sdvyz sdvzx" if layout == "ecef" else \
            " vn(m/s) ve(m/s) vu(m/s) sdvn sdve sdvu sdvne sdveu sdvun"
    lines = ["% program   : a post-processor", "% (" + ("lat/lon/height" if layout != "ecef" else "x/y/z-ecef") + ")",
             "%%  %-12s %s   Q  ns   %s age(s)  ratio%s" % (system, pos, sd, vel)]
    for r in rows:
        if layout == "ecef":
            x, y, z = ecef(r["lat"], r["lon"], r["h"])
            p = "%14.4f %14.4f %14.4f" % (x, y, z)
            # The local covariance turned into ECEF.
            n, e, u, ne, eu, un = r["sd"]
            c_enu = {("e", "e"): e * e, ("n", "n"): n * n, ("u", "u"): u * u}
            c_enu[("n", "e")] = c_enu[("e", "n")] = math.copysign(ne * ne, ne)
            c_enu[("e", "u")] = c_enu[("u", "e")] = math.copysign(eu * eu, eu)
            c_enu[("u", "n")] = c_enu[("n", "u")] = math.copysign(un * un, un)
            R = enu_rows(r["lat"], r["lon"])  # rows e, n, u
            keys = "enu"
            cx = [[sum(R[a][i] * c_enu[(keys[a], keys[b])] * R[b][j] for a in range(3) for b in range(3))
                   for j in range(3)] for i in range(3)]
            s = "%8.4f %8.4f %8.4f %8.4f %8.4f %8.4f" % (math.sqrt(cx[0][0]), math.sqrt(cx[1][1]), math.sqrt(cx[2][2]),
                                                         signed_root(cx[0][1]), signed_root(cx[1][2]),
                                                         signed_root(cx[2][0]))
        else:
            if layout == "dms":
                p = "%s %s %10.4f" % (dms(r["lat"]), dms(r["lon"]), r["h"])
            else:
                p = "%14.9f %14.9f %10.4f" % (r["lat"], r["lon"], r["h"])
            s = " ".join("%8.4f" % v for v in r["sd"])
        v = ""
        if velocities:
            vn, ve, vu = r["v"]
            if layout == "ecef":
                R = enu_rows(r["lat"], r["lon"])
                venu = (ve, vn, vu)
                vx = [sum(R[a][i] * venu[a] for a in range(3)) for i in range(3)]
                v = " %9.5f %9.5f %9.5f" % tuple(vx)
            else:
                v = " %9.5f %9.5f %9.5f" % (vn, ve, vu)
            v += "   0.0100   0.0100   0.0100   0.0000   0.0000   0.0000"
        lines.append("%s %s %3d %3d %s %6.2f %6.1f%s" % (time_text(r, system, as_week), p, r["q"], r["ns"], s, r["age"],
                                                        r["ratio"], v))
    lines[4:4] = list(extra_lines)
    with open(path, "w") as fh:
        fh.write("\n".join(lines) + "\n")


def expected(rows, velocities):
    out, prev, course = [], None, 0.0
    for r in rows:
        utc = gps_to_utc(gps_time(r))
        e = {"latitude": r["lat"], "longitude": r["lon"], "height": r["h"], "q": r["q"], "satellites": r["ns"],
             "fix_class": CLASS.get(r["q"], "Invalid"), "sdn": r["sd"][0], "sde": r["sd"][1], "sdu": r["sd"][2],
             "age": r["age"], "ratio": r["ratio"],
             "utc_time": utc.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (utc.microsecond // 1000)}
        if velocities:
            vn, ve, _ = r["v"]
            e["course"] = math.degrees(math.atan2(ve, vn)) % 360
            e["speed_kmh"] = math.hypot(vn, ve) * 3.6
            e["motion_derived"] = "false"
        else:
            speed = 0.0
            if prev:
                g = Geodesic.WGS84.Inverse(prev[0], prev[1], r["lat"], r["lon"])
                if g["s12"] >= 0.5:
                    course = g["azi1"] % 360
                seconds = (utc - prev[2]).total_seconds()
                speed = g["s12"] / seconds * 3.6 if seconds > 0 else 0.0
            e["course"], e["speed_kmh"], e["motion_derived"] = course, speed, "true"
            prev = (r["lat"], r["lon"], utc)
        out.append(e)
    return out


def convert(exe, work, path, *options):
    kmz = os.path.join(work, "out.kmz")
    summary = os.path.join(work, "s.json")
    run = subprocess.run([exe, "-q", "--summary", summary, "-o", kmz, *options, path], capture_output=True, text=True)
    kml, js = None, None
    if os.path.exists(kmz):
        with zipfile.ZipFile(kmz) as z:
            kml = z.read(z.namelist()[0]).decode()
        os.remove(kmz)
    if os.path.exists(summary):
        js = json.load(open(summary))[0] if run.returncode != 1 else None
    return run, kml, js


def fields(kml):
    marks = []
    for block in re.findall(r"<SchemaData schemaUrl=\"#Epoch\">(.*?)</SchemaData>", kml, re.S):
        marks.append(dict(re.findall(r"<SimpleData name=\"(\w+)\">([^<]*)</SimpleData>", block)))
    return marks


def compare(name, got, want):
    check(len(got) == len(want), "%s: %d placemarks, %d expected" % (name, len(got), len(want)))
    tolerance = {"latitude": 6e-10, "longitude": 6e-10, "height": 6e-5, "sdn": 6e-5, "sde": 6e-5, "sdu": 6e-5,
                 "age": 6e-3, "ratio": 0.06, "speed_kmh": 0.06, "course": 0.06}
    if name.startswith("ecef"):
        # Written to a tenth of a millimetre, ECEF is that far off on the way back.
        tolerance.update(latitude=3e-9, longitude=3e-9, height=3e-4, sdn=3e-4, sde=3e-4, sdu=3e-4)
    for i, (g, w) in enumerate(zip(got, want)):
        for key, value in w.items():
            if key not in g:
                check(False, "%s #%d: no %s" % (name, i, key))
            elif key in tolerance:
                d = abs(float(g[key]) - value)
                if key == "course":
                    d = min(d, 360 - d)
                check(d <= tolerance[key], "%s #%d: %s %s, expected %.10f" % (name, i, key, g[key], value))
            else:
                check(str(g[key]) == str(value), "%s #%d: %s %s, expected %s" % (name, i, key, g[key], value))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--xmllint", default=shutil.which("xmllint"))
    args = ap.parse_args()
    real_path = os.path.join(HERE, "data", "rtklibpy-rover.pos")
    if not os.path.isfile(real_path) or not os.path.isfile(SCHEMA) or not args.xmllint:
        print("FAILED: this check needs %s, %s and xmllint" % (real_path, SCHEMA))
        return 1
    real = read_real(real_path)
    work = tempfile.mkdtemp(prefix="zelvo-solution-")
    documents = []
    try:
        # The real file as it is: every epoch in place.
        run, kml, js = convert(args.exe, work, real_path, "--data", "--log-dates")
        check(run.returncode == 0, "real file: " + run.stderr)
        said = subprocess.run([args.exe, "-o", os.path.join(work, "said.kmz"), real_path], capture_output=True,
                              text=True).stdout
        check("  format    solution (recognised)\n" in said and "  bad lines 0 skipped\n" in said, "lines: " + said)
        compare("real", fields(kml), expected([dict(r, v=None) for r in real], False))
        check(js["format"] == "pos" and js["skipped_lines"] == 0 and js["hdop"]["median"] is None and
              js["diff_age_max_s"] == 29.01 and js["classes"]["rtk_float"] == 63, "real summary %s" % js)

        layouts = [("deg", "GPST", True), ("deg", "GPST", False), ("deg", "UTC", False), ("deg", "JST", False),
                   ("dms", "UTC", False), ("dms", "GPST", True), ("ecef", "GPST", True), ("ecef", "JST", False)]
        for moving in (False, True):
            rows = session(real, moving)
            for layout, system, as_week in layouts:
                for velocities in (False, True):
                    name = "%s-%s-%s-%s-%s" % (layout, system, "week" if as_week else "date",
                                               "vel" if velocities else "novel", "moving" if moving else "still")
                    path = os.path.join(work, name + ".pos")
                    write_layout(path, rows, layout, system, as_week, velocities)
                    run, kml, js = convert(args.exe, work, path, "--data", "--log-dates")
                    check(run.returncode == 0, "%s: exit %d %s" % (name, run.returncode, run.stderr))
                    compare(name, fields(kml), expected(rows, velocities))
                    valid = sum(1 for r in rows if 1 <= r["q"] <= 6)
                    track = kml.split("<name>NormalTrack</name>")[1].split("</coordinates>")[0]
                    points = sum(1 for line in track.splitlines() if "," in line)
                    check(points == valid, "%s: valid track of %d points, %d expected" % (name, points, valid))
                    # The document stays valid with every option that shapes it.
                    for i, options in enumerate((["--data", "--timeline"], ["--split-gap", "2", "--all-epochs"],
                                                 ["--placemark-interval", "3", "--data", "--split-gap", "1.5"])):
                        run, kml, _ = convert(args.exe, work, path, *options)
                        doc = os.path.join(work, "%s-%d.kml" % (name, i))
                        open(doc, "w").write(kml)
                        documents.append(doc)

        # Leap seconds: GPS times on both sides of each step (as dates in GPST).
        steps = []
        for n, (y, m, d) in enumerate(LEAPS, start=1):
            for delta in (n - 2, n - 1, n, n + 1):  # GPS seconds after the step's UTC midnight
                t = dt.datetime(y, m, d) + dt.timedelta(seconds=delta)
                steps.append(t)
        lines = ["%  GPST                  latitude(deg) longitude(deg)  height(m)   Q  ns   sdn(m)   sde(m)   sdu(m)"
                 "  sdne(m)  sdeu(m)  sdun(m) age(s)  ratio"]
        for t in steps:
            lines.append(t.strftime("%Y/%m/%d %H:%M:%S.000") + "   40.0 -105.0 1500.0 1 10 0.1 0.1 0.1 0 0 0 1.0 9.9")
        path = os.path.join(work, "leaps.pos")
        open(path, "w").write("\n".join(lines) + "\n")
        run, kml, _ = convert(args.exe, work, path, "--data", "--log-dates")
        got = [f["utc_time"] for f in fields(kml)]
        want = [gps_to_utc(t).strftime("%Y-%m-%dT%H:%M:%S.000Z") for t in steps]
        check(got == want, "leap seconds: %s" % [(g, w) for g, w in zip(got, want) if g != w])
        # Hand-worked, the last step: GPS 2017-01-01 00:00:16 is UTC 23:59:59 of the year before (17 s),
        # GPS 00:00:18 is UTC midnight (18 s), and the leap second itself shows as midnight too.
        check(got[-4:] == ["2016-12-31T23:59:59.000Z", "2017-01-01T00:00:00.000Z", "2017-01-01T00:00:00.000Z",
                           "2017-01-01T00:00:01.000Z"], "2017 step: %s" % got[-4:])

        # Bad lines are skipped and counted; blank lines are nothing.
        bad = ["2137 422999.000 40.1 -105.1", "2137 422999.000 40.1 -105.1 1578.7 2 11 0.1 0.1 0.1 0 0 0 x 0.0",
               "2021/02/30 00:00:00.000 40.1 -105.1 1578.7 2 11 0.1 0.1 0.1 0 0 0 1.0 0.0",
               "2137 422999.000 95.1 -105.1 1578.7 2 11 0.1 0.1 0.1 0 0 0 1.0 0.0", "", "   "]
        path = os.path.join(work, "bad.pos")
        write_layout(path, session(real, False), "deg", "GPST", True, False, bad)
        run, kml, js = convert(args.exe, work, path)
        check(js["skipped_lines"] == 4 and js["epochs"] == len(real), "bad lines: %s" % js)

        # A station list is no solution file; a baseline cannot be drawn.
        path = os.path.join(work, "stations.txt")
        open(path, "w").write("% stations\nBASE  40.097 -105.147 1578.7\nROVR  40.098 -105.148 1579.1\n")
        run, _, _ = convert(args.exe, work, path)
        check(run.returncode == 3 and "none of NMEA, TOLV or a solution file" in run.stderr, "stations: " + run.stderr)
        run, _, _ = convert(args.exe, work, path, "-f", "pos")
        check(run.returncode == 3, "stations as pos: %d" % run.returncode)
        path = os.path.join(work, "baseline.pos")
        open(path, "w").write("%  GPST  e-baseline(m) n-baseline(m) u-baseline(m) Q ns sde(m) sdn(m) sdu(m) sden(m)"
                              " sdnu(m) sdue(m) age(s) ratio\n2137 422922.000 1.0 2.0 3.0 1 10 0 0 0 0 0 0 1 9\n")
        run, _, _ = convert(args.exe, work, path)
        check(run.returncode == 1 and "baseline" in run.stderr, "baseline: %d %s" % (run.returncode, run.stderr))

        # A gzip copy, read from a file and from standard input, is the same document.
        _, plain, _ = convert(args.exe, work, real_path)
        packed = os.path.join(work, "rover.pos.gz")
        with gzip.open(packed, "wb") as fh:
            fh.write(open(real_path, "rb").read())
        _, unpacked, _ = convert(args.exe, work, packed)
        check(unpacked == plain, "gzip copy differs")
        with open(packed, "rb") as fh:
            piped = subprocess.run([args.exe, "-q", "-"], stdin=fh, capture_output=True)
        with zipfile.ZipFile(__import__("io").BytesIO(piped.stdout)) as z:
            check(z.read(z.namelist()[0]).decode() == plain, "gzip on standard input differs")

        lint = subprocess.run([args.xmllint, "--noout", "--nonet", "--schema", SCHEMA] + documents,
                              capture_output=True, text=True)
        check(lint.returncode == 0, "schema: " + lint.stderr[-2000:])
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures[:40]:
        print("FAILED:", f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
