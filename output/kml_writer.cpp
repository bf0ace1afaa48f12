#include "output/kml_writer.h"

#include <cstdio>

namespace zelvo {

std::string kml_colour_text(ColorRef colour) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "FF%06X", static_cast<unsigned>(colour));
    return buf;
}

void write_line_style(KmlStream& out, std::string_view width, ColorRef colour, std::string_view id) {
    out.put("<Style id=\"").put(id).put("\">\n");
    out.put("<LineStyle>\n");
    out.put("<color>").put(kml_colour_text(colour)).put("</color>\n");
    out.put("<width>").put_element_text(width).put("</width>\n");
    out.put("</LineStyle>\n");
    out.put("</Style>\n");
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
        out.put("None");
        return;
    }
    out.put(label).put_int(r.quality).put(")");
}

void put_gsa_status(KmlStream& out, std::int32_t fix_mode) {
    switch (fix_mode) {
        case 1: out.put("N/A (").put_int(fix_mode).put(")"); break;
        case 2: out.put("2D (").put_int(fix_mode).put(")"); break;
        case 3: out.put("3D (").put_int(fix_mode).put(")"); break;
        default: out.put_int(fix_mode); break;
    }
}

void put_satellite_table(KmlStream& out, const waypoints& r, std::int32_t input_format) {
    out.put("\t<table>\n");
    out.put("<tfoot><tr><th colspan=5 align=center>Information about the satellites</th></tr></tfoot>\n");
    out.put("\t<tr>\t<th>SYS</th>\t<th>Svn</th>\t<th>El</th>\t<th>Az</th>\t<th>SNR</th>\t</tr>\n");
    for (const sat_entry& e : r.sats) {
        if (e.present != 1) continue;
        out.put("\t<tr>\t<td>");
        if (e.system == 'R' && input_format == kFormatBinary) {
            out.put_char(e.system).put("/").put_int(e.channel);
        } else {
            // "%c" of the system letter: a NUL prints as a NUL byte.
            out.put_char(e.system);
        }
        out.put("</td>\t<td>").put_int(e.number);
        out.put(e.used == 1 ? "*</td>\t<td>" : "</td>\t<td>");
        out.put_int(e.elevation).put("</td>\t<td>");
        out.put_int(e.azimuth).put("</td>\t<td>");
        out.put_int(e.snr).put("</td>\t</tr>\n");
    }
    out.put("\t</table>\n");
}

// The date of the time stamp: cut before its marker ('^' first, then '*'),
// at most 14 characters.
std::string_view time_stamp_date(std::string_view date) {
    std::size_t cut = date.find('^');
    if (cut == std::string_view::npos) cut = date.find('*');
    if (cut != std::string_view::npos) date = date.substr(0, cut);
    return date.substr(0, 14);
}

}  // namespace

