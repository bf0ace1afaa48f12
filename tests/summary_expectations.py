#!/usr/bin/env python3
"""Expected session summaries, worked out independently of the program.

Decodes each log with the reference models in tests/model/ (their own NMEA
and binary decoders), applies the summary's definitions from scratch and
prints one C++ table row per log, as held by
tests/engine/session_summary_test.cpp:

    python3 tests/summary_expectations.py tests/data/gpsd-nmea-rtk.log ... \
        [--tolv examples/sample.tolv ...]

Lengths are WGS84 geodesics from the geographiclib Python package.
"""

import math
import os
import re
import statistics
import sys

from geographiclib.geodesic import Geodesic

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "model"))
import kml_model  # noqa: E402
import tolv_model  # noqa: E402

SLOTS = ["Auto", "Diff", "RtkFix", "RtkFloat", "Estimated", "Invalid", None]
DAY_MS = 86_400_000
DATE = re.compile(rb"^\d{4}-\d{2}-\d{2}$")
TIME = re.compile(rb"^(\d\d):(\d\d):(\d+(?:\.\d*)?)$")


def day_ms(r):
    m = TIME.match(r.time)
    if m and float(m.group(3)) < 60:
        ms = int(m.group(1)) * 3_600_000 + int(m.group(2)) * 60_000 + math.floor(float(m.group(3)) * 1000 + 0.5)
    else:
        ms = r.ms_of_day
    return ms % DAY_MS


def time_text(ms):
    return "%02d:%02d:%02d.%03d" % (ms // 3_600_000, ms // 60_000 % 60, ms // 1000 % 60, ms % 1000)


def summarise(path, binary):
    data = open(path, "rb").read()
    epochs = tolv_model.ingest(data) if binary else kml_model.ingest(data)
    settings = dict(kml_model.BUILT_IN)
    s = {"epochs": len(epochs), "with_position": 0, "placemarks": 0, "classes": [0] * 7,
         "first": None, "last": None, "track": 0.0, "hdop": [], "diff_age": None, "rtk": None}
    steps, offset, last_ms, last_point = [], 0, None, None
    for r in epochs:
        date = r.date if DATE.match(r.date) else b""
        if binary:
            classes = {0x41: ["Auto"], 0x56: ["Invalid"]}.get(r.status, [])
            on_track = r.status == 0x41
        else:
            classes = kml_model._classes(r, settings)
            on_track = kml_model._valid_nmea(r)
        # Both coordinates read (where the models track it) and on the globe;
        # an epoch without a position is drawn nowhere.
        positioned = (getattr(r, "lat_read", True) and getattr(r, "lon_read", True)
                      and math.isfinite(r.latitude) and math.isfinite(r.longitude)
                      and abs(r.latitude) <= 90 and abs(r.longitude) <= 180)
        if not positioned:
            classes = []
        s["placemarks"] += len(classes)
        first = classes[0] if classes else None
        if positioned:
            s["with_position"] += 1
            s["classes"][SLOTS.index(first)] += 1
            if r.hdop > 0 and math.isfinite(r.hdop):
                s["hdop"].append(r.hdop)
        # An empty age field reads as 0: no correction, not a fresh one.
        if not binary and r.has_gga == 1 and math.isfinite(r.diff_age) and r.diff_age > 0:
            s["diff_age"] = r.diff_age if s["diff_age"] is None else max(s["diff_age"], r.diff_age)
        if on_track and positioned:
            if last_point:
                s["track"] += Geodesic.WGS84.Inverse(*last_point, r.latitude, r.longitude)["s12"]
            last_point = (r.latitude, r.longitude)
        if not r.time:
            continue
        ms = day_ms(r)
        stamp = (date.decode() + "T" + time_text(ms) + "Z") if date else time_text(ms)
        if last_ms is None:
            s["first"] = stamp
            last_ms = ms
        else:
            # Back by more than half a day: midnight; back by less: the
            # receiver going back, and the session's clock waits for it.
            step = (ms - last_ms) % DAY_MS
            if step <= DAY_MS // 2:
                if step > 0:
                    steps.append(step)
                offset += step
                last_ms = ms
        s["last"] = stamp
        if first == "RtkFix" and s["rtk"] is None:
            s["rtk"] = offset
    s["duration"] = offset
    threshold = max(5000.0, 5 * statistics.median(steps)) if steps else 5000.0
    gaps = [g for g in steps if g > threshold]
    s["gaps"] = (threshold, len(gaps), max(gaps) if gaps else 0)
    s["hdop"] = (statistics.median(s["hdop"]), max(s["hdop"])) if s["hdop"] else None
    return s


def opt(v, fmt="%r"):
    return "std::nullopt" if v is None else fmt % v


def row(path, binary, s):
    return ('    {"%s", %s, %d, %d, %d, {%s}, %s, %s, %d, %r, {%r, %d, %d}, %s, %s, %s, %s},' % (
        os.path.basename(path), "InputFormat::Tolv" if binary else "InputFormat::Nmea", s["epochs"],
        s["with_position"], s["placemarks"], ", ".join(map(str, s["classes"])),
        opt(s["first"], '"%s"'), opt(s["last"], '"%s"'), s["duration"], s["track"],
        s["gaps"][0], s["gaps"][1], s["gaps"][2],
        opt(s["hdop"] and s["hdop"][0]), opt(s["hdop"] and s["hdop"][1]), opt(s["diff_age"]), opt(s["rtk"])))


def main(argv):
    binary = False
    for arg in argv[1:]:
        if arg == "--tolv":
            binary = True
            continue
        print(row(arg, binary, summarise(arg, binary)))


if __name__ == "__main__":
    main(sys.argv)
