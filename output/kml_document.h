// The KML document of a run, from its head to its tail: line styles, the
// folder of waypoint placemarks with their HTML description, and the track
// placemarks.
#pragma once

#include <cstdint>
#include <string>

#include "output/kml_stream.h"
#include "output/spool_sink.h"
#include "record/vocabulary.h"
#include "record/waypoints.h"

namespace zelvo {

// "FF" and the colour in upper-case hexadecimal, at least six digits: KML's
// aabbggrr at full opacity.
std::string kml_colour_text(ColorRef colour);

// How the document draws what it is given.
struct KmlLook {
    std::int32_t input_format = kFormatNmea;  // another value: no folder and no valid track
    IconNames icons;                          // indexed by FixClass
    std::string icon_scale;
    bool show_height = false;
    std::string track_width;
    ColorRef track_color = 0;
    bool all_points_track = false;  // the track through every epoch
    ColorRef full_track_color = 0;
};

// The two tracks a document can carry.
enum class Track { Valid, AllPoints };

class KmlDocument {
public:
    // Writes the head and the valid track's line style, and opens the folder
    // of placemarks.
    KmlDocument(ByteSink& sink, KmlLook look);
    KmlDocument(const KmlDocument&) = delete;
    KmlDocument& operator=(const KmlDocument&) = delete;

    // One waypoint placemark under the icon of `fix_class`, numbered from 0
    // in the order of the calls.
    void placemark(const waypoints& record, FixClass fix_class);
    std::int32_t placemark_count() const { return count_; }

    // One point of a track; the tracks are written after the folder, so
    // their points are kept until then.
    void track_point(Track track, const waypoints& record);

    // Closes the folder, writes the tracks and the tail, and hands every byte
    // to the sink. `epochs` is the number of records read: an NMEA log
    // without a single one has no valid track at all.
    void finish(std::uint64_t epochs);

private:
    bool known_format() const;
    void line_style(ColorRef colour, const char* id);
    void track(Track track, SpoolSink& points, KmlStream& stream, const char* name);

    KmlLook look_;
    KmlStream out_;
    std::int32_t count_ = 0;
    SpoolSink valid_points_;
    SpoolSink all_points_;
    KmlStream valid_stream_;
    KmlStream all_stream_;
};

}  // namespace zelvo
