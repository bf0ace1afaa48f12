#include "output/kml_writer.h"

#include <cstdio>

namespace zelvo {

std::string kml_colour_text(ColorRef colour) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "FF%06X", static_cast<unsigned>(colour));
    return buf;
}

void write_line_style(KmlStream& out, std::string_view width, ColorRef colour, std::string_view id) {
    out.put("<Style id=\""_kml).put(id).put("\">\n"_kml);
    out.put("<LineStyle>\n"_kml);
    out.put("<color>"_kml).put(kml_colour_text(colour)).put("</color>\n"_kml);
    out.put("<width>"_kml).put_element_text(width).put("</width>\n"_kml);
    out.put("</LineStyle>\n"_kml);
    out.put("</Style>\n"_kml);
}

namespace {

void put_gga_status(KmlStream& out, const waypoints& r) {
    const char* label = nullptr;
    if (r.has_gga == 1) {
        switch (r.quality) {
            case 0: label = "N/A ("; break;
            case 1: label = "Fix valid ("; break;
            case 2: label = "Diff fix valid ("; break;
            case 4: label = "RTK Fix ("; break;
            case 5: label = "RTK Float ("; break;
            case 6: label = "Dead ("; break;
            default: break;
        }
    } else if (r.quality == 1) {
        out.put_int(r.quality);
        return;
    }
    if (!label) {
        out.put("None"_kml);
        return;
    }
    out.put(label).put_int(r.quality).put(")"_kml);
}

void put_gsa_status(KmlStream& out, std::int32_t fix_mode) {
    switch (fix_mode) {
        case 1: out.put("N/A ("_kml).put_int(fix_mode).put(")"_kml); break;
        case 2: out.put("2D ("_kml).put_int(fix_mode).put(")"_kml); break;
        case 3: out.put("3D ("_kml).put_int(fix_mode).put(")"_kml); break;
        default: out.put_int(fix_mode); break;
    }
}

void put_satellite_table(KmlStream& out, const waypoints& r, std::int32_t input_format) {
    out.put("\t<table>\n"_kml);
    out.put("<tfoot><tr><th colspan=5 align=center>Information about the satellites</th></tr></tfoot>\n"_kml);
    out.put("\t<tr>\t<th>SYS</th>\t<th>Svn</th>\t<th>El</th>\t<th>Az</th>\t<th>SNR</th>\t</tr>\n"_kml);
    for (const sat_entry& e : r.sats) {
        if (e.present != 1) continue;
        out.put("\t<tr>\t<td>"_kml);
        if (e.system == 'R' && input_format == kFormatBinary) {
            out.put_char(e.system).put("/"_kml).put_int(e.channel);
        } else {
            // "%c" of the system letter: a NUL prints as a NUL byte.
            out.put_char(e.system);
        }
        out.put("</td>\t<td>"_kml).put_int(e.number);
        out.put(e.used == 1 ? "*</td>\t<td>" : "</td>\t<td>");
        out.put_int(e.elevation).put("</td>\t<td>"_kml);
        out.put_int(e.azimuth).put("</td>\t<td>"_kml);
        out.put_int(e.snr).put("</td>\t</tr>\n"_kml);
    }
    out.put("\t</table>\n"_kml);
}

}  // namespace

std::string_view time_stamp_date(std::string_view date) {
    std::size_t cut = date.find('^');
    if (cut == std::string_view::npos) cut = date.find('*');
    if (cut != std::string_view::npos) date = date.substr(0, cut);
    return date.substr(0, 14);
}

namespace {

// "%s" prints a text up to its first NUL.
std::string_view up_to_nul(std::string_view text) { return text.substr(0, text.find('\0')); }

// The text of <when> as it is printed, before it is made XML-safe (a valid
// time has nothing that the safe form would change).
std::string when_text(const waypoints& r) {
    std::string text(up_to_nul(time_stamp_date(r.date)));
    text += 'T';
    text += r.time.empty() ? std::string_view("(null)") : up_to_nul(r.time);
    text += 'Z';
    return text;
}

bool is_digits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return !text.empty();
}

// The number written in `width` digits at `at`, or -1.
int digits_at(std::string_view text, std::size_t at, std::size_t width) {
    std::string_view part = text.substr(at, width);
    if (part.size() != width || !is_digits(part)) return -1;
    int v = 0;
    for (char c : part) v = v * 10 + (c - '0');
    return v;
}

