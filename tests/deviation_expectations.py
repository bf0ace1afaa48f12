#!/usr/bin/python3
"""A second log of a real session, and its deviation from the first, worked out anew.

With --write, derives tests/data/generated-nmea-rtk-second.nmea from
tests/data/gpsd-nmea-rtk.log: the same session as a second antenna would
log it (positions moved by a fixed lever arm and a seeded scatter, heights
likewise, every sixth epoch missing). Then decodes logs with the reference
model in tests/model/, pairs their epochs and prints the expected
`versus_first` figures as C++ table rows, as held by
tests/engine/log_deviation_test.cpp:

    /usr/bin/python3 tests/deviation_expectations.py [--write]

Pairs are printed for the second log as written and for it without its RMC
sentences (no dates: epochs meet on the time of day alone), and for two real
solution files of one session processed two ways (tests/solution/data), read
here on their own: GPS time, as a date or as week and seconds, less the 18
leap seconds of 2020. Distances are WGS84 geodesics from the geographiclib
Python package.
"""

import datetime
import math
import os
import random
import re
import sys

from geographiclib.geodesic import Geodesic

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "model"))
import kml_model  # noqa: E402

DATA = os.path.join(HERE, "data")
FIRST = "gpsd-nmea-rtk.log"
SECOND = "generated-nmea-rtk-second.nmea"
DAY_MS = 86_400_000
DATE = re.compile(rb"^(\d{4})-(\d{2})-(\d{2})$")
TIME = re.compile(rb"^(\d\d):(\d\d):(\d+(?:\.\d*)?)$")


def checksum(body):
    s = 0
    for c in body.encode():
        s ^= c
    return "$%s*%02X" % (body, s)


def moved(value, hemisphere, width, metres_per_degree, metres):
    degrees = int(value[:width]) + float(value[width:]) / 60
    degrees = (-degrees if hemisphere in "SW" else degrees) + metres / metres_per_degree
    d = int(abs(degrees))
    signs = "NS" if hemisphere in "NS" else "EW"
    return "%0*d%011.8f" % (width, d, (abs(degrees) - d) * 60), signs[degrees < 0]


def write_second():
    rnd = random.Random(23)
    out, shift, epoch = [], {}, -1
    for line in open(os.path.join(DATA, FIRST), newline=""):
        if line[3:6] not in ("GGA", "RMC"):
            continue
        fields = line.rstrip("\r\n").split("*")[0].split(",")
        if fields[1] not in shift:
            epoch += 1
            # A lever arm of 0.4 m east and 0.3 m north, a scatter of a few centimetres.
            shift[fields[1]] = (epoch % 6 == 3, 0.3 + rnd.gauss(0, 0.03), 0.4 + rnd.gauss(0, 0.03), 0.25 + rnd.gauss(0, 0.05))
        dropped, dn, de, du = shift[fields[1]]
        if dropped:
            continue
        lat = math.radians(41.575)
        at = 2 if fields[0].endswith("GGA") else 3
        fields[at], fields[at + 1] = moved(fields[at], fields[at + 1], 2, 111_000.0, dn)
        fields[at + 2], fields[at + 3] = moved(fields[at + 2], fields[at + 3], 3, 111_000.0 * math.cos(lat), de)
        if fields[0].endswith("GGA"):
            fields[9] = "%.3f" % (float(fields[9]) + du)
        out.append(checksum(",".join(fields)[1:]) + "\r\n")
    with open(os.path.join(DATA, SECOND), "w", newline="") as f:
        f.write("".join(out))


def epochs_of(data):
    """(instant or time of day in ms, lat, lon, height) of each positioned epoch, and whether all are dated."""
    out, dated = [], True
    for r in kml_model.ingest(data):
        if not kml_model.positioned(r) or not r.time:
            continue
        m = TIME.match(r.time)
        ms = (int(m.group(1)) * 3_600_000 + int(m.group(2)) * 60_000 + math.floor(float(m.group(3)) * 1000 + 0.5)
              if m and float(m.group(3)) < 60 else r.ms_of_day) % DAY_MS
        d = DATE.match(r.date)
        if d:
            ms += (datetime.date(*map(int, d.groups())) - datetime.date(1970, 1, 1)).days * DAY_MS
        else:
            dated = False
        out.append((ms, r.latitude, r.longitude, r.altitude))
    return out, dated


SOLUTIONS = os.path.join(HERE, "solution", "data")
GPS_EPOCH_MS = 3657 * DAY_MS  # 1980-01-06
LEAP_MS_2020 = 18_000


def solution_epochs(name):
    """(UTC instant in ms, lat, lon, height) of each line of a solution file in degrees and GPS time."""
    out = []
    for line in open(os.path.join(SOLUTIONS, name)):
        f = line.split()
        if not f or f[0].startswith("%"):
            continue
        if "/" in f[0]:
            day = datetime.date(*map(int, f[0].split("/")))
            h, m, sec = f[1].split(":")
            gps = (day - datetime.date(1970, 1, 1)).days * DAY_MS + (int(h) * 3600 + int(m) * 60) * 1000 + round(float(sec) * 1000)
        else:
            gps = GPS_EPOCH_MS + int(f[0]) * 7 * DAY_MS + round(float(f[1]) * 1000)
        out.append((gps - LEAP_MS_2020, float(f[2]), float(f[3]), float(f[4])))
    return out, True


def nearest_rank(values, percent):
    ordered = sorted(values)
    return ordered[max(1, -(-percent * len(ordered) // 100)) - 1]


def deviation(first, second):
    (a, a_dated), (b, b_dated) = first, second
    key = (lambda t: t) if a_dated and b_dated else (lambda t: t % DAY_MS)
    firsts = {}
    for e in a:
        firsts.setdefault(key(e[0]), e)
    horizontal, vertical, seen = [], [], set()
    for e in b:
        k = key(e[0])
        if k in firsts and k not in seen:
            seen.add(k)
            f = firsts[k]
            horizontal.append(Geodesic.WGS84.Inverse(f[1], f[2], e[1], e[2])["s12"])
            vertical.append(abs(f[3] - e[3]))
    spread = lambda v: tuple(nearest_rank(v, p) for p in (50, 95, 100))
    return len(horizontal), spread(horizontal), spread(vertical)


def main(argv):
    if "--write" in argv:
        write_second()
    first = epochs_of(open(os.path.join(DATA, FIRST), "rb").read())
    second = open(os.path.join(DATA, SECOND), "rb").read()
    undated = b"".join(l for l in second.splitlines(True) if b"RMC" not in l)
    for label, data in (("dated", second), ("no RMC", undated)):
        n, h, v = deviation(first, epochs_of(data))
        print('    {"%s", %d, {%r, %r, %r}, {%r, %r, %r}},' % (label, n, *h, *v))
    n, h, v = deviation(solution_epochs("demo5-b34f-forward.pos"), solution_epochs("py-0315-forward.pos"))
    print('    {"solutions", %d, {%r, %r, %r}, {%r, %r, %r}},' % (n, *h, *v))


if __name__ == "__main__":
    main(sys.argv)
