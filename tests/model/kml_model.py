#!/usr/bin/env python3
"""Reference converter: NMEA 0183 log -> KML document bytes.

A second, self-contained implementation of the NMEA path of the converter,
written for differential testing.  Usage:

    python3 kml_model.py INPUT [CONFIG.ini] > OUT.kml

Without CONFIG the built-in defaults apply; with CONFIG the keys it holds
override the window's initial values.
"""

import datetime
import math
import re
import sys
import time
from fractions import Fraction

# ---------------------------------------------------------------------------
# C library number conversions (glibc semantics)
# ---------------------------------------------------------------------------

_C_SPACE = b" \t\n\v\f\r"
_DIGITS = b"0123456789"
_HEX = b"0123456789abcdefABCDEF"
LONG_MAX = 2**63 - 1
LONG_MIN = -2**63
INT_MIN = -2**31


def c_atol(text):
    """atol: blanks, sign, decimal digits; saturates at the 64-bit range."""
    i, n = 0, len(text)
    while i < n and text[i] in _C_SPACE:
        i += 1
    neg = False
    if i < n and text[i] in b"+-":
        neg = text[i] == 0x2D
        i += 1
    v = 0
    while i < n and text[i] in _DIGITS:
        v = v * 10 + (text[i] - 48)
        i += 1
    if neg:
        v = -v
    if v > LONG_MAX:
        return LONG_MAX
    if v < LONG_MIN:
        return LONG_MIN
    return v


def to_i32(v):
    return ((v + 2**31) % 2**32) - 2**31


def _fraction_to_double(fr):
    """Correctly rounded (nearest-even) conversion of a non-negative Fraction."""
    if fr == 0:
        return 0.0
    # Guard against absurd magnitudes before doing exact big-int division.
    num, den = fr.numerator, fr.denominator
    mag = num.bit_length() - den.bit_length()
    if mag > 1030:
        return math.inf
    if mag < -1130:
        return 0.0
    try:
        return num / den
    except OverflowError:
        return math.inf


def c_strtod(text):
    """strtod as glibc does it, on the longest valid prefix."""
    i, n = 0, len(text)
    while i < n and text[i] in _C_SPACE:
        i += 1
    neg = False
    if i < n and text[i] in b"+-":
        neg = text[i] == 0x2D
        i += 1
    rest = text[i:]
    low = rest[:8].lower()
    v = None
    if low.startswith(b"inf"):
        v = math.inf
    elif low.startswith(b"nan"):
        v = math.nan
    elif (low[:2] == b"0x" and len(rest) > 2 and
          (rest[2] in _HEX or (rest[2:3] == b"." and len(rest) > 3 and rest[3] in _HEX))):
        j = 2
        mant = 0
        exp = 0
        while j < len(rest) and rest[j] in _HEX:
            mant = mant * 16 + int(chr(rest[j]), 16)
            j += 1
        if j < len(rest) and rest[j] == 0x2E:
            j += 1
            while j < len(rest) and rest[j] in _HEX:
                mant = mant * 16 + int(chr(rest[j]), 16)
                exp -= 4
                j += 1
        if j < len(rest) and rest[j] in b"pP":
            k = j + 1
            eneg = False
            if k < len(rest) and rest[k] in b"+-":
                eneg = rest[k] == 0x2D
                k += 1
            if k < len(rest) and rest[k] in _DIGITS:
                e = 0
                while k < len(rest) and rest[k] in _DIGITS:
                    if e < 10**9:
                        e = e * 10 + (rest[k] - 48)
                    k += 1
                exp += -e if eneg else e
        if mant == 0:
            v = 0.0
        elif exp >= 0:
            if mant.bit_length() + exp > 1100:
                v = math.inf
            else:
                v = _fraction_to_double(Fraction(mant * 2**exp))
        else:
            if mant.bit_length() + exp < -1200:
                v = 0.0
            else:
                v = _fraction_to_double(Fraction(mant, 2**(-exp)))
    else:
        j = 0
        nd = 0
        while j < len(rest) and rest[j] in _DIGITS:
            j += 1
            nd += 1
        if j < len(rest) and rest[j] == 0x2E:
            j += 1
            while j < len(rest) and rest[j] in _DIGITS:
                j += 1
                nd += 1
        if nd == 0:
            return 0.0          # no conversion: +0.0, the sign is not applied
        end = j
        if j < len(rest) and rest[j] in b"eE":
            k = j + 1
            if k < len(rest) and rest[k] in b"+-":
                k += 1
            if k < len(rest) and rest[k] in _DIGITS:
                while k < len(rest) and rest[k] in _DIGITS:
                    k += 1
                end = k
        lit = rest[:end].decode("ascii")
        if lit.startswith("."):
            lit = "0" + lit
        if lit.endswith(".") or ".e" in lit or ".E" in lit:
            lit = lit.replace(".", ".0", 1)
        v = float(lit)
    return -v if neg else v


