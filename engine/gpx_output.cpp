// GPX 1.1: a <trk> for the valid track and one for the all-epochs track,
// a <trkseg> per piece of a split track, and in each <trkpt> what the epoch
// says about its fix.
#include <cmath>

#include "engine/epoch_outputs.h"
#include "output/epoch_data.h"
#include "output/kml_document.h"
#include "output/spool_sink.h"

namespace zelvo {

namespace {

// The <fix> of a class: differential and RTK classes are corrected fixes;
// an autonomous fix is 3d unless the GSA mode says 2d.
const char* gpx_fix(FixClass c, std::int32_t fix_mode) {
    switch (c) {
        case FixClass::Auto: return fix_mode == 2 ? "2d" : "3d";
        case FixClass::Diff: case FixClass::RtkFix: case FixClass::RtkFloat: return "dgps";
        case FixClass::Estimated: case FixClass::Invalid: return "none";
    }
    return "none";
}

bool differential(FixClass c) { return c == FixClass::Diff || c == FixClass::RtkFix || c == FixClass::RtkFloat; }

class GpxOutput : public EpochOutput {
public:
    GpxOutput(ByteSink& sink, const CompanionLook& look)
        : sink_(sink), look_(look), out_(sink), all_stream_(all_points_) {
        out_.put_raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<gpx version=\"1.1\" creator=\"zelvoconverter\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
                     "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                     "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
                     "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
                     "<trk>\n<name>valid</name>\n<trkseg>\n");
    }

    const char* name() const override { return "GPX"; }

    void epoch(const FinalEpoch& e) override {
        const EpochDecision& d = e.decision;
        if (d.on_valid_track) point(out_, e, d.valid_track_breaks);
        if (d.on_all_points_track) point(all_stream_, e, d.all_points_track_breaks);
    }

    void finish(std::uint64_t) override {
        out_.put_raw("</trkseg>\n</trk>\n");
        if (look_.all_points_track) {
            out_.put_raw("<trk>\n<name>all</name>\n<trkseg>\n");
            out_.flush();
            all_stream_.flush();
            all_points_.copy_to(sink_);
            out_.put_raw("</trkseg>\n</trk>\n");
        }
        out_.put_raw("</gpx>\n");
        out_.flush();
    }

private:
    void point(KmlStream& out, const FinalEpoch& e, bool begins_piece) {
        const waypoints& r = e.record;
        const bool nmea = look_.fields == EpochFieldSet::Nmea;
        if (begins_piece && look_.split_tracks) out.put_raw("</trkseg>\n<trkseg>\n");
        // The schema's longitudes run from -180 up to but not including 180.
        const double lon = r.longitude == 180.0 ? -180.0 : r.longitude;
        out.put_raw("<trkpt lat=\"").put_fixed(r.latitude, 9).put_raw("\" lon=\"").put_fixed(lon, 9).put_raw("\">");
        if (std::isfinite(r.altitude) && (!nmea || r.has_gga == 1))
            out.put_raw("<ele>").put_fixed(r.altitude, 3).put_raw("</ele>");
        // Only the log's own date makes a real time; a fixed or today's date would not.
        if (!e.log_date.empty() && !r.time.empty()) {
            time_ = e.log_date;
            time_ += 'T';
            time_ += r.time;
            time_ += 'Z';
            if (is_kml_time(time_)) out.put_raw("<time>").put_raw(time_).put_raw("</time>");
        }
        const EpochDecision& d = e.decision;
        if (d.placemarks > 0) {
            const FixClass c = d.classes[0];
            out.put_raw("<type>").put_raw(fix_class_name(c)).put_raw("</type><fix>").put_raw(gpx_fix(c, r.fix_mode))
                .put_raw("</fix>");
        }
        if (r.sats_used >= 0 && (nmea ? r.has_gga == 1 : r.sats_used != -1))
            out.put_raw("<sat>").put_int(r.sats_used).put_raw("</sat>");
        if (std::isfinite(r.hdop) && r.hdop >= 0 && (nmea ? r.has_gga == 1 : r.hdop > 0))
            out.put_raw("<hdop>").put_fixed(r.hdop, 3).put_raw("</hdop>");
        const bool has_age = nmea ? r.has_gga == 1 : look_.fields == EpochFieldSet::Solution;
        if (has_age && d.placemarks > 0 && differential(d.classes[0]) && std::isfinite(r.diff_age) &&
            r.diff_age >= 0)
            out.put_raw("<ageofdgpsdata>").put_fixed(r.diff_age, 2).put_raw("</ageofdgpsdata>");
        if (nmea && r.has_gga == 1 && r.dgps_station >= 0)
            out.put_raw("<dgpsid>").put_int(r.dgps_station).put_raw("</dgpsid>");
        out.put_raw("</trkpt>\n");
    }

    ByteSink& sink_;
    CompanionLook look_;
    KmlStream out_;
    SpoolSink all_points_;
    KmlStream all_stream_;
    std::string time_;
};

// The first element of the text, after any declaration, comments and
// white space, is <gpx.
bool root_is_gpx(std::string_view head) {
    std::size_t at = 0;
    for (;;) {
        at = head.find('<', at);
        if (at == std::string_view::npos || at + 1 >= head.size()) return false;
        const char next = head[at + 1];
        if (next != '?' && next != '!') break;
        at = head.find('>', at);
        if (at == std::string_view::npos) return false;
    }
    const std::string_view tag = head.substr(at + 1, 4);
    return tag.size() == 4 && tag.substr(0, 3) == "gpx" && (tag[3] == '>' || tag[3] == ' ' || tag[3] == '\n' ||
                                                           tag[3] == '\r' || tag[3] == '\t');
}

}  // namespace

std::unique_ptr<EpochOutput> make_gpx_output(ByteSink& sink, const CompanionLook& look) {
    return std::make_unique<GpxOutput>(sink, look);
}

bool is_gpx_file(std::string_view head, const CompanionLook&) { return root_is_gpx(head); }

}  // namespace zelvo
