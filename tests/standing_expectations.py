#!/usr/bin/python3
"""Generated logs of a standing receiver, and their figures worked out anew.

Writes two NMEA logs of a receiver standing on one mark with a known scatter
into tests/data (a seeded random walk-free scatter per fix class), then
reads the positions back from the text as written and prints the expected
`static` figures as C++ table rows, as held by
tests/engine/standing_precision_test.cpp:

    /usr/bin/python3 tests/standing_expectations.py [--write]

The local east-north-up frame is worked out here from first principles:
WGS84 geodetic to geocentric coordinates, then the rotation to the frame at
the mean position.
"""

import math
import os
import random
import statistics
import sys

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")
A = 6378137.0
F = 1 / 298.257223563
E2 = F * (2 - F)
MARK = (47.3977419, 8.5455938, 488.1234)
# (epochs, GGA quality, sd east, sd north, sd up in metres)
LOGS = {
    "generated-standing-rtk.nmea": (7, [(30, 1, 1.2, 1.5, 2.5), (120, 4, 0.008, 0.012, 0.020), (40, 5, 0.15, 0.10, 0.3)]),
    "generated-standing-few-fixes.nmea": (11, [(60, 2, 0.4, 0.6, 0.9), (6, 4, 0.01, 0.01, 0.02), (20, 1, 1.5, 1.5, 3.0)]),
}


def checksum(body):
    s = 0
    for c in body.encode():
        s ^= c
    return "$%s*%02X" % (body, s)


def angle_text(degrees, width):
    d = int(abs(degrees))
    minutes = (abs(degrees) - d) * 60
    return "%0*d%010.7f" % (width, d, minutes)


def write_log(name, seed, runs):
    rnd = random.Random(seed)
    lat0, lon0, h0 = MARK
    m_per_deg_lat = math.pi / 180 * A * (1 - E2) / (1 - E2 * math.sin(math.radians(lat0)) ** 2) ** 1.5
    m_per_deg_lon = math.pi / 180 * A * math.cos(math.radians(lat0)) / math.sqrt(1 - E2 * math.sin(math.radians(lat0)) ** 2)
    lines, t = [], 11 * 3600 + 59 * 60
    for count, quality, se, sn, su in runs:
        for _ in range(count):
            lat = lat0 + rnd.gauss(0, sn) / m_per_deg_lat
            lon = lon0 + rnd.gauss(0, se) / m_per_deg_lon
            h = h0 + rnd.gauss(0, su)
            hms = "%02d%02d%02d.00" % (t // 3600, t // 60 % 60, t % 60)
            lat_t, lon_t = angle_text(lat, 2), angle_text(lon, 3)
            lines.append(checksum("GNGGA,%s,%s,N,%s,E,%d,24,0.6,%.4f,M,47.0,M,1.0,0000" % (hms, lat_t, lon_t, quality, h)))
            lines.append(checksum("GNRMC,%s,A,%s,N,%s,E,0.01,0.0,010624,,,%s" % (hms, lat_t, lon_t, "R" if quality == 4 else "A")))
            t += 1
    with open(os.path.join(DATA, name), "w", newline="") as f:
        f.write("".join(line + "\r\n" for line in lines))


def read_log(name):
    """(lat, lon, height, quality) of each GGA, from the text as written."""
    out = []
    for line in open(os.path.join(DATA, name)):
        fields = line.split("*")[0].split(",")
        if fields[0] != "$GNGGA":
            continue
        lat = int(fields[2][:2]) + float(fields[2][2:]) / 60
        lon = int(fields[4][:3]) + float(fields[4][3:]) / 60
        out.append((lat, lon, float(fields[9]), int(fields[6])))
    return out


def geocentric(lat, lon, h):
    p, l = math.radians(lat), math.radians(lon)
    n = A / math.sqrt(1 - E2 * math.sin(p) ** 2)
    return ((n + h) * math.cos(p) * math.cos(l), (n + h) * math.cos(p) * math.sin(l), (n * (1 - E2) + h) * math.sin(p))


def enu(origin, point):
    p, l = math.radians(origin[0]), math.radians(origin[1])
    d = [a - b for a, b in zip(geocentric(*point), geocentric(*origin))]
    east = -math.sin(l) * d[0] + math.cos(l) * d[1]
    north = -math.sin(p) * math.cos(l) * d[0] - math.sin(p) * math.sin(l) * d[1] + math.cos(p) * d[2]
    up = math.cos(p) * math.cos(l) * d[0] + math.cos(p) * math.sin(l) * d[1] + math.sin(p) * d[2]
    return east, north, up


def nearest_rank(values, percent):
    ordered = sorted(values)
    return ordered[max(1, -(-percent * len(ordered) // 100)) - 1]


def figures(name):
    epochs = read_log(name)
    fixed = [e for e in epochs if e[3] == 4]
    chosen = fixed if len(fixed) >= 10 else epochs
    mean = tuple(statistics.fmean(e[k] for e in chosen) for k in range(3))
    offsets = [enu(mean, e[:3]) for e in chosen]
    horizontal = [math.hypot(e, n) for e, n, _ in offsets]
    return {"class": "rtk_fix" if chosen is fixed else "all", "epochs": len(chosen), "mean": mean,
            "sd": [statistics.pstdev(o[k] for o in offsets) for k in (1, 0, 2)],
            "cep": (nearest_rank(horizontal, 50), nearest_rank(horizontal, 95))}


def main(argv):
    for name, (seed, runs) in LOGS.items():
        if "--write" in argv:
            write_log(name, seed, runs)
        f = figures(name)
        print('    {"%s", %s, %d, {%r, %r, %r}, {%r, %r, %r}, {%r, %r}},' % (
            name, "true" if f["class"] == "rtk_fix" else "false", f["epochs"], *f["mean"], *f["sd"], *f["cep"]))


if __name__ == "__main__":
    main(sys.argv)