def fmt_f(x, prec):
    """printf("%.<prec>f") as glibc writes it."""
    if math.isnan(x):
        return "-nan" if math.copysign(1.0, x) < 0 else "nan"
    if math.isinf(x):
        return "-inf" if x < 0 else "inf"
    return "%.*f" % (prec, x)


# ---------------------------------------------------------------------------
# 80-bit extended arithmetic for the epoch key
# ---------------------------------------------------------------------------

def _round_ext(fr):
    """Round an exact rational to a 64-bit significand, ties to even."""
    if fr == 0:
        return fr
    sign = -1 if fr < 0 else 1
    a = abs(fr)
    num, den = a.numerator, a.denominator
    e = num.bit_length() - den.bit_length()
    # find e with 2^e <= a < 2^(e+1)
    if Fraction(2) ** e > a:
        e -= 1
    elif Fraction(2) ** (e + 1) <= a:
        e += 1
    scale = 63 - e          # significand as an integer in [2^63, 2^64)
    scaled = a * (Fraction(2) ** scale)
    q, r = divmod(scaled.numerator, scaled.denominator)
    twice = 2 * r
    if twice > scaled.denominator or (twice == scaled.denominator and q & 1):
        q += 1
    return sign * Fraction(q) / (Fraction(2) ** scale)


def time_to_ms(hours, minutes, seconds):
    if math.isnan(seconds) or math.isinf(seconds):
        return INT_MIN
    s = _round_ext(Fraction(minutes * 60) + Fraction(seconds))
    s = _round_ext(s + hours * 3600)
    p = _round_ext(s * 1000)
    t = math.trunc(p)
    if t < -2**31 or t > 2**31 - 1:
        return INT_MIN
    return t


# ---------------------------------------------------------------------------
# The epoch record
# ---------------------------------------------------------------------------

class Sat:
    __slots__ = ("system", "number", "elevation", "azimuth", "snr", "used", "present")

    def __init__(self):
        self.system = 0
        self.number = 0
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
        self.quality = 0
        self.fix_text = b""
        self.sats_used = 0
        self.hdop = 0.0
        self.diff_age = 0.0
        self.speed_kmh = 0.0
        self.course = 0.0
        self.mode_indicator = 0
        self.fix_mode = 0
        self.sats = None          # allocated on first use
        self.has_sats = 0
        self.ms_of_day = 0
        self.has_gga = 0
        self.has_rmc = 0
        self.lat_read = False     # set only by the sentence that opens the epoch
        self.lon_read = False

    def sat(self, i):
        if self.sats is None:
            self.sats = [Sat() for _ in range(97)]
        return self.sats[i]


def today_text():
    t = time.localtime()
    return b"%04d-%02d-%02d*" % (t.tm_year, t.tm_mon, t.tm_mday)


class DropSentence(Exception):
    """An RMC date that is not in the calendar: the sentence is dropped."""


def _leap(y):
    return y % 4 == 0 and (y % 100 != 0 or y % 400 == 0)


def _days_in_month(y, m):
    if m == 2:
        return 29 if _leap(y) else 28
    return 30 if m in (4, 6, 9, 11) else 31


# ---------------------------------------------------------------------------
# Framer
# ---------------------------------------------------------------------------

_HEXSET = frozenset(_HEX)


