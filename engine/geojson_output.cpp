// A GeoJSON FeatureCollection: a Point per placemark with the epoch fields
// as typed properties, then a line per track.
#include <cmath>

#include "engine/epoch_outputs.h"
#include "output/epoch_data.h"
#include "output/number_format.h"
#include "output/spool_sink.h"

namespace zelvo {

namespace {

// A JSON string of printable ASCII and tabs, which is all a field text holds.
void put_json_string(KmlStream& out, std::string_view text) {
    out.put_char('"');
    for (char c : text) {
        if (c == '"' || c == '\\') out.put_char('\\').put_char(c);
        else if (c == '\t') out.put_raw("\\t");
        else if (static_cast<unsigned char>(c) < 0x20) out.put_raw("\\u003f");
        else out.put_char(c);
    }
    out.put_char('"');
}

struct Position {
    double longitude, latitude, altitude;
};

// [lon, lat, height]; a height that is no number is left out.
void put_position(KmlStream& out, const Position& p) {
    out.put_char('[').put_fixed(p.longitude, 9).put_char(',').put_fixed(p.latitude, 9);
    if (std::isfinite(p.altitude)) out.put_char(',').put_fixed(p.altitude, 3);
    out.put_char(']');
}

Position position_of(const waypoints& r) { return {r.longitude, r.latitude, r.altitude}; }

// Every feature but the first follows a comma.
void begin_feature(KmlStream& out, bool& any_feature) {
    out.put_raw(any_feature ? ",\n" : "\n");
    any_feature = true;
}

// The positions of one track, kept until the points are written. A piece
// of a single point is written twice: a line needs two positions.
class TrackLine {
public:
    TrackLine() : stream_(spool_) {}

    void add(const waypoints& r, bool begins_piece, bool split) {
        if (in_piece_ > 0 && begins_piece && split) {
            end_piece();
            stream_.put_raw("],[");
            in_piece_ = 0;
        }
        if (in_piece_ > 0) stream_.put_char(',');
        last_ = position_of(r);
        put_position(stream_, last_);
        ++in_piece_;
        ++points_;
    }

    void write(KmlStream& out, const char* track, bool split, bool& any_feature) {
        if (points_ == 0) return;
        end_piece();
        stream_.flush();
        begin_feature(out, any_feature);
        out.put_raw("{\"type\":\"Feature\",\"geometry\":{\"type\":\"")
            .put_raw(split ? "MultiLineString" : "LineString")
            .put_raw("\",\"coordinates\":")
            .put_raw(split ? "[[" : "[");
        spool_.copy_to(out);
        out.put_raw(split ? "]]" : "]").put_raw("},\"properties\":{\"track\":\"").put_raw(track).put_raw("\"}}");
    }

private:
    void end_piece() {
        if (in_piece_ == 1) {
            stream_.put_char(',');
            put_position(stream_, last_);
            ++in_piece_;
        }
    }

    SpoolSink spool_;
    KmlStream stream_;
    Position last_{};
    std::uint64_t in_piece_ = 0;
    std::uint64_t points_ = 0;
};

class GeoJsonOutput : public EpochOutput {
public:
    GeoJsonOutput(ByteSink& sink, const CompanionLook& look) : look_(look), out_(sink) {
        out_.put_raw("{\"type\":\"FeatureCollection\",\"features\":[");
    }

    const char* name() const override { return "GeoJSON"; }

    void epoch(const FinalEpoch& e) override {
        const EpochDecision& d = e.decision;
        std::int32_t number = e.first_placemark;
        for (std::size_t i = 0; i < static_cast<std::size_t>(d.placemarks); ++i)
            if (d.drawn[i]) point(e.record, number++, d.classes[i]);
        if (d.on_valid_track) valid_.add(e.record, d.valid_track_breaks, look_.split_tracks);
        if (d.on_all_points_track) all_.add(e.record, d.all_points_track_breaks, look_.split_tracks);
    }

    void finish(std::uint64_t) override {
        // The lines follow the points.
        valid_.write(out_, "valid", look_.split_tracks, any_feature_);
        all_.write(out_, "all", look_.split_tracks, any_feature_);
        out_.put_raw("\n]}\n");
        out_.flush();
    }

private:
    void point(const waypoints& r, std::int32_t number, FixClass c) {
        begin_feature(out_, any_feature_);
        out_.put_raw("{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":");
        put_position(out_, position_of(r));
        out_.put_raw("},\"properties\":{");
        const EpochValues values = epoch_values(r, number, c, look_.fields);
        for (std::size_t i = 0; i < values.count; ++i) {
            const EpochValue& v = values.values[i];
            if (i > 0) out_.put_char(',');
            out_.put_char('"').put_raw(v.field->name).put_raw("\":");
            if (!v.present) {
                out_.put_raw("null");
                continue;
            }
            switch (v.field->type) {
                case FieldType::Int: out_.put_int(v.integer); break;
                case FieldType::Double: out_.put_fixed(v.number, v.decimals); break;
                case FieldType::String: put_json_string(out_, epoch_value_text(v)); break;
                case FieldType::Bool: out_.put_raw(v.integer != 0 ? "true" : "false"); break;
            }
        }
        out_.put_raw("}}");
    }

    CompanionLook look_;
    KmlStream out_;
    TrackLine valid_;
    TrackLine all_;
    bool any_feature_ = false;
};

// An object whose opening names a FeatureCollection.
bool is_feature_collection(std::string_view head) {
    const std::size_t open = head.find_first_not_of(" \t\r\n");
    return open != std::string_view::npos && head[open] == '{' && head.find("\"FeatureCollection\"") != std::string_view::npos;
}

}  // namespace

std::unique_ptr<EpochOutput> make_geojson_output(ByteSink& sink, const CompanionLook& look) {
    return std::make_unique<GeoJsonOutput>(sink, look);
}

bool is_geojson_file(std::string_view head, const CompanionLook&) { return is_feature_collection(head); }

}  // namespace zelvo
