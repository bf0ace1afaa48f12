// Which epochs become placemarks, under which icon and with which date, and
// which make points of the tracks: one decision per final epoch, written
// down by the run.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "record/vocabulary.h"
#include "record/waypoints.h"

namespace zelvo {

// The settings the decisions depend on.
struct SelectionRules {
    std::int32_t input_format = kFormatNmea;
    bool use_fixed_date = true;
    std::string fixed_date;
    bool all_points_track = false;
};

// What one epoch gives the document.
struct EpochDecision {
    std::optional<std::string> date;  // stamped on the record before its placemarks
    std::array<FixClass, 3> classes{};  // one placemark each, in this order
    int placemarks = 0;
    bool on_valid_track = false;
    bool on_all_points_track = false;

    void add(FixClass c) { classes[static_cast<std::size_t>(placemarks++)] = c; }
};

EpochDecision select_epoch(const waypoints& record, const SelectionRules& rules);

}  // namespace zelvo