class Framer:
    def __init__(self):
        self.buf = bytearray(100)
        self.pos = 0
        self.in_body = False
        self.star_seen = False
        self.first_digit_seen = False
        self.first_digit = 0
        self.checksum = 0

    def _zero(self):
        self.buf[:] = bytes(100)

    def feed(self, c):
        if self.pos >= 100:
            self.pos = 0
            self.in_body = self.star_seen = self.first_digit_seen = False
            self.first_digit = 0
            self._zero()
        idle = not (self.in_body or self.star_seen or self.first_digit_seen)
        if idle and c == 0x24:
            self._start()
            self.in_body = True
            return False
        if self.in_body and c == 0x2A:
            self._store(c)
            self.in_body = False
            self.star_seen = True
            return False
        if self.star_seen and not self.first_digit_seen and c in _HEXSET:
            self._store(c)
            self.first_digit = c
            self.first_digit_seen = True
            return False
        if self.star_seen and self.first_digit_seen and c in _HEXSET:
            self._store(c)
            self.star_seen = self.first_digit_seen = False
            want = b"%02X" % self.checksum
            got = bytes([self.first_digit, c]).upper()
            return got == want
        if self.star_seen:
            self.star_seen = self.first_digit_seen = False
            return False
        if self.in_body and c == 0x24:
            self._start()
            return False
        if self.in_body:
            self._store(c)
            self.checksum ^= c
            return False
        return False

    def _start(self):
        self._zero()
        self.buf[0] = 0x24
        self.pos = 1
        self.checksum = 0
        self.first_digit = 0

    def _store(self, c):
        self.buf[self.pos] = c
        self.pos += 1


# ---------------------------------------------------------------------------
# Field chain of GGA and RMC
# ---------------------------------------------------------------------------

def _field_end(buf, start, star):
    j = start
    while j < star and buf[j] != 0x2C:
        j += 1
    return j


def _before_last_point(field):
    p = field.rfind(b".")
    return None if p < 0 else p


def _c_str(b):
    """A text as printf("%s") shows it: up to its first NUL."""
    z = b.find(b"\x00")
    return b if z < 0 else b[:z]


def h_time(rec, buf, o, j, star, field):
    p = _before_last_point(field)
    if p is None:
        if len(field) != 6:
            return False, j
    elif p != 6:
        return False, j
    hh, mm, ss = field[0:2], field[2:4], field[4:]
    if c_atol(ss) > 59:
        ss = b"00.000"
        mm = b"%02d" % (to_i32(c_atol(mm)) + 1)
    if c_atol(mm) > 59:
        mm = b"00"
        hh = b"%02d" % (to_i32(c_atol(hh)) + 1)
    if c_atol(hh) > 23:
        hh = b"00"
    rec.ms_of_day = time_to_ms(to_i32(c_atol(hh)), to_i32(c_atol(mm)), c_strtod(ss))
    rec.time = hh + b":" + mm + b":" + ss
    return True, j


def _coord(field, width):
    p = _before_last_point(field)
    if p is None or p != width:
        return None
    deg = to_i32(c_atol(field[:width - 2]))
    minutes = c_strtod(field[width - 2:])
    return float(deg) + minutes * 0.016666666666666666


def h_lat(rec, buf, o, j, star, field):
    v = _coord(field, 4)
    if v is None:
        return False, j
    rec.latitude = v
    rec.lat_read = True
    return True, j


def h_lon(rec, buf, o, j, star, field):
    v = _coord(field, 5)
    if v is None:
        return False, j
    rec.longitude = v
    rec.lon_read = True
    return True, j


def h_ns(rec, buf, o, j, star, field):
    c = field[0]
    if c == 0x4E:
        return True, o + 2
    if c == 0x53:
        rec.latitude = -rec.latitude
        return True, o + 2
    return False, o + 2


def h_ew(rec, buf, o, j, star, field):
    c = field[0]
    if c == 0x45:
        return True, o + 2
    if c == 0x57:
        rec.longitude = -rec.longitude
        return True, o + 2
    return False, o + 2


