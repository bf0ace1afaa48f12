#!/usr/bin/env python3
"""Reference converter: binary (TOLV) receiver log -> KML document bytes.

A second, self-contained implementation of the binary path of the converter,
written for differential testing.  Usage:

    python3 tolv_model.py INPUT [CONFIG.ini] > OUT.kml

Without CONFIG the built-in defaults apply; with CONFIG the keys it holds
override the window's initial values.  Number printing, settings and the
document skeleton are shared with the NMEA model (kml_model.py).
"""

import math
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kml_model  # noqa: E402
from kml_model import f, in_cdata, in_element, line_style, load_settings, positioned, stamp_date  # noqa: E402

DLE, ETX = 0x10, 0x03
FRAME_SIZE = 2049
INT_MIN = -2**31

IDLE, AWAIT_ID, IN_FRAME, DLE_PENDING = range(4)


# ---------------------------------------------------------------------------
# Small C helpers
# ---------------------------------------------------------------------------

def c_div(a, b):
    """Integer division truncating toward zero."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def c_rem(a, b):
    """Remainder whose sign follows the dividend."""
    return a - b * c_div(a, b)


def s16(v):
    v &= 0xFFFF
    return v - 0x10000 if v & 0x8000 else v


def s32(v):
    v &= 0xFFFFFFFF
    return v - 0x100000000 if v & 0x80000000 else v


def s8(v):
    v &= 0xFF
    return v - 0x100 if v & 0x80 else v


def trunc_i32(x):
    """double -> int32 as the x86 conversion does: INT_MIN when out of range."""
    if math.isnan(x) or math.isinf(x):
        return INT_MIN
    t = math.trunc(x)
    if t < -2**31 or t > 2**31 - 1:
        return INT_MIN
    return t


# ---------------------------------------------------------------------------
# Frame reader
# ---------------------------------------------------------------------------

class Frame:
    def __init__(self):
        self.data = bytearray(FRAME_SIZE)
        self.id = 0
        self.length = 0


class Framer:
    def __init__(self):
        self.state = IDLE
        self.count = 0

    def _store(self, fr, c):
        fr.data[self.count] = c
        self.count += 1

    def _clear(self, fr):
        fr.data[:] = bytes(FRAME_SIZE)

    def feed(self, c, fr):
        if self.count > 2048:
            self._clear(fr)
            self.count = 0
            self.state = IDLE
            return 0
        st = self.state
        if st == IDLE:
            if c == DLE:
                self._clear(fr)
                self.count = 0
                self._store(fr, c)
                self.state = AWAIT_ID
            return 0
        if st == AWAIT_ID:
            if c != DLE:
                self._store(fr, c)
                self.state = IN_FRAME
            return 0
        if st == IN_FRAME:
            self._store(fr, c)
            if c == DLE:
                self.state = DLE_PENDING
            return 0
        # DLE_PENDING
        if c == DLE:
            self.state = IN_FRAME
            return 0
        if c == 0xFF:
            self._store(fr, c)
            self.state = IN_FRAME
            return 0
        if c == ETX:
            fr.data[self.count] = c
            fr.length = self.count
            fr.id = fr.data[1]
            self.count = 0
            self.state = IDLE
            return 1
        fr.id = fr.data[1]
        fr.length = (self.count - 1) & 0xFFFF
        self._clear(fr)
        self.count = 0
        self._store(fr, DLE)
        self._store(fr, c)
        self.state = AWAIT_ID
        return 2

    def reset(self):
        self.state = IDLE
        self.count = 0


# ---------------------------------------------------------------------------
# The epoch record
# ---------------------------------------------------------------------------

class Sat:
    __slots__ = ("system", "number", "channel", "elevation", "azimuth", "snr",
                 "used", "present")

    def __init__(self):
        self.system = 0
        self.number = 0
        self.channel = 0
        self.elevation = 0
        self.azimuth = 0
        self.snr = 0
        self.used = 0
        self.present = 0


class Epoch:
    def __init__(self):
        self.time = b""
        self.latitude = 0.0
        self.longitude = 0.0
        self.altitude = 0.0
        self.date = b""
        self.status = 0
        self.rms = 0.0
        self.fix_text = b""
        self.sats_used = 0
        self.hdop = 0.0
        self.speed_kmh = 0.0
        self.course = 0.0
        self.sats = [Sat() for _ in range(97)]
        self.has_sats = 0
        self.ms_of_day = 0
        self.lat_read = False     # set when the position message is read
        self.lon_read = False


# ---------------------------------------------------------------------------
# Payload readers (payload offset k is frame position k + 2)
# ---------------------------------------------------------------------------

def p_u8(fr, k):
    return fr.data[k + 2]


def p_u16(fr, k):
    return struct.unpack_from("<H", fr.data, k + 2)[0]


def p_i16(fr, k):
    return struct.unpack_from("<h", fr.data, k + 2)[0]


def p_u32(fr, k):
    return struct.unpack_from("<I", fr.data, k + 2)[0]


def p_f32(fr, k):
    return struct.unpack_from("<f", fr.data, k + 2)[0]


def p_f64(fr, k):
    return struct.unpack_from("<d", fr.data, k + 2)[0]


def p_ext_ms(fr, k):
    """Whole milliseconds of an 80-bit extended value, truncated toward zero."""
    significand = struct.unpack_from("<Q", fr.data, k + 2)[0]
    se = struct.unpack_from("<H", fr.data, k + 10)[0]
    negative = bool(se & 0x8000)
    exponent = se & 0x7FFF
    if exponent == 0x7FFF:
        return INT_MIN
    shift = exponent - 16383 - 63
    if significand == 0:
        return 0
    if shift >= 0:
        if shift > 40:
            return INT_MIN
        mag = significand << shift
    else:
        mag = significand >> (-shift) if -shift < 200 else 0
    v = -mag if negative else mag
    if v < -2**31 or v > 2**31 - 1:
        return INT_MIN
    return v


# ---------------------------------------------------------------------------
# Week and time of week
# ---------------------------------------------------------------------------

def convert_week_time(ms, week, rec):
    sod = c_rem(c_div(ms, 1000), 86400)
    msp = (ms & 0xFFFFFFFF) % 1000
    hours = c_div(sod, 3600) & 0xFF
    minutes = c_div(c_rem(sod, 3600), 60) & 0xFF
    seconds = c_rem(sod, 60) & 0xFF
    rec.time = b"%02d:%02d:%02d.%03d" % (hours, minutes, seconds, msp)
    rec.ms_of_day = s32(hours * 3600000 + minutes * 60000 + seconds * 1000 + msp)

    d = c_div(ms, 86400000)
    if week < 0:
        aw = 0
    elif week <= 1022:
        aw = s16(week + 1024)
    else:
        aw = s16(week + 2048)
    b = s32(d + 7 * aw + 68)
    if b < 123:
        b = b + 366
        y = -1
    else:
        y = s16(math.trunc((b - 122.1) / 365.25))
        b = s32(b - math.trunc(y * 365.25))
    mi = math.trunc(b / 30.6001)
    day = (b - math.trunc(mi * 30.6001)) & 0xFF
    month = (mi - 1) & 0xFF
    if month > 12:
        month = (mi - 13) & 0xFF
        if month < 3:
            y = s16(y + 1)
    year = (y + 1980) & 0xFFFF
    rec.date = b"%04d-%02d-%02d" % (year, month, day)


# ---------------------------------------------------------------------------
# Message decoders
# ---------------------------------------------------------------------------

FIX_TEXTS = {
    (0, 0, 0): b"3D", (0, 0, 1): b"3D,RAIM", (0, 1, 0): b"3D,DIFF",
    (0, 1, 1): b"3D,DIFF,RAIM", (1, 0, 0): b"2D", (1, 0, 1): b"2D,RAIM",
    (1, 1, 0): b"2D,DIFF", (1, 1, 1): b"2D,DIFF,RAIM",
}


def _atan2_deg(east, north):
    if math.isnan(east) or math.isnan(north):
        a = north + east          # the NaN passes through as the library does
    else:
        a = math.atan2(east, north)
    return a * 180.0 / math.pi


def decode_pvt(fr, rec):
    rec.latitude = p_f64(fr, 0) * 180.0 / math.pi
    rec.lat_read = rec.lon_read = True
    rec.longitude = p_f64(fr, 8) * 180.0 / math.pi
    height = p_f64(fr, 16)
    rec.altitude = height if math.isfinite(height) else 0.0  # nan or inf: as if absent
    rec.rms = p_f32(fr, 24)
    convert_week_time(p_ext_ms(fr, 28), p_i16(fr, 38), rec)
    north = p_f64(fr, 40)
    east = p_f64(fr, 48)
    sq = north * north + east * east
    rec.speed_kmh = (sq if math.isnan(sq) else math.sqrt(sq)) * 3.6
    if north == 0.0 and east == 0.0:
        rec.course = 0.0
    else:
        c = _atan2_deg(east, north)
        if c < 0:
            c = c + 360.0
        # A NaN velocity gives no heading a reader takes: as if standing still.
        rec.course = c if abs(c) <= 360.0 else 0.0
    flags = p_u8(fr, 68)
    if not flags & 1:
        rec.status = 0x56
        rec.fix_text = b"No Fix"
    else:
        rec.status = 0x41
        rec.fix_text = FIX_TEXTS[(flags >> 1 & 1, flags >> 3 & 1, flags >> 4 & 1)]


def decode_satellites(fr, rec):
    n = fr.length
    if c_rem(n - 4, 7) == 0:
        count = c_div(n - 4, 7)
    elif c_rem(n - 8, 7) == 0:
        count = c_div(n - 8, 7)
    else:
        return
    if count >= 40:
        return
    for i in range(count):
        o = 7 * i
        system = p_u8(fr, o)
        num = p_u8(fr, o + 1)
        if system == 1 and 1 <= num <= 32:
            idx, letter = num, 0x47
        elif system == 2 and 1 <= num <= 32:
            idx, letter = num + 64, 0x52
        elif system == 4 and 33 <= num - 87 <= 64:
            idx, letter = num - 87, 0x53
        else:
            continue
        s = rec.sats[idx]
        s.system = letter
        s.number = num
        s.channel = s8(p_u8(fr, o + 2))
        s.elevation = p_u8(fr, o + 3)
        s.azimuth = p_u16(fr, o + 4)
        s.snr = p_u8(fr, o + 6)
        s.present = 1
        rec.has_sats = 1


def decode_dop(fr, rec):
    rec.hdop = p_f32(fr, 2)


def decode_used_satellites(fr, rec):
    n = fr.length
    if not (c_rem(n - 20, 5) == 0 or c_rem(n - 24, 5) == 0):
        rec.sats_used = -1
        return
    gps, glo, sbas = p_u32(fr, 4), p_u32(fr, 8), p_u32(fr, 12)
    for i in range(32):
        rec.sats[i + 1].used = gps >> i & 1
        rec.sats[i + 65].used = glo >> i & 1
        rec.sats[i + 33].used = sbas >> i & 1
    rec.sats_used = bin(gps).count("1") + bin(glo).count("1") + bin(sbas).count("1")


# ---------------------------------------------------------------------------
# Ingestion
# ---------------------------------------------------------------------------

def ingest(data):
    epochs = []
    framer = Framer()
    fr = Frame()
    for c in data:
        if framer.feed(c, fr) != 1:
            continue
        fid, n = fr.id, fr.length
        if fid == 0x88:
            if n in (72, 76):
                rec = Epoch()
                decode_pvt(fr, rec)
                epochs.append(rec)
        elif fid == 0x52:
            if epochs:
                decode_satellites(fr, epochs[-1])
        elif fid == 0x60:
            if n in (14, 18) and epochs:
                decode_dop(fr, epochs[-1])
        elif fid == 0x93:
            if epochs:
                decode_used_satellites(fr, epochs[-1])
    framer.reset()
    return epochs


# ---------------------------------------------------------------------------
# KML
# ---------------------------------------------------------------------------

ICON_AUTO = b"255.png"
ICON_INVALID = b"0.png"


def placemark(out, r, number, icon, show_height, scale):
    date_cell = in_cdata(r.date) if r.date else b"(null)"
    time_cell = in_cdata(r.time) if r.time else b"(null)"
    fix_cell = in_cdata(r.fix_text) if r.fix_text else b"(null)"
    out += [
        b"<Placemark>\n",
        b"<description><![CDATA[\n",
        b"\t<table>\n",
        b"\t<tr><th>NN</th><td>%d</td></tr>\n" % number,
        b"\t<tr><th>Longitude</th><td>%s</td></tr>\n" % f(r.longitude),
        b"\t<tr><th>Latitude</th><td>%s</td></tr>\n" % f(r.latitude),
        b"\t<tr><th>Altitude</th><td>%sm</td></tr>\n" % f(r.altitude, 3),
        b"\t<tr><th>Time</th><td>%sT%sZ</td></tr>\n" % (date_cell, time_cell),
        b"\t<tr><th>Speed</th><td>%skmh</td></tr>\n" % f(r.speed_kmh, 1),
        b"\t<tr><th>COG</th><td>%s</td></tr>\n" % f(r.course, 1),
        b"\t<tr><th>RMS</th><td>%sm</td></tr>\n" % f(r.rms, 1),
        b"\t<tr><th>Status</th><td>%s</td></tr>\n" % fix_cell,
        b"\t<tr><th>HDOP</th><td>%s</td></tr>\n" % f(r.hdop, 3),
    ]
    if r.sats_used == -1:
        out.append(b"\t<tr><th>SAT</th><td>None</td></tr>\n")
    else:
        out.append(b"\t<tr><th>SAT</th><td>%d</td></tr>\n" % r.sats_used)
    out.append(b"\t</table>\n")
    if r.has_sats == 1:
        out += [
            b"\t<table>\n",
            b"<tfoot><tr><th colspan=5 align=center>Information about the satellites</th></tr></tfoot>\n",
            b"\t<tr>\t<th>SYS</th>\t<th>Svn</th>\t<th>El</th>\t<th>Az</th>\t<th>SNR</th>\t</tr>\n",
        ]
        for s in r.sats:
            if s.present != 1:
                continue
            if s.system == 0x52:
                sys_cell = b"\t<td>R/%d</td>" % s.channel
            else:
                sys_cell = b"\t<td>%c</td>" % s.system
            svn = b"\t<td>%d*</td>" % s.number if s.used == 1 else b"\t<td>%d</td>" % s.number
            out.append(b"\t<tr>" + sys_cell + svn + b"\t<td>%d</td>" % s.elevation +
                       b"\t<td>%d</td>" % s.azimuth + b"\t<td>%d</td>" % s.snr + b"\t</tr>\n")
        out.append(b"\t</table>\n")
    out += kml_model.placemark_tail(r, icon, show_height, scale)


def track(out, records, name, opening, keep):
    out += [opening, b"<name>%s</name>\n" % name, b"<styleUrl>#%s</styleUrl>\n" % name,
            b"<LineString>\n", b"<tessellate>1</tessellate>\n", b"<coordinates>\n"]
    for r in records:
        if keep(r):
            out.append(b"\t%s,%s,%s\n" % (f(r.longitude), f(r.latitude), f(r.altitude)))
    out += [b"</coordinates>\n", b"</LineString>\n", b"</Placemark>\n"]


def convert(data, settings):
    epochs = ingest(data)
    out = [kml_model.KML_ROOT, b"<Document>\n"]
    width = settings["edit3"]
    line_style(out, width, settings["shapestyletrack"], b"NormalTrack")
    if settings["checkbox2"] != 0:
        line_style(out, width, settings["shapefulltrack"], b"IncorrectTrack")
    out += [b"<Folder>\n", b"<name>WayPoints</name>\n"]
    epochs = [r for r in epochs if positioned(r)]  # the rest is drawn nowhere
    n = 0
    show_height = 1 if settings["checkbox3"] != 0 else 0
    for r in epochs:
        if r.status == 0x41:
            icon = ICON_AUTO
        elif r.status == 0x56:
            icon = ICON_INVALID
        else:
            continue
        placemark(out, r, n, icon, show_height, settings["edit4"])
        n += 1
    out.append(b"</Folder>\n")
    track(out, epochs, b"NormalTrack", b"<Placemark>\n", lambda r: r.status == 0x41)
    if settings["checkbox2"] != 0:
        track(out, epochs, b"IncorrectTrack", b"<Placemark\n>", lambda r: True)
    out += [b"</Document>\n", b"</kml>"]
    return b"".join(out).replace(b"\n", b"\r\n")


def main(argv):
    if len(argv) < 2:
        sys.stderr.write("usage: tolv_model.py INPUT [CONFIG.ini]\n")
        return 2
    with open(argv[1], "rb") as fh:
        data = fh.read()
    settings = load_settings(argv[2] if len(argv) > 2 else None)
    sys.stdout.buffer.write(convert(data, settings))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
