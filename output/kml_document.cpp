#include "output/kml_document.h"

#include <cstdio>
#include <utility>

#include "output/epoch_data.h"
#include "output/timeline_image.h"

namespace zelvo {

std::string kml_colour_text(ColorRef colour) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "FF%06X", static_cast<unsigned>(colour));
    return buf;
}

std::string_view time_stamp_date(std::string_view date, DateSource source) {
    std::size_t cut = date.find('^');
    // The fixed date's own mark '^' would stop the cut at its end.
    if (cut == std::string_view::npos && source != DateSource::Fixed) cut = date.find('*');
    if (cut != std::string_view::npos) date = date.substr(0, cut);
    return date.substr(0, 14);
}

namespace {

// "%s" prints a text up to its first NUL.
std::string_view up_to_nul(std::string_view text) { return text.substr(0, text.find('\0')); }

// The text of <when> as it is printed, before it is made XML-safe (a valid
// time has nothing that the safe form would change).
std::string when_text(const waypoints& r) {
    std::string text(up_to_nul(time_stamp_date(r.date, r.date_source)));
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

void put_satellite_table(KmlStream& out, const waypoints& r, bool glonass_channels) {
    out.put("\t<table>\n"_kml);
    out.put("<tfoot><tr><th colspan=5 align=center>Information about the satellites</th></tr></tfoot>\n"_kml);
    out.put("\t<tr>\t<th>SYS</th>\t<th>Svn</th>\t<th>El</th>\t<th>Az</th>\t<th>SNR</th>\t</tr>\n"_kml);
    for (const sat_entry& e : r.sats) {
        if (e.present != 1) continue;
        out.put("\t<tr>\t<td>"_kml);
        if (e.system == 'R' && glonass_channels) {
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

// The date as the description shows it: with the mark of a date that is
// not the log's own.
void put_shown_date(KmlStream& out, const waypoints& r) {
    const char* mark = date_marker(r.date_source);
    if (*mark == '\0') out.put_cdata_text(r.date);
    else out.put_cdata_text(r.date + mark);
}

// The description of an NMEA or binary epoch: its table, then its satellites.
void put_classic_description(KmlStream& out, const waypoints& r, std::int32_t number, bool nmea) {
    out.put("<description><![CDATA[\n"_kml);
    out.put("\t<table>\n"_kml);
    out.put("\t<tr><th>NN</th><td>"_kml).put_int(number).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>Longitude</th><td>"_kml).put_fixed(r.longitude, 6).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>Latitude</th><td>"_kml).put_fixed(r.latitude, 6).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>Altitude</th><td>"_kml).put_fixed(r.altitude, 3).put("m</td></tr>\n"_kml);
    out.put("\t<tr><th>Time</th><td>"_kml);
    put_shown_date(out, r);
    out.put("T"_kml).put_cdata_text(r.time).put("Z</td></tr>\n"_kml);
    out.put("\t<tr><th>Speed</th><td>"_kml).put_fixed(r.speed_kmh, 1).put("kmh</td></tr>\n"_kml);
    out.put("\t<tr><th>COG</th><td>"_kml).put_fixed(r.course, 1).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>RMS</th><td>"_kml).put_fixed(r.rms, 1).put("m</td></tr>\n"_kml);
    if (nmea) {
        out.put("\t<tr><th>Status(GGA)</th><td>"_kml);
        put_gga_status(out, r);
        out.put("</td></tr>\n"_kml);
        out.put("\t<tr><th>Diff age</th><td>"_kml).put_fixed(r.diff_age, 2).put("</td></tr>\n"_kml);
        out.put("\t<tr><th>Status(GSA)</th><td>"_kml);
        put_gsa_status(out, r.fix_mode);
        out.put("</td></tr>\n"_kml);
    } else {
        out.put("\t<tr><th>Status</th><td>"_kml).put_cdata_text(r.fix_text).put("</td></tr>\n"_kml);
    }
    out.put("\t<tr><th>HDOP</th><td>"_kml).put_fixed(r.hdop, 3).put("</td></tr>\n"_kml);
    if (nmea || r.sats_used != -1) {
        out.put("\t<tr><th>SAT</th><td>"_kml).put_int(r.sats_used).put("</td></tr>\n"_kml);
    } else {
        out.put("\t<tr><th>SAT</th><td>None</td></tr>\n"_kml);
    }
    out.put("\t</table>\n"_kml);
    if (r.has_sats == 1) put_satellite_table(out, r, !nmea);
    out.put("]]></description>\n"_kml);
}

void put_nmea_description(KmlStream& out, const waypoints& r, std::int32_t number, FixClass) {
    put_classic_description(out, r, number, true);
}

void put_tolv_description(KmlStream& out, const waypoints& r, std::int32_t number, FixClass) {
    put_classic_description(out, r, number, false);
}

// A solution epoch: UTC time, the position to the file's precision, the
// class with the Q it came from, and the solution's own quality figures.
void put_solution_description(KmlStream& out, const waypoints& r, std::int32_t number, FixClass fix_class) {
    const char* derived = r.motion_derived ? " (derived)</td></tr>\n" : "</td></tr>\n";
    out.put("<description><![CDATA[\n"_kml);
    out.put("\t<table>\n"_kml);
    out.put("\t<tr><th>NN</th><td>"_kml).put_int(number).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>Time (UTC)</th><td>"_kml);
    put_shown_date(out, r);
    out.put("T"_kml).put_cdata_text(r.time).put("Z</td></tr>\n"_kml);
    out.put("\t<tr><th>Latitude</th><td>"_kml).put_fixed(r.latitude, 9).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>Longitude</th><td>"_kml).put_fixed(r.longitude, 9).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>Height</th><td>"_kml).put_fixed(r.altitude, 4).put("m (ellipsoidal)</td></tr>\n"_kml);
    out.put("\t<tr><th>Class</th><td>"_kml).put(fix_class_name(fix_class)).put(" (Q "_kml).put_int(r.quality)
        .put(")</td></tr>\n"_kml);
    out.put("\t<tr><th>SAT</th><td>"_kml).put_int(r.sats_used).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>sdn/sde/sdu</th><td>"_kml).put_fixed(r.sd_north, 4).put(" / "_kml).put_fixed(r.sd_east, 4)
        .put(" / "_kml).put_fixed(r.sd_up, 4).put("m</td></tr>\n"_kml);
    out.put("\t<tr><th>Age</th><td>"_kml).put_fixed(r.diff_age, 2).put("s</td></tr>\n"_kml);
    out.put("\t<tr><th>Ratio</th><td>"_kml).put_fixed(r.ratio, 1).put("</td></tr>\n"_kml);
    out.put("\t<tr><th>Speed</th><td>"_kml).put_fixed(r.speed_kmh, 1).put("kmh"_kml).put(derived);
    out.put("\t<tr><th>COG</th><td>"_kml).put_fixed(r.course, 1).put(derived);
    out.put("\t</table>\n"_kml);
    out.put("]]></description>\n"_kml);
}

// The placemark up to the fields that go between its Style and its Point:
// its description, where the viewer looks from, when the epoch was and its
// arrow.
void put_placemark_head(KmlStream& out, const waypoints& r, std::int32_t number, FixClass fix_class,
                        std::string_view icon, const KmlLook& look) {
    const std::string_view icon_scale = look.icon_scale;
    const int decimals = look.layout->coordinate_decimals;
    out.put("<Placemark>\n"_kml);
    look.layout->description(out, r, number, fix_class);
    out.put("<LookAt>\n"_kml);
    out.put("<longitude>"_kml).put_fixed(r.longitude, decimals).put("</longitude>\n"_kml);
    out.put("<latitude>"_kml).put_fixed(r.latitude, decimals).put("</latitude>\n"_kml);
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

void put_placemark_point(KmlStream& out, const waypoints& r, bool show_height, int decimals) {
    out.put("<Point>\n"_kml);
    if (show_height) {
        out.put("<extrude>1</extrude>\n"_kml);
        out.put("<altitudeMode>relativeToGround</altitudeMode>\n"_kml);
    }
    out.put("<coordinates>"_kml).put_fixed(r.longitude, decimals).put(","_kml).put_fixed(r.latitude, decimals)
        .put(","_kml).put_fixed(r.altitude, 6).put("</coordinates>\n"_kml);
    out.put("</Point>\n"_kml);
    out.put("</Placemark>\n"_kml);
}

}  // namespace

const EpochLayout kNmeaLayout{put_nmea_description, EpochFieldSet::Nmea, 6, true, false};
const EpochLayout kTolvLayout{put_tolv_description, EpochFieldSet::Tolv, 6, false, true};
// Solution files give millimetres: nine decimals of a degree keep them.
const EpochLayout kSolutionLayout{put_solution_description, EpochFieldSet::Solution, 9,
                                  false, false};

KmlDocument::KmlDocument(ByteSink& sink, KmlLook look)
    : look_(std::move(look)),
      head_(sink),
      body_(body_spool_),
      out_(look_.timeline_member.empty() ? head_ : body_),
      valid_stream_(valid_points_),
      all_stream_(all_points_) {
    // Readers that follow the standard show a root without the KML
    // namespace as an empty map.
    head_.put("<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"_kml).put("<Document>\n"_kml);
    // Shared styles come before any folder or placemark of the document, a
    // Schema after the styles and before the features.
    line_style(look_.track_color, "NormalTrack");
    if (look_.all_points_track) line_style(look_.full_track_color, "IncorrectTrack");
    if (known_format() && look_.epoch_data) write_epoch_schema(out_, look_.layout->fields);
    if (known_format()) out_.put("<Folder>\n"_kml).put("<name>WayPoints</name>\n"_kml);
}

bool KmlDocument::known_format() const { return look_.layout != nullptr; }

void KmlDocument::line_style(ColorRef colour, const char* id) {
    out_.put("<Style id=\""_kml).put(id).put("\">\n"_kml);
    out_.put("<LineStyle>\n"_kml);
    out_.put("<color>"_kml).put(kml_colour_text(colour)).put("</color>\n"_kml);
    out_.put("<width>"_kml).put_element_text(look_.track_width).put("</width>\n"_kml);
    out_.put("</LineStyle>\n"_kml);
    out_.put("</Style>\n"_kml);
}

void KmlDocument::placemark(const waypoints& record, FixClass fix_class) {
    put_placemark_head(out_, record, count_, fix_class, look_.icons[static_cast<int>(fix_class)], look_);
    if (look_.epoch_data) write_epoch_data(out_, record, count_, fix_class, look_.layout->fields);
    put_placemark_point(out_, record, look_.show_height, look_.layout->coordinate_decimals);
    ++count_;
}

void KmlDocument::track_point(Track track, const waypoints& r, bool begins_line) {
    KmlStream& out = track == Track::Valid ? valid_stream_ : all_stream_;
    if (begins_line && look_.split_tracks) {
        out.put("</coordinates>\n"_kml);
        out.put("</LineString>\n"_kml);
        out.put("<LineString>\n"_kml);
        out.put("<tessellate>1</tessellate>\n"_kml);
        out.put("<coordinates>\n"_kml);
    }
    const bool at_line_start = track == Track::Valid && look_.layout && look_.layout->valid_track_at_line_start;
    if (!at_line_start) out.put_char('\t');
    const int decimals = look_.layout ? look_.layout->coordinate_decimals : 6;
    out.put_fixed(r.longitude, decimals).put_char(',').put_fixed(r.latitude, decimals).put_char(',')
        .put_fixed(r.altitude, 6).put("\n"_kml);
}

void KmlDocument::track(Track track, SpoolSink& points, KmlStream& stream, const char* name) {
    // The all-points track has its line break inside the opening tag.
    out_.put(track == Track::AllPoints ? "<Placemark\n>" : "<Placemark>\n");
    out_.put("<name>"_kml).put(name).put("</name>\n"_kml);
    out_.put("<styleUrl>#"_kml).put(name).put("</styleUrl>\n"_kml);
    // A split track is a MultiGeometry of lines.
    if (look_.split_tracks) out_.put("<MultiGeometry>\n"_kml);
    out_.put("<LineString>\n"_kml);
    out_.put("<tessellate>1</tessellate>\n"_kml);
    out_.put("<coordinates>\n"_kml);
    stream.flush();
    points.copy_to(out_);
    out_.put("</coordinates>\n"_kml);
    out_.put("</LineString>\n"_kml);
    if (look_.split_tracks) out_.put("</MultiGeometry>\n"_kml);
    out_.put("</Placemark>\n"_kml);
}

// The description goes before the body, which waited in a spool; the strip
// is pinned to the bottom of the view.
void KmlDocument::timeline(std::string_view description) {
    head_.put("<description><![CDATA["_kml).put(description).put("]]></description>\n"_kml);
    body_.flush();
    body_spool_.copy_to(head_);
    head_.put("<ScreenOverlay>\n"_kml)
        .put("<name>Fix status</name>\n"_kml)
        .put("<Icon><href>"_kml).put(look_.timeline_member).put("</href></Icon>\n"_kml)
        .put("<overlayXY x=\"0.5\" y=\"0\" xunits=\"fraction\" yunits=\"fraction\"/>\n"_kml)
        .put("<screenXY x=\"0.5\" y=\"0\" xunits=\"fraction\" yunits=\"fraction\"/>\n"_kml)
        .put("<size x=\""_kml).put_int(kTimelineWidth).put("\" y=\""_kml).put_int(kTimelineHeight)
        .put("\" xunits=\"pixels\" yunits=\"pixels\"/>\n"_kml)
        .put("</ScreenOverlay>\n"_kml);
}

void KmlDocument::finish(std::uint64_t epochs, std::string_view description) {
    if (known_format()) {
        out_.put("</Folder>\n"_kml);
        if (look_.layout->valid_track_without_epochs || epochs != 0)
            track(Track::Valid, valid_points_, valid_stream_, "NormalTrack");
    }
    if (look_.all_points_track) track(Track::AllPoints, all_points_, all_stream_, "IncorrectTrack");
    if (!look_.timeline_member.empty()) timeline(description);
    // The tail has no line end after it.
    head_.put("</Document>\n"_kml).put("</kml>"_kml);
    head_.flush();
}

}  // namespace zelvo