def h_quality(rec, buf, o, j, star, field):
    rec.quality = to_i32(c_atol(field))
    return True, j


def h_sats(rec, buf, o, j, star, field):
    rec.sats_used = to_i32(c_atol(field))
    return True, j


def h_hdop(rec, buf, o, j, star, field):
    rec.hdop = c_strtod(field)
    return True, j


def _after_unit(buf, j, star):
    # j: the character that closed a non-empty altitude-like field
    if j >= star:
        return star
    if buf[j + 1] in (0x2C, 0x2A):
        return j
    return j + 2


def h_alt(rec, buf, o, j, star, field):
    rec.has_gga = 1
    height = c_strtod(field)
    # nan, inf and 1e999 would reach <coordinates>: such a field counts as empty.
    if not (math.isnan(height) or math.isinf(height)):
        rec.altitude = height
    return True, _after_unit(buf, j, star)


def h_geoid(rec, buf, o, j, star, field):
    return True, _after_unit(buf, j, star)


def h_diff_age(rec, buf, o, j, star, field):
    rec.diff_age = c_strtod(field)
    return True, j


def h_station(rec, buf, o, j, star, field):
    return True, star


def h_status(rec, buf, o, j, star, field):
    c = field[0]
    if c in (0x41, 0x56):
        rec.status = c
        return True, o + 2
    return False, o + 2


def h_speed(rec, buf, o, j, star, field):
    rec.speed_kmh = c_strtod(field) * 1.852
    return True, j


def h_course(rec, buf, o, j, star, field):
    # A <heading> is an angle of at most a full turn either way; nan, inf
    # and any other course count as an empty field.
    course = c_strtod(field)
    if abs(course) <= 360.0:
        rec.course = course
    return True, j


def h_date(rec, buf, o, j, star, field):
    if len(field) != 6:
        return False, j
    d = c_atol(field[0:2])
    m = c_atol(field[2:4])
    y = c_atol(b"20" + field[4:6])
    if not 1 <= d <= 31:
        d = 1
    if not 1 <= m <= 12:
        m = 1
    if not 1 <= y <= 9999 or d > _days_in_month(y, m):
        raise DropSentence()
    rec.date = b"%04d-%02d-%02d" % (y, m, d)
    rec.has_rmc = 1
    return True, j


def h_discard(rec, buf, o, j, star, field):
    return True, j


def h_mode(rec, buf, o, j, star, field):
    rec.mode_indicator = field[0]
    return True, o + 2


# Handlers that do something special with an empty field.
def _empty_alt(rec, buf, o, star):
    rec.has_gga = 1
    return min(o + 2, star)


def _empty_geoid(rec, buf, o, star):
    return min(o + 2, star)


def _empty_date(rec, buf, o, star):
    rec.date = today_text()
    rec.has_rmc = 1
    return o + 1


GGA_CHAIN = [
    (h_time, None), (h_lat, None), (h_ns, None), (h_lon, None), (h_ew, None),
    (h_quality, None), (h_sats, None), (h_hdop, None), (h_alt, _empty_alt),
    (h_geoid, _empty_geoid), (h_diff_age, None), (h_station, None),
]

RMC_CHAIN = [
    (h_time, None), (h_status, None), (h_lat, None), (h_ns, None), (h_lon, None),
    (h_ew, None), (h_speed, None), (h_course, None), (h_date, _empty_date),
    (h_discard, None), (h_discard, None), (h_mode, None),
]


def run_chain(buf, chain, rec):
    star = buf.index(b"*")
    i = 6
    h = 0
    while i < star:
        if buf[i] == 0x2C and h < len(chain):
            j = _field_end(buf, i + 1, star)
            field = bytes(buf[i + 1:j])
            handler, on_empty = chain[h]
            if not field:
                if on_empty is not None:
                    i = on_empty(rec, buf, i, star)
                else:
                    i = i + 1
                h += 1
                continue
            ok, i = handler(rec, buf, i, j, star, field)
            if ok:
                h += 1
        else:
            i += 1


# ---------------------------------------------------------------------------
# GSA, GSV, RMS
# ---------------------------------------------------------------------------

