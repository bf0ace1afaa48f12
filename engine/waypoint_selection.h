// Which epochs become placemarks, under which icon and with which date, and
// which make points of the tracks: one decision per final epoch, written
// down by the run.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/log_time.h"
#include "engine/placemark_thinning.h"
#include "record/vocabulary.h"
#include "record/waypoints.h"

namespace zelvo {

// The settings the decisions depend on.
struct SelectionRules {
    InputFormat input_format = InputFormat::Nmea;
    bool use_fixed_date = true;
    std::string fixed_date;
    bool all_points_track = false;
    std::int64_t placemark_interval_ms = 0;  // 0: every placemark is drawn
    std::int64_t split_gap_ms = 0;           // 0: the tracks never break
};

// A date the selection stamps on an epoch, and where it came from.
struct EpochDate {
    std::string text;  // "yyyy-mm-dd" as the user or the clock gave it
    DateSource source = DateSource::Fixed;
};

// What one epoch gives the document.
struct EpochDecision {
    std::optional<EpochDate> date;  // stamped on the record before its placemarks
    // The placemarks the epoch gives, in this order; a placemark thinned
    // out still counts as the epoch's class, but is not drawn.
    std::array<FixClass, 3> classes{};
    std::array<bool, 3> drawn{};
    int placemarks = 0;
    bool on_valid_track = false;
    bool on_all_points_track = false;
    // The point begins a new line of its track (a gap before it).
    bool valid_track_breaks = false;
    bool all_points_track_breaks = false;

    void add(FixClass c) {
        drawn[static_cast<std::size_t>(placemarks)] = true;
        classes[static_cast<std::size_t>(placemarks++)] = c;
    }
};

// The classes, date and valid track of one epoch, by the rules of each kind
// of log.
EpochDecision select_nmea(const waypoints& record, const SelectionRules& rules);
EpochDecision select_tolv(const waypoints& record, const SelectionRules& rules);
EpochDecision select_solution(const waypoints& record, const SelectionRules& rules);

// The decision for one epoch by its own fields alone: every placemark
// drawn, no track broken. An epoch without a position gives no placemark
// and no track point, but may still be given a date.
EpochDecision select_epoch(const waypoints& record, const SelectionRules& rules);

// The decisions for the epochs of one log in order, where thinning and the
// tracks' gaps also depend on the epochs before.
class EpochSelection {
public:
    explicit EpochSelection(SelectionRules rules);

    EpochDecision decide(const waypoints& record);
    // The next epoch is the log's last: its placemarks are always drawn.
    void last_epoch_follows() { last_epoch_ = true; }

private:
    SelectionRules rules_;
    PlacemarkThinning thinning_;
    TrackGaps valid_gaps_;
    TrackGaps all_gaps_;
    bool last_epoch_ = false;
};

}  // namespace zelvo
