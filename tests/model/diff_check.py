#!/usr/bin/env python3
"""Differential check: our converter against the reference model.

    python3 diff_check.py [--exe PATH] [--rounds N] [--seed S] [--keep DIR]

The program is --exe, else $ZELVOCONVERTER, else build/zelvoconverter of
this checkout.

Converts every log of tests/data (and, when present, of the shared real-log
collection) with the built-in defaults and with a settings file that changes
every key, then generated and mutated logs, and compares the KML bytes.  On a
difference it prints the first differing line with its placemark and saves
the input (and a line-reduced version of it) under --keep.
Exit status 0 when every document matched, 1 otherwise.
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import kml_model  # noqa: E402

REPO = os.path.normpath(os.path.join(HERE, "..", ".."))
DEFAULT_EXE = os.environ.get("ZELVOCONVERTER",
                             os.path.join(REPO, "build", "zelvoconverter"))
SHARED_REAL = "/work/shared/testdata/real"

ALL_KEYS_CHANGED = (
    "[Settings]\r\n"
    "CheckBox1=0\r\n"
    "MaskEdit1=2011-12-13\r\n"
    "ShapeStyleTrack=16711680\r\n"
    "ShapeFullTrack=65280\r\n"
    "Edit3=3.5\r\n"
    "CheckBox2=1\r\n"
    "CheckBox4=1\r\n"
    "CheckBox3=1\r\n"
    "Edit4=1.25\r\n"
)

ODD_TEXTS = (
    "[Settings]\r\n"
    "CheckBox1=1\r\n"
    "MaskEdit1=20<1&-]]>-01\r\n"
    "ShapeStyleTrack=0x0000FF\r\n"
    "ShapeFullTrack=16777215\r\n"
    "Edit3=a&b<c]]>\r\n"
    "CheckBox2=7\r\n"
    "CheckBox3=1\r\n"
    "Edit4=]]>&<\r\n"
)


# ---------------------------------------------------------------------------
# Running both sides
# ---------------------------------------------------------------------------

def run_ours(exe, log_path, ini_path, work):
    kmz = os.path.join(work, "out.kmz")
    kml = os.path.join(work, "out.kml")
    for p in (kmz, kml):
        if os.path.exists(p):
            os.remove(p)
    cmd = [exe, "-q", "-o", kmz]
    if ini_path:
        cmd += ["-c", ini_path]
    cmd.append(log_path)
    proc = subprocess.run(cmd, capture_output=True, timeout=120)
    if os.path.exists(kml):
        with open(kml, "rb") as fh:
            return fh.read(), proc
    if os.path.exists(kmz):
        with zipfile.ZipFile(kmz) as z:
            names = [n for n in z.namelist() if n.lower().endswith(".kml")]
            if names:
                return z.read(names[0]), proc
    return None, proc


def run_model(data, ini_path):
    settings = kml_model.load_settings(ini_path)
    return kml_model.convert(data, settings)


def first_difference(ours, model):
    a = ours.split(b"\r\n")
    b = model.split(b"\r\n")
    n = min(len(a), len(b))
    i = 0
    while i < n and a[i] == b[i]:
        i += 1
    if i == n and len(a) == len(b):
        return None
    # placemark context: the last placemark opening and its number
    start = 0
    nn = None
    for k in range(i, -1, -1):
        if k < len(b) and b[k].startswith(b"<Placemark"):
            start = k
            break
    for k in range(start, min(start + 5, len(b))):
        if b[k].startswith(b"\t<tr><th>NN</th>"):
            nn = b[k]
    lines = ["  first difference at line %d (placemark opening at line %d%s)"
             % (i + 1, start + 1, ", " + nn.decode("latin-1").strip() if nn else "")]
    for k in range(max(start, i - 4), i):
        lines.append("    same : %r" % b[k])
    lines.append("    ours : %r" % (a[i] if i < len(a) else "<end of document>"))
    lines.append("    model: %r" % (b[i] if i < len(b) else "<end of document>"))
    return "\n".join(lines)


def compare(exe, data, ini_path, work):
    log = os.path.join(work, "in.nmea")
    with open(log, "wb") as fh:
        fh.write(data)
    ours, proc = run_ours(exe, log, ini_path, work)
    model = run_model(data, ini_path)
    if ours is None:
        return "  our program wrote no document (status %d): %r" % (
            proc.returncode, proc.stderr[-300:])
    if ours == model:
        return None
    return first_difference(ours, model) or "  documents differ"


def reduce_lines(exe, data, ini_path, work):
    """Drop lines while the difference stays (a simple line-wise reduction)."""
    lines = data.splitlines(keepends=True)
    chunk = max(1, len(lines) // 2)
    while chunk >= 1:
        i = 0
        changed = False
        while i < len(lines):
            trial = lines[:i] + lines[i + chunk:]
            if trial and compare(exe, b"".join(trial), ini_path, work):
                lines = trial
                changed = True
            else:
                i += chunk
        if not changed:
            chunk //= 2
    return b"".join(lines)


# ---------------------------------------------------------------------------
# Generated logs
# ---------------------------------------------------------------------------

def checksum(body):
    c = 0
    for ch in body.encode("latin-1"):
        c ^= ch
    return c


def sentence(body, rnd=None, bad_sum=False, lower=False):
    c = checksum(body)
    if bad_sum:
        c ^= 1 + (rnd.randrange(255) if rnd else 0)
    digits = "%02X" % c
    if lower:
        digits = digits.lower()
    return "$" + body + "*" + digits


ODD_NUMBERS = ("", "-1", "abc", "1e309", "-nan", "nan", "inf", "0x10",
               "99999999999999999999", " 7", "+3", "-0", "1.5.5")
# Values no reader could parse in a document, and the edges of the ones it can.
UNREADABLE_ALTITUDES = ODD_NUMBERS + ("-inf", "1e999", "-1e999", "INF", "nan(0x1)", "1e308")
ODD_COURSES = ODD_NUMBERS + ("-inf", "1e999", "1271.49", "-361", "360", "-360", "360.000001",
                             "-360.5", "0x168", "0x169", "1e3")


class Generator:
    TALKERS = ["GP", "GN", "GL", "GA", "BD", "P1", ",,"]

    def __init__(self, rnd):
        self.r = rnd
        self.t = rnd.uniform(0, 86400)
        self.lat = rnd.uniform(-89, 89)
        self.lon = rnd.uniform(-179, 179)
        self.forced_time = None

    def odd(self, normal, odds):
        return self.r.choice(odds) if self.r.random() < 0.08 else normal

    def time_field(self):
        r = self.r
        if self.forced_time is not None:
            return self.forced_time
        self.t += r.choice([0, 0, 1, 1, 1, 0.2, 0.5, 0.001, 3600, 59.5])
        t = self.t % 86400
        h, m, s = int(t // 3600), int(t % 3600 // 60), t % 60
        style = r.random()
        if style < 0.45:
            txt = "%02d%02d%06.3f" % (h, m, s)
        elif style < 0.65:
            txt = "%02d%02d%02d" % (h, m, int(s))
        elif style < 0.75:
            txt = "%02d%02d%05.2f" % (h, m, s)
        elif style < 0.80:
            txt = "%02d%02d%04.1f" % (h, m, s)
        else:
            txt = r.choice([
                "", "12345", "1234567", "123456.", "1234.5.6", "235960.00", "235959.999",
                "236000.5", "246060.0", "095967.5", "9999", "12<456.0", "12&456.0",
                "12]]>6.0", "1234]]>.5", "<>&<>&.1", "12:34:56", "123456.1e3",
                "12345e.5", "-12345.0", " 12345.0", "1234inf", "0x1234.5", "12345a",
                "1234599.9", "123459.9e9", "12340x.8p9999", "123455.5e400",
                "1234na.n", "12\t456.0", "092750.003", "092750.004", "000000.000",
                "12345\x7f.0", "12\x01456", "123456.00000000000000001",
            ])
        return txt

    def lat_field(self):
        a = abs(self.lat)
        txt = "%02d%07.4f" % (int(a), (a % 1) * 60)
        return self.odd(txt, ["", "4807", "48070.038", "48.07", "abcd.ef", "-807.5",
                              "4807.038.1", "0000.0000", "1e07.5", "48 7.5", "4807.nan",
                              "48-0.5", "4807.0x10"])

    def lon_field(self):
        a = abs(self.lon)
        txt = "%03d%07.4f" % (int(a), (a % 1) * 60)
        return self.odd(txt, ["", "01131", "1131.000", "011310.0", "-1131.00",
                              "00000.0000", "0113.1.000", "abcde.f", "011 1.5"])

    def ns(self):
        return self.odd("N" if self.lat >= 0 else "S", ["", "X", "NS", "S", "n", "SS"])

    def ew(self):
        return self.odd("E" if self.lon >= 0 else "W", ["", "X", "WE", "W", "w", "EE"])

    def num(self, normal, odd=ODD_NUMBERS):
        return self.odd(normal, list(odd))

    def gga(self):
        r = self.r
        q = r.choice(["0", "1", "1", "2", "4", "5", "6", "3", "7", "8", "", "9", "-1",
                      "4294967297"])
        fields = [self.time_field(), self.lat_field(), self.ns(), self.lon_field(), self.ew(),
                  q, self.num(str(r.randint(0, 24))), self.num("%.2f" % r.uniform(0.5, 9)),
                  self.num("%.1f" % r.uniform(-50, 3000), UNREADABLE_ALTITUDES),
                  self.odd("M", ["", "MM", "m"]),
                  self.num("%.1f" % r.uniform(-40, 60)), self.odd("M", ["", "MM"]),
                  self.num(r.choice(["", "", "1.2", "0.0"])),
                  self.odd(r.choice(["", "0000", "0123"]), ["12,34", "ab"])]
        if r.random() < 0.1:
            fields = fields[:r.randint(0, len(fields))]
        if r.random() < 0.05:
            fields += ["x"] * r.randint(1, 4)
        return self.r.choice(self.TALKERS) + "GGA," + ",".join(fields)

    def rmc(self):
        r = self.r
        date = self.odd("%02d%02d%02d" % (r.randint(1, 28), r.randint(1, 12), r.randint(0, 99)),
                        ["", "", "310411", "290200", "290201", "290300", "300212", "000013",
                         "320599", "311299", "28051", "2805111", "abcdef", "<&]]>1", "290296",
                         "31061a", "0000ab", "1201-1", "310900", "290204", "   a  "])
        fields = [self.time_field(),
                  self.odd(r.choice("AAAV"), ["", "X", "AV", "v", "V"]),
                  self.lat_field(), self.ns(), self.lon_field(), self.ew(),
                  self.num("%.2f" % r.uniform(0, 50)), self.num("%.2f" % r.uniform(0, 360), ODD_COURSES),
                  date, self.odd("", ["3.1", "A", "V"]), self.odd("", ["E", "W", "A"])]
        kind = r.random()
        if kind < 0.55:
            fields.append(self.odd(r.choice("AADDPFEN"), ["", " ", "*", "ZZ", "a"]))
        elif kind < 0.8:
            fields.append(r.choice("ADPFE"))
            fields.append(self.odd(r.choice("VSCU"), ["", "A"]))
        if r.random() < 0.05:
            fields = fields[:r.randint(8, len(fields))]
        if r.random() < 0.05:
            fields.append("")
        return r.choice(self.TALKERS) + "RMC," + ",".join(fields)

    def gsa(self):
        r = self.r
        ids = [str(r.choice([r.randint(1, 32), r.randint(33, 64), r.randint(65, 96), 0, 97,
                             r.randint(1, 200)])).zfill(2) for _ in range(r.randint(0, 12))]
        ids = (ids + [""] * 12)[:12]
        fields = [self.odd("A", ["", "M"]), self.odd(r.choice("123"), ["", "x", "4294967299"])]
        fields += ids + [self.num("%.2f" % r.uniform(1, 5)), self.num("%.2f" % r.uniform(1, 5)),
                         self.num("%.2f" % r.uniform(1, 5))]
        if r.random() < 0.15:
            fields = fields[:r.randint(0, len(fields))]
        if r.random() < 0.05:
            fields.append("1")
        return r.choice(self.TALKERS) + "GSA," + ",".join(fields)

    def gsv(self):
        r = self.r
        groups = []
        for _ in range(r.randint(0, 4)):
            sid = r.choice([r.randint(1, 32), r.randint(33, 64), r.randint(65, 96), 0, 97,
                            4294967301, -3, 300])
            groups += [self.odd("%02d" % sid, ["", "x"]),
                       self.num(str(r.randint(0, 90)), ("", "300", "-5", "x")),
                       self.num("%03d" % r.randint(0, 359), ("", "70000", "-1")),
                       self.num(str(r.randint(0, 55)), ("", "", "256", "-1"))]
        if groups and r.random() < 0.2:
            groups = groups[:r.randint(0, len(groups))]
        fields = ["3", str(r.randint(1, 3)), str(r.randint(0, 12))] + groups
        return r.choice(self.TALKERS) + "GSV," + ",".join(fields)

    def rms(self):
        r = self.r
        head = r.choice(["PQALD", "PXEMRZD", "PQALDX", "PXEMRZDQ"])
        val = self.num("%.3f" % r.uniform(0, 20),
                       ("", "1e3", "0x1p3", "-nan", "12345678901234567890123.5", "x"))
        tail = r.choice(["", ",2.0", ",", ",x,y"])
        if r.random() < 0.1:
            return head + ",A"
        return head + ",A," + val + tail

    def epoch(self):
        r = self.r
        out = []
        kinds = r.choice([["gga", "rmc"], ["rmc", "gga"], ["gga"], ["rmc"], ["gga", "gga"],
                          ["rmc", "rmc"], ["gga", "rmc", "rmc"], ["gga", "rmc", "gga"]])
        same_time = r.random() < 0.8
        self.forced_time = None
        for n, k in enumerate(kinds):
            if n == 1 and same_time:
                self.forced_time = first
            if n > 0 and r.random() < 0.1:
                self.forced_time = r.choice([None, "092750.003", "092750.004",
                                             "%s%d" % (first, r.randint(0, 9))])
            body = self.gga() if k == "gga" else self.rmc()
            if n == 0:
                first = body.split("GGA,", 1)[-1].split("RMC,", 1)[-1].split(",")[0]
            out.append(body)
            for extra in r.sample(["gsa", "gsv", "gsv", "rms"], r.randint(0, 3)):
                if r.random() < 0.6:
                    out.append(getattr(self, extra)())
        self.forced_time = None
        return out

    def log(self, n_epochs):
        r = self.r
        parts = []
        for _ in range(n_epochs):
            for body in self.epoch():
                s = sentence(body, r, bad_sum=r.random() < 0.03, lower=r.random() < 0.1)
                roll = r.random()
                if roll < 0.02:
                    s = s[:r.randint(1, len(s))]            # broken off
                elif roll < 0.03:
                    s = "$" + "X" * r.randint(90, 110) + "*00"   # over-long
                elif roll < 0.04:
                    s = s.replace("*", "*G", 1)              # bad digit after the star
                elif roll < 0.05:
                    s = "garbage$" + s                       # noise before
                parts.append(s)
                parts.append(r.choice(["\r\n", "\r\n", "\n", "", "\r\n\r\n", " ", "\x00"]))
        return "".join(parts).encode("latin-1")


# ---------------------------------------------------------------------------
# Mutation of real logs (checksum recomputed so the sentence reaches its decoder)
# ---------------------------------------------------------------------------

MUTATION_BYTES = b",,,..**$0123456789AVNSEWMDPF -+<&>]eExp\x00\xff\t\r\n"


def mutate_line(line, r):
    if not line.startswith(b"$") or b"*" not in line:
        return line
    star = line.index(b"*")
    body = bytearray(line[1:star])
    for _ in range(r.randint(1, 3)):
        op = r.random()
        pos = r.randint(0, len(body))
        if op < 0.35 and body:
            pos = min(pos, len(body) - 1)
            body[pos] = r.choice(MUTATION_BYTES)
        elif op < 0.65:
            body[pos:pos] = bytes([r.choice(MUTATION_BYTES)])
        elif body:
            del body[min(pos, len(body) - 1)]
    body = bytes(b for b in body if b not in (0x2A, 0x24)) if r.random() < 0.8 else bytes(body)
    c = 0
    for ch in body:
        c ^= ch
    return b"$" + body + b"*%02X" % c + line[star + 3:]


FIELD_TOKENS = [b"", b"A", b"V", b"X", b"N", b"S", b"E", b"W", b"M", b"-0", b"nan", b"-nan",
                b"0x1p3", b"1e5", b"<&]]>", b"235960", b"123456", b"12345.6", b"310411",
                b"290200", b"000013", b"97", b"0", b"65", b"4294967301", b" 5", b"\x00",
                b"inf", b"-inf", b"1e999", b"1271.49", b"-361", b"360", b"-360"]


def mutate_fields(line, r):
    """Delete, repeat, swap or replace whole fields, so the chain goes out of step."""
    if not line.startswith(b"$") or b"*" not in line:
        return line
    star = line.index(b"*")
    fields = line[1:star].split(b",")
    if len(fields) < 2:
        return line
    k = r.randint(1, len(fields) - 1)
    op = r.random()
    if op < 0.3:
        del fields[k]
    elif op < 0.5:
        fields.insert(k, fields[k])
    elif op < 0.65 and k + 1 < len(fields):
        fields[k], fields[k + 1] = fields[k + 1], fields[k]
    else:
        fields[k] = r.choice(FIELD_TOKENS)
    body = b",".join(fields)
    c = 0
    for ch in body:
        c ^= ch
    return b"$" + body + b"*%02X" % c + line[star + 3:]


def mutate_log(data, r, rate):
    out = []
    for line in data.splitlines(keepends=True):
        if r.random() < rate:
            line = mutate_line(line, r) if r.random() < 0.5 else mutate_fields(line, r)
        out.append(line)
    return b"".join(out)


# ---------------------------------------------------------------------------
# Hand-made logs for the corners random logs rarely reach
# ---------------------------------------------------------------------------

_GGA = "GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,"
_RMC = "GPRMC,092750.000,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,A"

CRAFTED = {
    "rmc 13 commas, empty mode": [_RMC[:-1] + ",V", _RMC.replace("A,5321", "A,5321")[:-2] + ",,V"],
    "rmc 12 commas, empty mode": [_RMC[:-1]],
    "status X keeps its handler": [_GGA, _RMC.replace(",A,5321", ",X,5321")],
    "date of five characters": [_RMC.replace("280511", "28051")],
    "date not in the calendar": [_GGA, _RMC.replace("092750", "092751").replace("280511", "310411"),
                                 "GPGSV,1,1,3,05,10,20,30", "PQALD,A,2.5"],
    "date year not digits": [_RMC.replace("280511", "2802ab"), _RMC.replace("280511", "2902-1")],
    "time with NUL": [_GGA.replace("092750", "\x0092750", 1)],
    "time with line ends": [_GGA.replace("2750", "\n\r50", 1)],
    "time with markup": [_GGA.replace("092750", "0<&]]>", 1), _RMC.replace("092750", "1]]>&<")],
    "hex and huge seconds": [_GGA.replace("092750.000", "12340x.Fp9"),
                             _GGA.replace("092750.000", "123459.9e9")],
    "carries": [_GGA.replace("092750.000", "235960.000"), _GGA.replace("092750.000", "095967.5"),
                _GGA.replace("092750.000", "-12345.0")],
    "keys equal in extended precision": [_GGA.replace("50.000", "50.003"),
                                         _RMC.replace("50.000", "50.004")],
    "altitude as last field": [_GGA.split(",M,")[0], _GGA.split(",61.7")[0] + ",",
                               _GGA.split(",55.2")[0], _GGA.split(",55.2")[0][:-1]],
    "negative zero": ["GPGGA,092750.000,,S,,W,1,8,1.03,-0,M,55.2,M,,"],
    "nan": ["GPGGA,092750.000,48-nan.5,S,0000nan.1,W,1,8,1.03,-nan,M,55.2,M,,"],
    "unreadable altitudes and courses": [
        s for i, (alt, course) in enumerate([("nan", "1271.49"), ("inf", "nan"), ("-inf", "-361"),
                                             ("1e999", "inf"), ("-1e999", "360"), ("-nan", "-360"),
                                             ("61.7", "360.0000001"), ("-12.5", "-1e999")])
        for s in (_GGA.replace("092750", "0927%02d" % (50 + i)).replace("61.7", alt),
                  _RMC.replace("092750", "0927%02d" % (50 + i)).replace("31.66", course))],
    "short gsa": [_GGA, "GPGSA,A,3", "GPGSA,A,2,05,07,09,11", "GPGSA,A", "GPGSA,,,12,13,14",
                  "GPGSAX,M,3,07,05,,,,,,,,,,,1,2,3", ",,GSA,A,3,05"],
    "partial gsv": [_GGA, "GPGSV,1,1,3,05,10,20,30", "GPGSV,1,1,3,05,50", "GPGSV,1,1,3,05,51,77",
                    "GPGSV,1,1,3,07", "GPGSV,1,1,3,4294967301,1,2,3"],
    "long rms": [_GGA, "PQALD,A,1234567890123456789.5", "PXEMRZD,x,,5", "PQALD,A,",
                 "PQALD,A,0.000000000000000001234"],
    "100 and 101 bytes": [_GGA + "0" * 29, _GGA.replace("50.000", "51.000") + "0" * 30],
    "long hemisphere fields": [_GGA.replace(",N,", ",NS,").replace(",W,", ",WE,"),
                               _GGA.replace("50.000", "51.000").replace(",N,", ",X,")],
    "third sentence of an epoch": [_GGA, _RMC, _RMC, _GGA.replace(",1,8,", ",4,8,")],
    "second gga as rmc half": [_GGA, _GGA.replace(",1,8,", ",4,8,")],
    "empty and zero times": [_GGA.replace("092750.000", ""), _RMC.replace("092750.000", ""),
                             _GGA.replace("092750.000", "000000.000")],
}

RAW_INPUTS = {
    "empty file": b"",
    "no dollar": b"hello\r\n" * 300,
    "only dollars": b"$" * 3000,
    "zeros": bytes(100000),
    "star then dollar": (b"$GPGGA,1*$" + sentence(_GGA).encode() + b"\r\n" +
                         sentence(_GGA).encode()[:-1] + b"$" + sentence(_RMC).encode()),
}

SETTINGS_VARIANTS = {
    "long fixed date": "CheckBox1=1\r\nMaskEdit1=2000-01-01-and-more-text\r\n",
    "markers in fixed date": "CheckBox1=1\r\nMaskEdit1=20*0-^1-01\r\n",
    "empty fixed date": "CheckBox1=1\r\nMaskEdit1=\r\n",
    "empty width and scale": "Edit3=\r\nEdit4=\r\nCheckBox2=1\r\n",
    "wide colours": "ShapeStyleTrack=0x1ABCDEF\r\nShapeFullTrack=0\r\nCheckBox2=1\r\n",
    "unreadable values": "ShapeStyleTrack=blue\r\nCheckBox1=x\r\nCheckBox3=2\r\n",
    "control bytes": "MaskEdit1=2000\t01\x7f01\r\nEdit4=0.5\x01\r\n",
    "lower-case keys": "checkbox1=0\r\nmaskedit1=1999-09-09\r\n",
}

# ---------------------------------------------------------------------------

SHORT_ALPHABET = ",,,,,..0123456789AVNSEWMDPF -<&]>*"
SHORT_HEADS = ["GPGGA", "GPRMC", "GPGSA", "GPGSV", "PQALD", "PXEMRZD", ",,GGA", ",,RMC",
               "G,GSA", ",,GSV", "GNRMC,", "GPGGA,"]


def short_sentences_log(r, n):
    """Short sentences of random fields: stresses the field chain at its ends."""
    out = [sentence(_GGA) + "\r\n"]
    for _ in range(n):
        head = r.choice(SHORT_HEADS)
        if r.random() < 0.5:
            fields = [r.choice(["", "A", "V", "N", "S", "E", "W", "M", "1", "12", "123456",
                                "092750.000", "092751", "4807.038", "01131.000", "280511",
                                "310411", "0.5", "-0", "05", "97", "65", "x", "AV", "<&"])
                      for _ in range(r.randint(0, 16))]
            body = head + "," + ",".join(fields)
        else:
            body = head + "".join(r.choice(SHORT_ALPHABET) for _ in range(r.randint(0, 40)))
        body = body.replace("*", "")
        out.append(sentence(body) + "\r\n")
    return "".join(out).encode("latin-1")


def collect_logs():
    logs = []
    for d in (os.path.join(REPO, "tests", "data"), SHARED_REAL):
        if os.path.isdir(d):
            for name in sorted(os.listdir(d)):
                p = os.path.join(d, name)
                if os.path.isfile(p) and not name.endswith(".md"):
                    logs.append(p)
    return logs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", default=DEFAULT_EXE)
    ap.add_argument("--rounds", type=int, default=200)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--keep", default=None)
    ap.add_argument("--no-real", action="store_true")
    ap.add_argument("--max-report", type=int, default=30)
    args = ap.parse_args()
    if not os.path.isfile(args.exe):
        sys.stderr.write("no converter at %s (use --exe or $ZELVOCONVERTER)\n" % args.exe)
        return 2

    r = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="zelvo-diff-")
    keep = args.keep or os.path.join(work, "failures")
    os.makedirs(keep, exist_ok=True)
    inis = {"defaults": None}
    for name, text in (("all-keys", ALL_KEYS_CHANGED), ("odd-texts", ODD_TEXTS)):
        p = os.path.join(work, name + ".ini")
        with open(p, "w", newline="") as fh:
            fh.write(text)
        inis[name] = p

    failures = 0
    checked = 0

    def check(label, data, ini_name):
        nonlocal failures, checked
        checked += 1
        msg = compare(args.exe, data, inis[ini_name], work)
        if msg is None:
            return
        failures += 1
        if failures > args.max_report:
            return
        base = os.path.join(keep, "fail%03d" % failures)
        with open(base + ".nmea", "wb") as fh:
            fh.write(data)
        small = reduce_lines(args.exe, data, inis[ini_name], work) if len(data) < 400000 else data
        with open(base + ".min.nmea", "wb") as fh:
            fh.write(small)
        print("DIFF %s [%s] -> %s" % (label, ini_name, base))
        print(compare(args.exe, small, inis[ini_name], work))
        if len(small) < 1500:
            print("  reduced input: %r" % small)
        sys.stdout.flush()

    for name, bodies in CRAFTED.items():
        data = "\r\n".join(sentence(b) for b in bodies).encode("latin-1") + b"\r\n"
        for ini in ("defaults", "all-keys"):
            check("crafted: " + name, data, ini)
    for name, data in RAW_INPUTS.items():
        check("raw: " + name, data, "defaults")
    sample = b"".join(
        sentence(b).encode() + b"\r\n"
        for b in (_GGA, _RMC, _GGA.replace("092750", "092751").replace(",1,8,", ",0,8,"),
                  "GPGSV,1,1,3,05,10,20,30", _RMC.replace("092750", "092752").replace(",,,A", ",,,E")))
    for name, text in SETTINGS_VARIANTS.items():
        p = os.path.join(work, "variant.ini")
        with open(p, "w", newline="", encoding="latin-1") as fh:
            fh.write("[Settings]\r\n" + text)
        inis["variant"] = p
        check("settings: " + name, sample, "variant")
    inis.pop("variant", None)

    real = [] if args.no_real else collect_logs()
    for p in real:
        with open(p, "rb") as fh:
            data = fh.read()
        for ini in inis:
            check(os.path.basename(p), data, ini)
    for i in range(args.rounds):
        gen = Generator(random.Random(r.random()))
        data = gen.log(r.randint(1, 60))
        check("generated#%d" % i, data, r.choice(list(inis)))
        check("short#%d" % i, short_sentences_log(random.Random(r.random()), 200),
              r.choice(list(inis)))
        if real:
            p = r.choice(real)
            with open(p, "rb") as fh:
                data = fh.read()
            if len(data) > 200000:
                off = r.randrange(0, len(data) - 100000)
                data = data[off:off + 100000]
            data = mutate_log(data, r, r.choice([0.01, 0.05, 0.2]))
            check("mutated %s#%d" % (os.path.basename(p), i), data, r.choice(list(inis)))
    print("%d documents compared, %d differed" % (checked, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