def decode_gsa(buf, rec):
    star = buf.index(b"*")
    p = 7
    while p < star and buf[p] != 0x2C:
        p += 1
    if p >= star:
        return
    q = _field_end(buf, p + 1, star)
    rec.fix_mode = to_i32(c_atol(bytes(buf[p + 1:q])))
    if q >= star:
        return
    start = q + 1
    i = star + 2
    found = 0
    end = None
    while i >= 1:
        if buf[i] == 0x2C:
            found += 1
            if found == 3:
                end = i
                break
            i -= 2
        else:
            i -= 1
    if end is None:
        return
    text = bytearray()
    for k in range(start, end + 1):
        c = buf[k]
        if c == 0x2C:
            sid = c_atol(bytes(text))
            text = bytearray()
            if 1 <= sid <= 96:
                rec.sat(sid).used = 1
        else:
            text.append(c)


def _sat_identity(sid):
    if sid <= 32:
        return 0x47, sid
    if sid <= 64:
        return 0x53, sid + 87
    return 0x52, sid - 64


def decode_gsv(buf, rec):
    star = buf.index(b"*")
    i = 1
    commas = 0
    while i < star and commas < 4:
        if buf[i] == 0x2C:
            commas += 1
        i += 1
    if commas < 4:
        return
    pos = i
    while True:
        j = _field_end(buf, pos, star)
        sid = c_atol(bytes(buf[pos:j]))
        valid = 1 <= sid <= 96
        s = None
        if valid:
            s = rec.sat(sid)
            s.system, s.number = _sat_identity(sid)
            s.number &= 0xFF
        if j >= star:
            return
        pos = j + 1
        j = _field_end(buf, pos, star)
        if j >= star:
            return
        if valid:
            s.elevation = c_atol(bytes(buf[pos:j])) & 0xFF
        pos = j + 1
        j = _field_end(buf, pos, star)
        if j >= star:
            return
        if valid:
            s.azimuth = c_atol(bytes(buf[pos:j])) & 0xFFFF
        pos = j + 1
        j = _field_end(buf, pos, star)
        if valid:
            s.snr = c_atol(bytes(buf[pos:j])) & 0xFF
            s.present = 1
            rec.has_sats = 1
        if j >= star:
            return
        pos = j + 1


def decode_rms(buf, rec):
    star = buf.index(b"*")
    commas = 0
    for i in range(star):
        if buf[i] == 0x2C:
            commas += 1
            if commas == 2:
                if buf[i + 1] == 0x2A:
                    return
                rec.rms = c_strtod(bytes(buf[i + 1:star])[:19])
                return


def merge_epoch(fresh, last):
    if last.has_rmc == 1:
        last.altitude = fresh.altitude
        last.quality = fresh.quality
        last.fix_text = fresh.fix_text
        last.sats_used = fresh.sats_used
        last.hdop = fresh.hdop
        last.has_gga = fresh.has_gga
    elif last.has_gga == 1:
        last.speed_kmh = fresh.speed_kmh
        last.course = fresh.course
        last.status = fresh.status
        last.has_rmc = fresh.has_rmc
        last.date = last.date + fresh.date


# ---------------------------------------------------------------------------
# Ingestion
# ---------------------------------------------------------------------------

def ingest(data):
    framer = Framer()
    epochs = []
    buf = framer.buf
    for c in data:
        if not framer.feed(c):
            continue
        t = bytes(buf[3:6])
        if t == b"GGA" or (t == b"RMC" and buf.count(b",") in (11, 12, 13)):
            fresh = Epoch()
            try:
                run_chain(buf, GGA_CHAIN if t == b"GGA" else RMC_CHAIN, fresh)
            except DropSentence:
                continue
            if epochs and epochs[-1].ms_of_day == fresh.ms_of_day:
                merge_epoch(fresh, epochs[-1])
            else:
                epochs.append(fresh)
        elif t == b"RMC":
            pass
        elif not epochs:
            pass
        elif t == b"GSV":
            decode_gsv(buf, epochs[-1])
        elif t == b"GSA":
            decode_gsa(buf, epochs[-1])
        elif buf[0:6] == b"$PQALD" or buf[0:8] == b"$PXEMRZD":
            decode_rms(buf, epochs[-1])
    return epochs


