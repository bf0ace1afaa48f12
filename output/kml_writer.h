// The fragments of the KML document body: line styles, waypoint placemarks
// with their HTML description, and track placemarks.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/conversion_options.h"
#include "nmea/waypoints.h"
#include "output/kml_stream.h"

namespace zelvo {

// "FF" and the colour in upper-case hexadecimal, at least six digits: KML's
// aabbggrr at full opacity.
std::string kml_colour_text(ColorRef colour);

void write_line_style(KmlStream& out, std::string_view width, ColorRef colour, std::string_view id);

void write_waypoint_placemark(KmlStream& out, const waypoints& record, std::int32_t number,
                              std::string_view icon, std::int32_t input_format,
                              std::int32_t show_height, std::string_view icon_scale);

// A time a KML reader takes in a <when>: "yyyy-mm-ddThh:mm:ss", an optional
// fraction ".digits", then "Z"; a Gregorian date from year 0001, hour
// 00-23, minute and second 00-59.
bool is_kml_time(std::string_view text);

// The placemark in two pieces, for fragments that go between its Style
// and its Point.
void write_waypoint_placemark_head(KmlStream& out, const waypoints& record, std::int32_t number,
                                   std::string_view icon, std::int32_t input_format,
                                   std::string_view icon_scale);
void write_waypoint_placemark_point(KmlStream& out, const waypoints& record, std::int32_t show_height);

// The date of the time stamp: cut before its marker ('^' first, then '*'),
// at most 14 characters.
std::string_view time_stamp_date(std::string_view date);

// Which records make a point of the valid track of an NMEA log.
bool passes_nmea_track_filter(const waypoints& record);

// The three track placemarks differ in their opening line and coordinate
// line; a run writes them in pieces so that the points can be collected
// while the log is read.
enum class TrackKind { ValidNmea, ValidBinary, AllPoints };
// A split track is a MultiGeometry of lines; a break ends one line and
// opens the next.
void write_track_head(KmlStream& out, TrackKind kind, std::string_view name, bool split = false);
void write_track_point(KmlStream& out, TrackKind kind, const waypoints& record);
void write_track_break(KmlStream& out);
void write_track_tail(KmlStream& out, bool split = false);

// Whole tracks over a sequence of records.
void write_valid_track_nmea(KmlStream& out, std::span<const waypoints> records, std::string_view name);
void write_valid_track_binary(KmlStream& out, std::span<const waypoints> records, std::string_view name);
void write_all_points_track(KmlStream& out, std::span<const waypoints> records, std::string_view name);

}  // namespace zelvo
