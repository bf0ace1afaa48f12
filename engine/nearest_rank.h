// Percentiles by nearest rank: the smallest value with at least p % of the
// values at or below it, always one of the values themselves.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>

namespace zelvo {

// The 1-based rank of the p-th percentile among `count` values: the
// smallest rank r with r / count >= p / 100, worked out in whole numbers
// so that the median of four values is exactly the second.
inline std::uint64_t nearest_rank_of(std::uint64_t count, int percent) {
    return std::max<std::uint64_t>(1, (static_cast<std::uint64_t>(percent) * count + 99) / 100);
}

// The p-th percentile of the values `projection` gives for [first, last),
// or none without a value. The elements are reordered (a partial sort
// around the rank).
template <typename It, typename Projection = std::identity>
std::optional<double> nearest_rank(It first, It last, int percent, Projection projection = {}) {
    const auto count = static_cast<std::uint64_t>(std::distance(first, last));
    if (count == 0) return std::nullopt;
    const It nth = first + static_cast<std::ptrdiff_t>(nearest_rank_of(count, percent) - 1);
    std::ranges::nth_element(first, nth, last, std::ranges::less{}, projection);
    return static_cast<double>(std::invoke(projection, *nth));
}

}  // namespace zelvo
