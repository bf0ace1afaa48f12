#include "engine/waypoint_selection.h"

#include "nmea/field_text.h"

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
    : out_(out), options_(options), icons_(icons), valid_stream_(valid_points_), all_stream_(all_points_) {}

void WaypointSelection::placemark(const waypoints& record, FixClass fix_class) {
    if (epoch_placemarks_++ == 0) first_class_ = fix_class;
    write_waypoint_placemark(out_, record, count_++, icons_[static_cast<int>(fix_class)],
                             options_.input_format, options_.show_height ? 1 : 0, options_.icon_scale);
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
    bool on_valid_track = false;
    if (options_.input_format == kFormatNmea) {
        select_nmea(r);
        on_valid_track = passes_nmea_track_filter(r);
        if (on_valid_track) write_track_point(valid_stream_, TrackKind::ValidNmea, r);
    } else if (options_.input_format == kFormatBinary) {
        select_binary(r);
        on_valid_track = r.status == 'A';
        if (on_valid_track) write_track_point(valid_stream_, TrackKind::ValidBinary, r);
    }
    if (options_.use_all_waypoints) write_track_point(all_stream_, TrackKind::AllPoints, r);
    if (summary_) summary_->add(r, {true, first_class_, epoch_placemarks_, on_valid_track, receiver_date_});
}

void WaypointSelection::write_valid_track(std::uint64_t epochs) {
    TrackKind kind = options_.input_format == kFormatNmea ? TrackKind::ValidNmea : TrackKind::ValidBinary;
    // An NMEA log without a single epoch has no valid track at all.
    if (kind == TrackKind::ValidNmea && epochs == 0) return;
    write_track_head(out_, kind, "NormalTrack");
    valid_stream_.flush();
    valid_points_.copy_to(out_);
    write_track_tail(out_);
}

void WaypointSelection::write_all_points_track() {
    write_track_head(out_, TrackKind::AllPoints, "IncorrectTrack");
    all_stream_.flush();
    all_points_.copy_to(out_);
    write_track_tail(out_);
}

}  // namespace zelvo
