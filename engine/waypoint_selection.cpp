#include "engine/waypoint_selection.h"

#include <utility>

#include "engine/input_formats.h"
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

// Which records make a point of the valid track of an NMEA log.
bool passes_nmea_track_filter(const waypoints& r) {
    return (r.has_gga == 1 && r.has_rmc == 1 && r.status == 'A') ||
           (r.has_gga == 1 && r.has_rmc == 0 && r.quality != 0) ||
           (r.has_gga == 0 && r.has_rmc == 1 && r.status == 'A');
}

// A solution's Q: 1 fix, 2 float, 3 SBAS, 4 DGPS, 5 single, 6 PPP, 7 dead
// reckoning.
FixClass class_by_solution_quality(std::int32_t q) {
    switch (q) {
        case 1: return FixClass::RtkFix;
        case 2: return FixClass::RtkFloat;
        case 3:
        case 4:
        case 6: return FixClass::Diff;
        case 5: return FixClass::Auto;
        case 7: return FixClass::Estimated;
        default: return FixClass::Invalid;
    }
}

}  // namespace

EpochDecision select_nmea(const waypoints& r, const SelectionRules& rules) {
    EpochDecision d;
    const bool both = r.has_gga == 1 && r.has_rmc == 1;
    const bool gga_only = r.has_gga == 1 && r.has_rmc == 0;
    const bool rmc_only = r.has_gga == 0 && r.has_rmc == 1;
    auto fixed_date = [&] { return EpochDate{rules.fixed_date, DateSource::Fixed}; };
    // The tests are independent: one epoch can give several placemarks.
    if (both && (r.status == 'A' || r.quality != 0)) {
        if (rules.use_fixed_date) d.date = fixed_date();
        if (auto c = class_by_quality_or_mode(r)) d.add(*c);
        if (r.quality == 6 || r.mode_indicator == 'E') d.add(FixClass::Estimated);
    }
    if (both && (r.status == 'V' || r.quality == 0)) {
        if (rules.use_fixed_date) d.date = fixed_date();
        d.add(FixClass::Invalid);
    }
    if (gga_only && r.quality != 0) {
        // A GGA half has no date: the fixed one, or today's.
        d.date = rules.use_fixed_date ? fixed_date() : EpochDate{today_date(), DateSource::Today};
        if (auto c = class_by_quality(r.quality)) d.add(*c);
    }
    if (rmc_only && r.status == 'A') {
        if (auto c = class_by_mode(r.mode_indicator)) d.add(*c);
    }
    if (rmc_only && r.status == 'V') d.add(FixClass::Invalid);
    d.on_valid_track = passes_nmea_track_filter(r);
    return d;
}

EpochDecision select_tolv(const waypoints& r, const SelectionRules&) {
    EpochDecision d;
    if (r.status == 'A') d.add(FixClass::Auto);
    else if (r.status == 'V') d.add(FixClass::Invalid);
    d.on_valid_track = r.status == 'A';
    return d;
}

// The file dates every epoch, as an RMC sentence does: the fixed date
// replaces it when the user asks for one.
EpochDecision select_solution(const waypoints& r, const SelectionRules& rules) {
    EpochDecision d;
    if (rules.use_fixed_date) d.date = EpochDate{rules.fixed_date, DateSource::Fixed};
    d.add(class_by_solution_quality(r.quality));
    d.on_valid_track = r.quality >= 1 && r.quality <= 6;
    return d;
}

EpochDecision select_epoch(const waypoints& record, const SelectionRules& rules) {
    EpochDecision d = input_format_row(rules.input_format).select(record, rules);
    d.on_all_points_track = rules.all_points_track;
    // An epoch without a position is not drawn and takes no number; its
    // date work is done all the same.
    if (!has_position(record)) {
        d.placemarks = 0;
        d.on_valid_track = d.on_all_points_track = false;
    }
    return d;
}

EpochSelection::EpochSelection(SelectionRules rules)
    : rules_(std::move(rules)),
      thinning_(rules_.placemark_interval_ms),
      valid_gaps_(rules_.split_gap_ms),
      all_gaps_(rules_.split_gap_ms) {}

EpochDecision EpochSelection::decide(const waypoints& record) {
    EpochDecision d = select_epoch(record, rules_);
    for (int i = 0; i < d.placemarks; ++i)
        d.drawn[static_cast<std::size_t>(i)] =
            thinning_.draw(d.classes[static_cast<std::size_t>(i)], record.ms_of_day, last_epoch_);
    if (d.on_valid_track) d.valid_track_breaks = valid_gaps_.breaks_before(record.ms_of_day);
    if (d.on_all_points_track) d.all_points_track_breaks = all_gaps_.breaks_before(record.ms_of_day);
    return d;
}

}  // namespace zelvo
