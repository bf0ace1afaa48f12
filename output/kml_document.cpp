#include "output/kml_document.h"

#include <cstdio>
#include <utility>

namespace zelvo {

std::string kml_colour_text(ColorRef colour) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "FF%06X", static_cast<unsigned>(colour));
    return buf;
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

// The date of the time stamp: cut before its marker ('^' first, then '*'),
// at most 14 characters.
std::string_view time_stamp_date(std::string_view date) {
    std::size_t cut = date.find('^');
    if (cut == std::string_view::npos) cut = date.find('*');
    if (cut != std::string_view::npos) date = date.substr(0, cut);
    return date.substr(0, 14);
}

// The description's table of the epoch, then its satellites.
void put_description(KmlStream& out, const waypoints& r, std::int32_t number, std::int32_t input_format) {
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
}

// Where the viewer looks from, when the epoch was, its arrow and its point.
void put_view_and_point(KmlStream& out, const waypoints& r, std::string_view icon, const KmlLook& look) {
    out.put("<LookAt>\n"_kml);
    out.put("<longitude>"_kml).put_fixed(r.longitude, 6).put("</longitude>\n"_kml);
    out.put("<latitude>"_kml).put_fixed(r.latitude, 6).put("</latitude>\n"_kml);
    out.put("<tilt>66</tilt>\n"_kml);
    out.put("</LookAt>\n"_kml);
    out.put("<TimeStamp>\n"_kml);
    out.put("<when>"_kml).put_element_text_raw(time_stamp_date(r.date)).put("T"_kml)
        .put_element_text(r.time).put("Z</when>\n"_kml);
    out.put("</TimeStamp>\n"_kml);
    out.put("<Style>\n"_kml);
    out.put("<IconStyle>\n"_kml);
    out.put("<scale>"_kml).put_element_text(look.icon_scale).put("</scale>\n"_kml);
    out.put("<heading>"_kml).put_fixed(r.course, 6).put("</heading>\n"_kml);
    out.put("<Icon>\n"_kml);
    out.put("<href>"_kml).put_element_text(icon).put("</href>\n"_kml);
    out.put("</Icon>\n"_kml);
    out.put("</IconStyle>\n"_kml);
    out.put("</Style>\n"_kml);
    out.put("<Point>\n"_kml);
    if (look.show_height) {
        out.put("<extrude>1</extrude>\n"_kml);
        out.put("<altitudeMode>relativeToGround</altitudeMode>\n"_kml);
    }
    out.put("<coordinates>"_kml).put_fixed(r.longitude, 6).put(","_kml).put_fixed(r.latitude, 6).put(","_kml)
        .put_fixed(r.altitude, 6).put("</coordinates>\n"_kml);
    out.put("</Point>\n"_kml);
}

}  // namespace

KmlDocument::KmlDocument(ByteSink& sink, KmlLook look)
    : look_(std::move(look)), out_(sink), valid_stream_(valid_points_), all_stream_(all_points_) {
    out_.put("<kml>\n"_kml).put("<Document>\n"_kml);
    line_style(look_.track_color, "NormalTrack");
    if (known_format()) out_.put("<Folder>\n"_kml).put("<name>WayPoints</name>\n"_kml);
}

bool KmlDocument::known_format() const {
    return look_.input_format == kFormatNmea || look_.input_format == kFormatBinary;
}

void KmlDocument::line_style(ColorRef colour, const char* id) {
    out_.put("<Style id=\""_kml).put(id).put("\">\n"_kml);
    out_.put("<LineStyle>\n"_kml);
    out_.put("<color>"_kml).put(kml_colour_text(colour)).put("</color>\n"_kml);
    out_.put("<width>"_kml).put_element_text(look_.track_width).put("</width>\n"_kml);
    out_.put("</LineStyle>\n"_kml);
    out_.put("</Style>\n"_kml);
}

void KmlDocument::placemark(const waypoints& record, FixClass fix_class) {
    out_.put("<Placemark>\n"_kml);
    put_description(out_, record, count_++, look_.input_format);
    put_view_and_point(out_, record, look_.icons[static_cast<int>(fix_class)], look_);
    out_.put("</Placemark>\n"_kml);
}

void KmlDocument::track_point(Track track, const waypoints& r) {
    KmlStream& out = track == Track::Valid ? valid_stream_ : all_stream_;
    // Only the valid track of an NMEA log has its points at the line start.
    if (track == Track::AllPoints || look_.input_format != kFormatNmea) out.put_char('\t');
    out.put_fixed(r.longitude, 6).put_char(',').put_fixed(r.latitude, 6).put_char(',')
        .put_fixed(r.altitude, 6).put("\n"_kml);
}

void KmlDocument::track(Track track, SpoolSink& points, KmlStream& stream, const char* name) {
    // The all-points track has its line break inside the opening tag.
    out_.put(track == Track::AllPoints ? "<Placemark\n>" : "<Placemark>\n");
    out_.put("<name>"_kml).put(name).put("</name>\n"_kml);
    out_.put("<styleUrl>#"_kml).put(name).put("</styleUrl>\n"_kml);
    out_.put("<LineString>\n"_kml);
    out_.put("<tessellate>1</tessellate>\n"_kml);
    out_.put("<coordinates>\n"_kml);
    stream.flush();
    points.copy_to(out_);
    out_.put("</coordinates>\n"_kml);
    out_.put("</LineString>\n"_kml);
    out_.put("</Placemark>\n"_kml);
}

void KmlDocument::finish(std::uint64_t epochs) {
    if (known_format()) {
        out_.put("</Folder>\n"_kml);
        if (look_.input_format == kFormatBinary || epochs != 0)
            track(Track::Valid, valid_points_, valid_stream_, "NormalTrack");
    }
    if (look_.all_points_track) {
        line_style(look_.full_track_color, "IncorrectTrack");
        track(Track::AllPoints, all_points_, all_stream_, "IncorrectTrack");
    }
    // The tail has no line end after it.
    out_.put("</Document>\n"_kml).put("</kml>"_kml);
    out_.flush();
}

}  // namespace zelvo