bool is_gregorian_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_gregorian_leap_year(year) ? 29 : kDays[month - 1];
}

}  // namespace

// 2024-02-29T23:59:59.123Z
bool is_kml_time(std::string_view t) {
    if (t.size() < 20 || t.back() != 'Z') return false;
    if (t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':') return false;
    const int year = digits_at(t, 0, 4), month = digits_at(t, 5, 2), day = digits_at(t, 8, 2);
    const int hour = digits_at(t, 11, 2), minute = digits_at(t, 14, 2), second = digits_at(t, 17, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    const std::string_view fraction = t.substr(19, t.size() - 20);
    return fraction.empty() || (fraction[0] == '.' && is_digits(fraction.substr(1)));
}

void write_waypoint_placemark(KmlStream& out, const waypoints& r, std::int32_t number,
                              std::string_view icon, std::int32_t input_format,
                              std::int32_t show_height, std::string_view icon_scale) {
    write_waypoint_placemark_head(out, r, number, icon, input_format, icon_scale);
    write_waypoint_placemark_point(out, r, show_height);
}

void write_waypoint_placemark_head(KmlStream& out, const waypoints& r, std::int32_t number,
                                   std::string_view icon, std::int32_t input_format,
                                   std::string_view icon_scale) {
    out.put("<Placemark>\n"_kml);
    out.put("<description><![CDATA[\n"_kml);
    out.put("\t<table>\n"_kml);
    out.put("\t<tr><th>NN</th><td>"_kml).put_int(number).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>Longitude</th><td>"_kml).put_fixed(r.longitude, 6).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>Latitude</th><td>"_kml).put_fixed(r.latitude, 6).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>Altitude</th><td>"_kml).put_fixed(r.altitude, 3).put("m</td></tr>\n"_kml);
    out.put("\t<tr><th>Time</th><td>"_kml).put_cdata_text(r.date).put("T"_kml).put_cdata_text(r.time)
        .put("Z</td></tr>\n"_kml);
    out.put("\t<tr><th>Speed</th><td>"_kml).put_fixed(r.speed_kmh, 1).put("kmh</td></tr>\n"_kml);
    out.put("\t<tr><th>COG</th><td>"_kml).put_fixed(r.course, 1).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>RMS</th><td>"_kml).put_fixed(r.rms, 1).put("m</td></tr>\n"_kml);
    if (input_format == kFormatNmea) {
        out.put("\t<tr><th>Status(GGA)</th><td>"_kml);
        put_gga_status(out, r);
        out.put("</td></tr>\n"_kml);
        out.put("\t<tr><th>Diff age</th><td>"_kml).put_fixed(r.diff_age, 2).put("</td></tr>\n"_kml);
        out.put("\t<tr><th>Status(GSA)</th><td>"_kml);
        put_gsa_status(out, r.fix_mode);
        out.put("</td></tr>\n"_kml);
    } else if (input_format == kFormatBinary) {
        out.put("\t<tr><th>Status</th><td>"_kml).put_cdata_text(r.fix_text).put("</td></tr>\n"_kml);
    }
    out.put("\t<tr><th>HDOP</th><td>"_kml).put_fixed(r.hdop, 3).put("</td></tr>\n"_kml);
    if (input_format == kFormatNmea || (input_format == kFormatBinary && r.sats_used != -1)) {
        out.put("\t<tr><th>SAT</th><td>"_kml).put_int(r.sats_used).put("</td></tr>\n"_kml);
    } else if (input_format == kFormatBinary) {
        out.put("\t<tr><th>SAT</th><td>None</td></tr>\n"_kml);
    }
    out.put("\t</table>\n"_kml);
    if (r.has_sats == 1) put_satellite_table(out, r, input_format);
    out.put("]]></description>\n"_kml);
    out.put("<LookAt>\n"_kml);
    out.put("<longitude>"_kml).put_fixed(r.longitude, 6).put("</longitude>\n"_kml);
    out.put("<latitude>"_kml).put_fixed(r.latitude, 6).put("</latitude>\n"_kml);
    out.put("<tilt>66</tilt>\n"_kml);
    out.put("</LookAt>\n"_kml);
    // One time that is no real date and time (an empty time field, a broken
    // fixed date) makes the whole document invalid: such a placemark has none.
    const std::string when = when_text(r);
    if (is_kml_time(when)) {
        out.put("<TimeStamp>\n"_kml);
        out.put("<when>"_kml).put(when).put("</when>\n"_kml);
        out.put("</TimeStamp>\n"_kml);
    }
    out.put("<Style>\n"_kml);
    out.put("<IconStyle>\n"_kml);
    out.put("<scale>"_kml).put_element_text(icon_scale).put("</scale>\n"_kml);
    out.put("<heading>"_kml).put_fixed(r.course, 6).put("</heading>\n"_kml);
    out.put("<Icon>\n"_kml);
    out.put("<href>"_kml).put_element_text(icon).put("</href>\n"_kml);
    out.put("</Icon>\n"_kml);
    out.put("</IconStyle>\n"_kml);
    out.put("</Style>\n"_kml);
}

