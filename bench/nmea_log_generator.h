// Synthetic NMEA logs for the benchmarks: a moving receiver logging GGA,
// RMC, GSA and three GSV sentences per epoch through every fix class.
#pragma once

#include <cstdint>
#include <string>

namespace zelvo::bench {

// Writes `epochs` epochs at 10 Hz to `path`; returns the bytes written.
std::uint64_t write_nmea_log(const std::string& path, std::uint64_t epochs);

}  // namespace zelvo::bench
