// Position solution files of post-processing: '%' header lines, then one
// epoch per line — time, position, height, Q, satellites, standard
// deviations, age, ratio and, in some files, velocities.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "record/waypoints.h"
#include "solution/solution_time.h"

namespace zelvo {

// How the position is written.
enum class SolutionLayout {
    Degrees,         // latitude(deg) longitude(deg) height(m)
    DegMinSec,       // latitude(d'") longitude(d'"): three numbers each, the sign on the degrees
    Ecef,            // x-ecef(m) y-ecef(m) z-ecef(m)
    Baseline,        // e-baseline(m) ...: no absolute position
};

struct SolutionHeader {
    SolutionTimeSystem time = SolutionTimeSystem::Gpst;
    SolutionLayout layout = SolutionLayout::Degrees;
    // The numbers an epoch line holds, from the names of the header; 0
    // without a header line naming the columns.
    std::size_t columns = 0;
    bool velocities = false;  // vn ve vu (or vx vy vz) follow the ratio
};

// Takes a header line (it begins with '%'); returns true when it is the
// line naming the columns, which sets the time system and the layout.
bool read_solution_header(std::string_view line, SolutionHeader& header);

// One epoch line into `record` (time, position, Q, satellites, deviations,
// age, ratio, and speed and course when the line has velocities; without
// them motion_derived is set, for the reader to work them out). Returns the
// epoch's UTC in milliseconds from 1980-01-06, or none for a line that is no
// epoch: wrong column count, a number that does not parse, a date or time
// that does not exist, a position off the globe.
std::optional<std::int64_t> decode_solution_line(std::string_view line, const SolutionHeader& header,
                                                 waypoints& record);

}  // namespace zelvo