void write_waypoint_placemark_point(KmlStream& out, const waypoints& r, std::int32_t show_height) {
    out.put("<Point>\n"_kml);
    if (show_height == 1) {
        out.put("<extrude>1</extrude>\n"_kml);
        out.put("<altitudeMode>relativeToGround</altitudeMode>\n"_kml);
    }
    out.put("<coordinates>"_kml).put_fixed(r.longitude, 6).put(","_kml).put_fixed(r.latitude, 6).put(","_kml)
        .put_fixed(r.altitude, 6).put("</coordinates>\n"_kml);
    out.put("</Point>\n"_kml);
    out.put("</Placemark>\n"_kml);
}

bool passes_nmea_track_filter(const waypoints& r) {
    return (r.has_gga == 1 && r.has_rmc == 1 && r.status == 'A') ||
           (r.has_gga == 1 && r.has_rmc == 0 && r.quality != 0) ||
           (r.has_gga == 0 && r.has_rmc == 1 && r.status == 'A');
}

void write_track_head(KmlStream& out, TrackKind kind, std::string_view name, bool split) {
    // The all-points track has its line break inside the opening tag.
    out.put(kind == TrackKind::AllPoints ? "<Placemark\n>" : "<Placemark>\n");
    out.put("<name>"_kml).put(name).put("</name>\n"_kml);
    out.put("<styleUrl>#"_kml).put(name).put("</styleUrl>\n"_kml);
    if (split) out.put("<MultiGeometry>\n"_kml);
    out.put("<LineString>\n"_kml);
    out.put("<tessellate>1</tessellate>\n"_kml);
    out.put("<coordinates>\n"_kml);
}

void write_track_break(KmlStream& out) {
    out.put("</coordinates>\n"_kml);
    out.put("</LineString>\n"_kml);
    out.put("<LineString>\n"_kml);
    out.put("<tessellate>1</tessellate>\n"_kml);
    out.put("<coordinates>\n"_kml);
}

void write_track_point(KmlStream& out, TrackKind kind, const waypoints& r) {
    if (kind != TrackKind::ValidNmea) out.put_char('\t');
    out.put_fixed(r.longitude, 6).put_char(',').put_fixed(r.latitude, 6).put_char(',')
        .put_fixed(r.altitude, 6).put("\n"_kml);
}

void write_track_tail(KmlStream& out, bool split) {
    out.put("</coordinates>\n"_kml);
    out.put("</LineString>\n"_kml);
    if (split) out.put("</MultiGeometry>\n"_kml);
    out.put("</Placemark>\n"_kml);
}

void write_valid_track_nmea(KmlStream& out, std::span<const waypoints> records, std::string_view name) {
    if (records.empty()) return;
    write_track_head(out, TrackKind::ValidNmea, name);
    for (const waypoints& r : records) {
        if (passes_nmea_track_filter(r)) write_track_point(out, TrackKind::ValidNmea, r);
    }
    write_track_tail(out);
}

void write_valid_track_binary(KmlStream& out, std::span<const waypoints> records, std::string_view name) {
    write_track_head(out, TrackKind::ValidBinary, name);
    for (const waypoints& r : records) {
        if (r.status == 'A') write_track_point(out, TrackKind::ValidBinary, r);
    }
    write_track_tail(out);
}

void write_all_points_track(KmlStream& out, std::span<const waypoints> records, std::string_view name) {
    write_track_head(out, TrackKind::AllPoints, name);
    for (const waypoints& r : records) write_track_point(out, TrackKind::AllPoints, r);
    write_track_tail(out);
}

}  // namespace zelvo
