// The KML document of a run, from its head to its tail: line styles, the
// folder of waypoint placemarks with their HTML description, the track
// placemarks and, with the fix-status strip, the session's description.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "output/epoch_data.h"
#include "output/kml_stream.h"
#include "output/spool_sink.h"
#include "record/vocabulary.h"
#include "record/waypoints.h"

namespace zelvo {

// "FF" and the colour in upper-case hexadecimal, at least six digits: KML's
// aabbggrr at full opacity.
std::string kml_colour_text(ColorRef colour);

// A time a KML reader takes in a <when>: "yyyy-mm-ddThh:mm:ss", an optional
// fraction ".digits", then "Z"; a Gregorian date from year 0001, hour
// 00-23, minute and second 00-59.
bool is_kml_time(std::string_view text);

// The date of the time stamp, at most 14 characters. A hand-edited fixed
// date may hold the mark characters itself: the date with its mark is cut
// before the first '^', else before the first '*'.
std::string_view time_stamp_date(std::string_view date, DateSource source);

// How the placemarks of one kind of log are written: the description table,
// the typed epoch fields, and the few ways its tracks differ.
struct EpochLayout {
    void (*description)(KmlStream& out, const waypoints& record, std::int32_t number, FixClass fix_class);
    EpochFieldSet fields;  // the typed epoch fields
    int coordinate_decimals;
    bool valid_track_at_line_start;   // its points without the leading tab
    bool valid_track_without_epochs;  // written even when the log gave no epoch
};

extern const EpochLayout kNmeaLayout;
extern const EpochLayout kTolvLayout;
extern const EpochLayout kSolutionLayout;

// How the document draws what it is given.
struct KmlLook {
    const EpochLayout* layout = &kNmeaLayout;  // none: no folder and no valid track
    IconNames icons;                          // indexed by FixClass
    std::string icon_scale;
    bool show_height = false;
    std::string track_width;
    ColorRef track_color = 0;
    bool all_points_track = false;  // the track through every epoch
    ColorRef full_track_color = 0;
    bool epoch_data = false;    // typed fields in every placemark, under a Schema
    bool split_tracks = false;  // tracks as lines that break where they are told
    // The archive member of the fix-status strip, pinned to the bottom of
    // the view; empty for none. With it the document has a description.
    std::string timeline_member;
};

// The two tracks a document can carry.
enum class Track { Valid, AllPoints };

class KmlDocument {
public:
    // Writes the head and the shared styles, and opens the folder of
    // placemarks.
    KmlDocument(ByteSink& sink, KmlLook look);
    KmlDocument(const KmlDocument&) = delete;
    KmlDocument& operator=(const KmlDocument&) = delete;

    // One waypoint placemark under the icon of `fix_class`, numbered from 0
    // in the order of the calls.
    void placemark(const waypoints& record, FixClass fix_class);
    std::int32_t placemark_count() const { return count_; }

    // One point of a track, which with split tracks may begin a new line;
    // the tracks are written after the folder, so their points are kept
    // until then.
    void track_point(Track track, const waypoints& record, bool begins_line = false);

    // Closes the folder, writes the tracks and the tail, and hands every byte
    // to the sink. `epochs` is the number of records read: an NMEA log
    // without a single one has no valid track at all. `description` is the
    // document's description, written only with the fix-status strip.
    void finish(std::uint64_t epochs, std::string_view description = {});

private:
    bool known_format() const;
    void line_style(ColorRef colour, const char* id);
    void track(Track track, SpoolSink& points, KmlStream& stream, const char* name);
    void timeline(std::string_view description);

    KmlLook look_;
    KmlStream head_;
    // With the strip the description, known only at the end, comes before
    // the body, which waits in a spool until then.
    SpoolSink body_spool_;
    KmlStream body_;
    KmlStream& out_;
    std::int32_t count_ = 0;
    SpoolSink valid_points_;
    SpoolSink all_points_;
    KmlStream valid_stream_;
    KmlStream all_stream_;
};

}  // namespace zelvo