# ---------------------------------------------------------------------------
# Settings
# ---------------------------------------------------------------------------

BUILT_IN = {
    "checkbox1": 1, "maskedit1": b"2000-01-01", "shapestyletrack": 255,
    "shapefulltrack": 32768, "edit3": b"5", "checkbox2": 0, "checkbox4": 0,
    "checkbox3": 0, "edit4": b"0.5",
}
FORM_INITIAL = dict(BUILT_IN, shapestyletrack=32768, shapefulltrack=255)
_KINDS = {
    "checkbox1": "int", "maskedit1": "text", "shapestyletrack": "int",
    "shapefulltrack": "int", "edit3": "text", "checkbox2": "int",
    "checkbox4": "int", "checkbox3": "int", "edit4": "text",
}


def _profile_int(text):
    t = text.strip()
    try:
        if t[:2].lower() == b"0x":
            return int(t[2:], 16)
        return int(t, 10)
    except ValueError:
        return None


def load_settings(path):
    if path is None:
        return dict(BUILT_IN)
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError:
        return dict(BUILT_IN)
    s = dict(FORM_INITIAL)
    section = None
    for line in raw.splitlines():
        line = line.strip()
        if line.startswith(b"[") and b"]" in line:
            section = line[1:line.index(b"]")].strip().lower()
            continue
        if section != b"settings" or b"=" not in line:
            continue
        k, v = line.split(b"=", 1)
        key = k.strip().decode("latin-1").lower()
        if key not in _KINDS:
            continue
        v = v.strip()
        if _KINDS[key] == "text":
            s[key] = v[:2047]
        else:
            iv = _profile_int(v)
            if iv is not None:
                s[key] = to_i32(iv)
    return s


# ---------------------------------------------------------------------------
# KML
# ---------------------------------------------------------------------------

def _printable(b):
    b = _c_str(b)
    return bytes(c if (0x20 <= c <= 0x7E or c == 0x09) else 0x3F for c in b)


def in_element(b):
    b = _printable(b)
    return b.replace(b"&", b"&amp;").replace(b"<", b"&lt;").replace(b"]]>", b"]]&gt;")


def in_cdata(b):
    return _printable(b).replace(b"]]>", b"]]]]><![CDATA[>")


def s_text(b):
    """A text in a "%s" position: an empty text prints "(null)"."""
    return b"(null)" if not b else b


def colour_text(v):
    return b"FF%06X" % (v & 0xFFFFFFFF)


def f(x, prec=6):
    return fmt_f(x, prec).encode()


def line_style(out, width, colour, ident):
    out += [b'<Style id="%s">\n' % ident, b"<LineStyle>\n",
            b"<color>%s</color>\n" % colour_text(colour),
            b"<width>%s</width>\n" % s_text(in_element(width)) if width else b"<width>(null)</width>\n",
            b"</LineStyle>\n", b"</Style>\n"]


def gga_status_text(r):
    q = r.quality
    if r.has_gga == 1:
        names = {0: b"N/A (%d)", 1: b"Fix valid (%d)", 2: b"Diff fix valid (%d)",
                 4: b"RTK Fix (%d)", 5: b"RTK Float (%d)", 6: b"Dead (%d)"}
        if q in names:
            return names[q] % q
    elif q == 1:
        return b"%d" % q
    return b"None"


def gsa_status_text(r):
    m = r.fix_mode
    return {1: b"N/A (%d)", 2: b"2D (%d)", 3: b"3D (%d)"}.get(m, b"%d") % m


def positioned(r):
    """Both coordinates were read and lie on the globe (a NaN lies nowhere)."""
    if not (r.lat_read and r.lon_read):
        return False
    return -90.0 <= r.latitude <= 90.0 and -180.0 <= r.longitude <= 180.0


_WHEN = re.compile(rb"(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(\.\d+)?Z")


