// Synthetic binary logs for the benchmarks: a position, satellite, DOP and
// used-satellite message per epoch.
#pragma once

#include <cstdint>
#include <string>

namespace zelvo::bench {

// Writes `epochs` epochs at 10 Hz to `path`; returns the bytes written.
std::uint64_t write_tolv_log(const std::string& path, std::uint64_t epochs);

}  // namespace zelvo::bench
