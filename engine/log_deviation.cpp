#include "engine/log_deviation.h"

#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <cmath>

#include "engine/nearest_rank.h"
#include "engine/session_summary.h"

namespace zelvo {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// The key two epochs meet on.
std::int64_t key_of(const EpochPosition& e, bool by_date) {
    return by_date ? e.instant_ms : ((e.instant_ms % kMsPerDay) + kMsPerDay) % kMsPerDay;
}

// Orders the epochs by key, keeping the log's order among equal keys so
// that the first of them is the one compared; a log in time order (the
// usual case) is left as it is.
void order_by_key(std::deque<EpochPosition>& epochs, bool by_date) {
    auto before = [by_date](const EpochPosition& a, const EpochPosition& b) {
        return key_of(a, by_date) < key_of(b, by_date);
    };
    if (!std::is_sorted(epochs.begin(), epochs.end(), before))
        std::stable_sort(epochs.begin(), epochs.end(), before);
}

Spread spread_of(std::deque<EpochPosition>::iterator begin, std::deque<EpochPosition>::iterator end,
                 double EpochPosition::*value) {
    return {*nearest_rank(begin, end, 50, value), *nearest_rank(begin, end, 95, value),
            *nearest_rank(begin, end, 100, value)};
}

int two_digits(std::string_view s, std::size_t at) {
    const char a = s[at], b = s[at + 1];
    return a >= '0' && a <= '9' && b >= '0' && b <= '9' ? (a - '0') * 10 + (b - '0') : -1;
}

}  // namespace

std::optional<std::int64_t> days_since_epoch(std::string_view d) {
    if (d.size() != 10 || d[4] != '-' || d[7] != '-') return std::nullopt;
    const int century = two_digits(d, 0), year_in = two_digits(d, 2);
    const int month = two_digits(d, 5), day = two_digits(d, 8);
    if (century < 0 || year_in < 0 || month < 1 || month > 12 || day < 1) return std::nullopt;
    const std::int64_t year = century * 100 + year_in;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day > kDays[month - 1] + (month == 2 && leap)) return std::nullopt;
    // Years from March, so that the leap day ends the year.
    const std::int64_t y = month <= 2 ? year - 1 : year;
    const std::int64_t era = y / 400;
    const std::int64_t year_of_era = y - era * 400;
    const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146'097 + day_of_era - 719'468;
}

void PositionCollector::add(const waypoints& r, std::string_view receiver_date) {
    if (r.time.empty() || !std::isfinite(r.altitude)) return;
    std::int64_t instant = epoch_ms_of_day(r);
    if (std::optional<std::int64_t> days = days_since_epoch(receiver_date)) instant += *days * kMsPerDay;
    else log_.dated = false;
    log_.epochs.push_back({instant, r.latitude, r.longitude, r.altitude});
}

LogDeviation compare_with_first(LogPositions& first, LogPositions later) {
    const bool by_date = first.dated && later.dated;
    order_by_key(first.epochs, by_date);
    order_by_key(later.epochs, by_date);

    // Walk both in time order; each pair's differences go into the later
    // log's room already passed: horizontal in latitude, vertical in longitude.
    auto& a = first.epochs;
    auto& b = later.epochs;
    std::size_t i = 0, j = 0, pairs = 0;
    while (i < a.size() && j < b.size()) {
        const std::int64_t ka = key_of(a[i], by_date), kb = key_of(b[j], by_date);
        if (ka < kb) {
            ++i;
        } else if (kb < ka) {
            ++j;
        } else {
            double metres = 0;
            GeographicLib::Geodesic::WGS84().Inverse(a[i].latitude, a[i].longitude, b[j].latitude, b[j].longitude,
                                                     metres);
            b[pairs].latitude = metres;
            b[pairs].longitude = std::fabs(a[i].height - b[j].height);
            ++pairs;
            // Later epochs at the same instant are repeats.
            while (++i < a.size() && key_of(a[i], by_date) == ka) {}
            while (++j < b.size() && key_of(b[j], by_date) == kb) {}
        }
    }
    LogDeviation d;
    d.common_epochs = pairs;
    if (pairs == 0) return d;
    const auto end = b.begin() + static_cast<std::ptrdiff_t>(pairs);
    d.horizontal_m = spread_of(b.begin(), end, &EpochPosition::latitude);
    d.vertical_m = spread_of(b.begin(), end, &EpochPosition::longitude);
    return d;
}

}  // namespace zelvo