void write_waypoint_placemark(KmlStream& out, const waypoints& r, std::int32_t number,
                              std::string_view icon, std::int32_t input_format,
                              std::int32_t show_height, std::string_view icon_scale) {
    out.put("<Placemark>\n");
    out.put("<description><![CDATA[\n");
    out.put("\t<table>\n");
    out.put("\t<tr><th>NN</th><td>").put_int(number).put("</td></tr>\n");
    out.put("\t<tr><th>Longitude</th><td>").put_fixed(r.longitude, 6).put("</td></tr>\n");
    out.put("\t<tr><th>Latitude</th><td>").put_fixed(r.latitude, 6).put("</td></tr>\n");
    out.put("\t<tr><th>Altitude</th><td>").put_fixed(r.altitude, 3).put("m</td></tr>\n");
    out.put("\t<tr><th>Time</th><td>").put_cdata_text(r.date).put("T").put_cdata_text(r.time)
        .put("Z</td></tr>\n");
    out.put("\t<tr><th>Speed</th><td>").put_fixed(r.speed_kmh, 1).put("kmh</td></tr>\n");
    out.put("\t<tr><th>COG</th><td>").put_fixed(r.course, 1).put("</td></tr>\n");
    out.put("\t<tr><th>RMS</th><td>").put_fixed(r.rms, 1).put("m</td></tr>\n");
    if (input_format == kFormatNmea) {
        out.put("\t<tr><th>Status(GGA)</th><td>");
        put_gga_status(out, r);
        out.put("</td></tr>\n");
        out.put("\t<tr><th>Diff age</th><td>").put_fixed(r.diff_age, 2).put("</td></tr>\n");
        out.put("\t<tr><th>Status(GSA)</th><td>");
        put_gsa_status(out, r.fix_mode);
        out.put("</td></tr>\n");
    } else if (input_format == kFormatBinary) {
        out.put("\t<tr><th>Status</th><td>").put_cdata_text(r.fix_text).put("</td></tr>\n");
    }
    out.put("\t<tr><th>HDOP</th><td>").put_fixed(r.hdop, 3).put("</td></tr>\n");
    if (input_format == kFormatNmea || (input_format == kFormatBinary && r.sats_used != -1)) {
        out.put("\t<tr><th>SAT</th><td>").put_int(r.sats_used).put("</td></tr>\n");
    } else if (input_format == kFormatBinary) {
        out.put("\t<tr><th>SAT</th><td>None</td></tr>\n");
    }
    out.put("\t</table>\n");
    if (r.has_sats == 1) put_satellite_table(out, r, input_format);
    out.put("]]></description>\n");
    out.put("<LookAt>\n");
    out.put("<longitude>").put_fixed(r.longitude, 6).put("</longitude>\n");
    out.put("<latitude>").put_fixed(r.latitude, 6).put("</latitude>\n");
    out.put("<tilt>66</tilt>\n");
    out.put("</LookAt>\n");
    out.put("<TimeStamp>\n");
    out.put("<when>").put_element_text_raw(time_stamp_date(r.date)).put("T")
        .put_element_text(r.time).put("Z</when>\n");
    out.put("</TimeStamp>\n");
    out.put("<Style>\n");
    out.put("<IconStyle>\n");
    out.put("<scale>").put_element_text(icon_scale).put("</scale>\n");
    out.put("<heading>").put_fixed(r.course, 6).put("</heading>\n");
    out.put("<Icon>\n");
    out.put("<href>").put_element_text(icon).put("</href>\n");
    out.put("</Icon>\n");
    out.put("</IconStyle>\n");
    out.put("</Style>\n");
    out.put("<Point>\n");
    if (show_height == 1) {
        out.put("<extrude>1</extrude>\n");
        out.put("<altitudeMode>relativeToGround</altitudeMode>\n");
    }
    out.put("<coordinates>").put_fixed(r.longitude, 6).put(",").put_fixed(r.latitude, 6).put(",")
        .put_fixed(r.altitude, 6).put("</coordinates>\n");
    out.put("</Point>\n");
    out.put("</Placemark>\n");
}

bool passes_nmea_track_filter(const waypoints& r) {
    return (r.has_gga == 1 && r.has_rmc == 1 && r.status == 'A') ||
           (r.has_gga == 1 && r.has_rmc == 0 && r.quality != 0) ||
           (r.has_gga == 0 && r.has_rmc == 1 && r.status == 'A');
}

void write_track_head(KmlStream& out, TrackKind kind, std::string_view name) {
    // The all-points track has its line break inside the opening tag.
    out.put(kind == TrackKind::AllPoints ? "<Placemark\n>" : "<Placemark>\n");
    out.put("<name>").put(name).put("</name>\n");
    out.put("<styleUrl>#").put(name).put("</styleUrl>\n");
    out.put("<LineString>\n");
    out.put("<tessellate>1</tessellate>\n");
    out.put("<coordinates>\n");
}

void write_track_point(KmlStream& out, TrackKind kind, const waypoints& r) {
    if (kind != TrackKind::ValidNmea) out.put_char('\t');
    out.put_fixed(r.longitude, 6).put_char(',').put_fixed(r.latitude, 6).put_char(',')
        .put_fixed(r.altitude, 6).put("\n");
}

void write_track_tail(KmlStream& out) {
    out.put("</coordinates>\n");
    out.put("</LineString>\n");
    out.put("</Placemark>\n");
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