def readable_when(text):
    """A <when> text that KML readers accept: a real calendar date and clock time."""
    m = _WHEN.fullmatch(text)
    if m is None:
        return False
    year, month, day, hour, minute, second = (int(g) for g in m.groups()[:6])
    try:
        datetime.date(year, month, day)
    except ValueError:
        return False
    return hour < 24 and minute < 60 and second < 60


def stamp_date(d):
    if b"^" in d:
        d = d[:d.index(b"^")]
    elif b"*" in d:
        d = d[:d.index(b"*")]
    return in_element(d[:14])


def placemark_tail(r, icon, show_height, scale):
    """The placemark after its description tables: look-at, time stamp, icon style, point."""
    out = []
    when_time = in_element(r.time) if r.time else b"(null)"
    when = b"%sT%sZ" % (stamp_date(r.date), when_time)
    stamp = [b"<TimeStamp>\n", b"<when>%s</when>\n" % when, b"</TimeStamp>\n"]
    out += [
        b"]]></description>\n",
        b"<LookAt>\n",
        b"<longitude>%s</longitude>\n" % f(r.longitude),
        b"<latitude>%s</latitude>\n" % f(r.latitude),
        b"<tilt>66</tilt>\n",
        b"</LookAt>\n",
    ]
    if readable_when(when):
        out += stamp
    out += [
        b"<Style>\n",
        b"<IconStyle>\n",
        b"<scale>%s</scale>\n" % (in_element(scale) if scale else b"(null)"),
        b"<heading>%s</heading>\n" % f(r.course),
        b"<Icon>\n",
        b"<href>%s</href>\n" % icon,
        b"</Icon>\n",
        b"</IconStyle>\n",
        b"</Style>\n",
        b"<Point>\n",
    ]
    if show_height == 1:
        out += [b"<extrude>1</extrude>\n", b"<altitudeMode>relativeToGround</altitudeMode>\n"]
    out += [
        b"<coordinates>%s,%s,%s</coordinates>\n" % (f(r.longitude), f(r.latitude), f(r.altitude)),
        b"</Point>\n",
        b"</Placemark>\n",
    ]
    return out


def placemark(out, r, number, icon, show_height, scale):
    date_cell = in_cdata(r.date) if r.date else b"(null)"
    time_cell = in_cdata(r.time) if r.time else b"(null)"
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
        b"\t<tr><th>Status(GGA)</th><td>%s</td></tr>\n" % gga_status_text(r),
        b"\t<tr><th>Diff age</th><td>%s</td></tr>\n" % f(r.diff_age, 2),
        b"\t<tr><th>Status(GSA)</th><td>%s</td></tr>\n" % gsa_status_text(r),
        b"\t<tr><th>HDOP</th><td>%s</td></tr>\n" % f(r.hdop, 3),
        b"\t<tr><th>SAT</th><td>%d</td></tr>\n" % r.sats_used,
        b"\t</table>\n",
    ]
    if r.has_sats == 1:
        out += [
            b"\t<table>\n",
            b"<tfoot><tr><th colspan=5 align=center>Information about the satellites</th></tr></tfoot>\n",
            b"\t<tr>\t<th>SYS</th>\t<th>Svn</th>\t<th>El</th>\t<th>Az</th>\t<th>SNR</th>\t</tr>\n",
        ]
        for s in r.sats:
            if s.present != 1:
                continue
            sys_cell = b"\t<td>%c</td>" % s.system if s.system else b"\t<td></td>"
            svn = b"\t<td>%d*</td>" % s.number if s.used == 1 else b"\t<td>%d</td>" % s.number
            out.append(b"\t<tr>" + sys_cell + svn + b"\t<td>%d</td>" % s.elevation +
                       b"\t<td>%d</td>" % s.azimuth + b"\t<td>%d</td>" % s.snr + b"\t</tr>\n")
        out.append(b"\t</table>\n")
    out += placemark_tail(r, icon, show_height, scale)


def _track(out, records, name, opening, prefix, keep):
    out += [opening, b"<name>%s</name>\n" % name, b"<styleUrl>#%s</styleUrl>\n" % name,
            b"<LineString>\n", b"<tessellate>1</tessellate>\n", b"<coordinates>\n"]
    for r in records:
        if keep(r):
            out.append(prefix + b"%s,%s,%s\n" % (f(r.longitude), f(r.latitude), f(r.altitude)))
    out += [b"</coordinates>\n", b"</LineString>\n", b"</Placemark>\n"]


