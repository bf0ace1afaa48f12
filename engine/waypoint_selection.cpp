#include "engine/waypoint_selection.h"

#include "nmea/field_text.h"
#include "output/epoch_data.h"

namespace zelvo {

namespace {

// First choice for an epoch with both halves: quality, or else the mode.
std::optional<FixClass> class_by_quality_or_mode(const waypoints& r) {
    if (r.quality == 1 || r.mode_indicator == 'A') return FixClass::Auto;
    if (r.quality == 2 || r.mode_indicator == 'D') return FixClass::Diff;
    if (r.quality == 4 || r.mode_indicator == 'P') return FixClass::RtkFix;
    if (r.quality == 5 || r.mode_indicator == 'F') return FixClass::RtkFloat;
    return std::nullopt;
}

// A GGA half alone: quality decides.
std::optional<FixClass> class_by_quality(std::int32_t quality) {
    switch (quality) {
        case 1: return FixClass::Auto;
        case 2: return FixClass::Diff;
        case 4: return FixClass::RtkFix;
        case 5: return FixClass::RtkFloat;
        case 6: return FixClass::Estimated;
        default: return std::nullopt;
    }
}

// An RMC half alone: the mode letter decides; a blank counts as autonomous.
std::optional<FixClass> class_by_mode(char mode) {
    switch (mode) {
        case ' ':
        case 'A': return FixClass::Auto;
        case 'D': return FixClass::Diff;
        case 'P': return FixClass::RtkFix;
        case 'F': return FixClass::RtkFloat;
        case 'E': return FixClass::Estimated;
        default: return std::nullopt;
    }
}

}  // namespace

WaypointSelection::WaypointSelection(KmlStream& out, const ConversionOptions& options,
                                     const IconNames& icons)
    : out_(out),
      options_(options),
      icons_(icons),
      thinning_(options.placemark_interval_ms),
      valid_gaps_(options.split_gap_ms),
      all_gaps_(options.split_gap_ms),
      valid_stream_(valid_points_),
      all_stream_(all_points_) {}

void WaypointSelection::placemark(const waypoints& record, FixClass fix_class) {
    // An epoch without a position is not drawn, and takes no number.
    if (!has_position(record)) return;
    // The summary counts the epoch by its class, drawn or thinned out.
    if (!first_class_) first_class_ = fix_class;
    if (!thinning_.draw(fix_class, record.ms_of_day, last_epoch_)) return;
    const std::string& icon = icons_[static_cast<int>(fix_class)];
    write_waypoint_placemark_head(out_, record, count_, icon, options_.input_format, options_.icon_scale);
    if (options_.epoch_data) write_epoch_data(out_, record, count_, fix_class, options_.input_format);
    write_waypoint_placemark_point(out_, record, options_.show_height ? 1 : 0);
    ++count_;
    ++epoch_placemarks_;
}

void WaypointSelection::track_point(TrackGaps& gaps, KmlStream& stream, TrackKind kind, const waypoints& r) {
    if (gaps.breaks_before(r.ms_of_day)) write_track_break(stream);
    write_track_point(stream, kind, r);
}

void WaypointSelection::select_nmea(waypoints& r) {
    const bool both = r.has_gga == 1 && r.has_rmc == 1;
    const bool gga_only = r.has_gga == 1 && r.has_rmc == 0;
    const bool rmc_only = r.has_gga == 0 && r.has_rmc == 1;
    auto put_fixed_date = [&] {
        if (options_.use_fixed_date) r.date = options_.fixed_date + "^";
    };
    // The tests are independent: one epoch can give several placemarks.
    if (both && (r.status == 'A' || r.quality != 0)) {
        put_fixed_date();
        if (auto c = class_by_quality_or_mode(r)) placemark(r, *c);
        if (r.quality == 6 || r.mode_indicator == 'E') placemark(r, FixClass::Estimated);
    }
    if (both && (r.status == 'V' || r.quality == 0)) {
        put_fixed_date();
        placemark(r, FixClass::Invalid);
    }
    if (gga_only && r.quality != 0) {
        // A GGA half has no date: the fixed one, or today's.
        r.date = options_.use_fixed_date ? options_.fixed_date + "^" : today_with_marker();
        if (auto c = class_by_quality(r.quality)) placemark(r, *c);
    }
    if (rmc_only && r.status == 'A') {
        if (auto c = class_by_mode(r.mode_indicator)) placemark(r, *c);
    }
    if (rmc_only && r.status == 'V') placemark(r, FixClass::Invalid);
}

void WaypointSelection::select_binary(const waypoints& r) {
    if (r.status == 'A') placemark(r, FixClass::Auto);
    else if (r.status == 'V') placemark(r, FixClass::Invalid);
}

void WaypointSelection::epoch_final(waypoints& r) {
    // The selection may stamp the fixed date: keep the log's own first.
    if (summary_) receiver_date_ = receiver_date(r);
    first_class_.reset();
    epoch_placemarks_ = 0;
    // The selection still runs for an epoch without a position: it does
    // the epoch's date work.
    const bool drawn = has_position(r);
    bool on_valid_track = false;
    if (options_.input_format == kFormatNmea) {
        select_nmea(r);
        on_valid_track = drawn && passes_nmea_track_filter(r);
        if (on_valid_track) track_point(valid_gaps_, valid_stream_, TrackKind::ValidNmea, r);
    } else if (options_.input_format == kFormatBinary) {
        select_binary(r);
        on_valid_track = drawn && r.status == 'A';
        if (on_valid_track) track_point(valid_gaps_, valid_stream_, TrackKind::ValidBinary, r);
    }
    if (drawn && options_.use_all_waypoints) track_point(all_gaps_, all_stream_, TrackKind::AllPoints, r);
    if (summary_) summary_->add(r, {drawn, first_class_, epoch_placemarks_, on_valid_track, receiver_date_});
}

void WaypointSelection::write_valid_track(std::uint64_t epochs) {
    TrackKind kind = options_.input_format == kFormatNmea ? TrackKind::ValidNmea : TrackKind::ValidBinary;
    // An NMEA log without a single epoch has no valid track at all.
    if (kind == TrackKind::ValidNmea && epochs == 0) return;
    const bool split = options_.split_gap_ms > 0;
    write_track_head(out_, kind, "NormalTrack", split);
    valid_stream_.flush();
    valid_points_.copy_to(out_);
    write_track_tail(out_, split);
}

void WaypointSelection::write_all_points_track() {
    const bool split = options_.split_gap_ms > 0;
    write_track_head(out_, TrackKind::AllPoints, "IncorrectTrack", split);
    all_stream_.flush();
    all_points_.copy_to(out_);
    write_track_tail(out_, split);
}

}  // namespace zelvo