def _valid_nmea(r):
    A = 0x41
    return ((r.has_gga == 1 and r.has_rmc == 1 and r.status == A) or
            (r.has_gga == 1 and r.has_rmc == 0 and r.quality != 0) or
            (r.has_gga == 0 and r.has_rmc == 1 and r.status == A))


ICONS = {"Auto": b"255.png", "Diff": b"65535.png", "RtkFix": b"32768.png",
         "RtkFloat": b"16711935.png", "Estimated": b"16776960.png", "Invalid": b"0.png"}


def _classes(r, settings):
    """Date work and the placemark classes of one record, in order."""
    A, V, E = 0x41, 0x56, 0x45
    fixed = settings["checkbox1"] != 0
    fixed_date = settings["maskedit1"] + b"^"
    q, mode = r.quality, r.mode_indicator
    out = []
    both = r.has_gga == 1 and r.has_rmc == 1
    if both and (r.status == A or q != 0):
        if fixed:
            r.date = fixed_date
        if q == 1 or mode == A:
            out.append("Auto")
        elif q == 2 or mode == 0x44:
            out.append("Diff")
        elif q == 4 or mode == 0x50:
            out.append("RtkFix")
        elif q == 5 or mode == 0x46:
            out.append("RtkFloat")
        if q == 6 or mode == E:
            out.append("Estimated")
    if both and (r.status == V or q == 0):
        if fixed:
            r.date = fixed_date
        out.append("Invalid")
    if r.has_gga == 1 and r.has_rmc == 0 and q != 0:
        r.date = fixed_date if fixed else today_text()
        c = {1: "Auto", 2: "Diff", 4: "RtkFix", 5: "RtkFloat", 6: "Estimated"}.get(q)
        if c:
            out.append(c)
    if r.has_gga == 0 and r.has_rmc == 1 and r.status == A:
        c = {0x20: "Auto", A: "Auto", 0x44: "Diff", 0x50: "RtkFix", 0x46: "RtkFloat",
             E: "Estimated"}.get(mode)
        if c:
            out.append(c)
    if r.has_gga == 0 and r.has_rmc == 1 and r.status == V:
        out.append("Invalid")
    return out


KML_ROOT = b'<kml xmlns="http://www.opengis.net/kml/2.2">\n'


def convert(data, settings):
    epochs = ingest(data)
    out = [KML_ROOT, b"<Document>\n"]
    width = settings["edit3"]
    line_style(out, width, settings["shapestyletrack"], b"NormalTrack")
    if settings["checkbox2"] != 0:
        line_style(out, width, settings["shapefulltrack"], b"IncorrectTrack")
    out += [b"<Folder>\n", b"<name>WayPoints</name>\n"]
    n = 0
    for r in epochs:
        classes = _classes(r, settings)  # its date work happens either way
        if not positioned(r):
            continue
        for cls in classes:
            placemark(out, r, n, ICONS[cls], 1 if settings["checkbox3"] != 0 else 0,
                      settings["edit4"])
            n += 1
    out.append(b"</Folder>\n")
    drawn = [r for r in epochs if positioned(r)]
    if epochs:
        _track(out, drawn, b"NormalTrack", b"<Placemark>\n", b"", _valid_nmea)
    if settings["checkbox2"] != 0:
        _track(out, drawn, b"IncorrectTrack", b"<Placemark\n>", b"\t", lambda r: True)
    out += [b"</Document>\n", b"</kml>"]
    return b"".join(out).replace(b"\n", b"\r\n")


def main(argv):
    if len(argv) < 2:
        sys.stderr.write("usage: kml_model.py INPUT [CONFIG.ini]\n")
        return 2
    with open(argv[1], "rb") as fh:
        data = fh.read()
    settings = load_settings(argv[2] if len(argv) > 2 else None)
    sys.stdout.buffer.write(convert(data, settings))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
