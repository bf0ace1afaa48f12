#include "engine/session_summary.h"

#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zelvo {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr double kMinimumGapS = 5;
constexpr double kGapStepFactor = 5;

// The receiver's time of day, brought into one day.
std::int32_t day_ms(std::int32_t ms) {
    return static_cast<std::int32_t>(((static_cast<std::int64_t>(ms) % kMsPerDay) + kMsPerDay) % kMsPerDay);
}

std::string epoch_text(std::string_view date, std::int32_t ms) {
    if (date.empty()) return time_of_day_text(ms);
    return std::string(date) + "T" + time_of_day_text(ms) + "Z";
}

}  // namespace

std::int32_t epoch_ms_of_day(const waypoints& r) {
    const std::string& t = r.time;
    auto two_digits = [&](std::size_t at) {
        return std::isdigit(static_cast<unsigned char>(t[at])) && std::isdigit(static_cast<unsigned char>(t[at + 1]))
                   ? (t[at] - '0') * 10 + (t[at + 1] - '0')
                   : -1;
    };
    if (t.size() < 7 || t[2] != ':' || t[5] != ':') return day_ms(r.ms_of_day);
    const int hours = two_digits(0), minutes = two_digits(3);
    double seconds = -1;
    const auto parsed = std::from_chars(t.data() + 6, t.data() + t.size(), seconds);
    if (hours < 0 || minutes < 0 || parsed.ec != std::errc() || parsed.ptr != t.data() + t.size() ||
        !(seconds >= 0 && seconds < 60))
        return day_ms(r.ms_of_day);
    return day_ms(static_cast<std::int32_t>(hours * 3'600'000 + minutes * 60'000 + std::llround(seconds * 1000)));
}

namespace {

bool on_the_globe(const waypoints& r) {
    return std::isfinite(r.latitude) && std::isfinite(r.longitude) && std::fabs(r.latitude) <= 90 &&
           std::fabs(r.longitude) <= 180;
}

}  // namespace

bool counts_as_positioned(const waypoints& r, const EpochFacts& facts) { return facts.has_position && on_the_globe(r); }

std::string time_of_day_text(std::int32_t ms_of_day) {
    const std::int32_t ms = day_ms(ms_of_day);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60,
                  ms % 1000);
    return text;
}

std::string_view receiver_date(const waypoints& r) {
    const std::string& d = r.date;
    if (r.date_source != DateSource::Log || d.size() != 10 || d[4] != '-' || d[7] != '-') return {};
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (d[i] < '0' || d[i] > '9') return {};
    return d;
}

std::string_view class_slot_name(int slot) {
    static constexpr std::array<std::string_view, kClassSlots> kNames = {
        "auto", "diff", "rtk_fix", "rtk_float", "estimated", "invalid", "none"};
    return kNames.at(static_cast<std::size_t>(slot));
}

template <typename Key>
std::optional<double> ExactHistogram<Key>::median() const {
    if (total_ == 0) return std::nullopt;
    // Ranks (0-based) of the middle value, or of the two middle values.
    const std::uint64_t low = (total_ - 1) / 2, high = total_ / 2;
    std::optional<double> low_value;
    std::uint64_t seen = 0;
    for (const auto& [key, count] : counts_) {
        seen += count;
        if (!low_value && seen > low) low_value = static_cast<double>(key);
        if (seen > high) return (*low_value + static_cast<double>(key)) / 2;
    }
    return low_value;
}

template <typename Key>
std::uint64_t ExactHistogram<Key>::count_above(double limit) const {
    std::uint64_t n = 0;
    for (auto it = counts_.rbegin(); it != counts_.rend() && static_cast<double>(it->first) > limit; ++it)
        n += it->second;
    return n;
}

template class ExactHistogram<double>;
template class ExactHistogram<std::int64_t>;

void SummaryAccumulator::add(const waypoints& r, const EpochFacts& facts) {
    ++s_.epochs;
    s_.placemarks += static_cast<std::uint64_t>(facts.placemarks);
    const bool positioned = counts_as_positioned(r, facts);
    int slot = kNoPlacemarkSlot;
    if (positioned) {
        ++s_.epochs_with_position;
        if (facts.first_class) slot = static_cast<int>(*facts.first_class);
        ++s_.classes[static_cast<std::size_t>(slot)];
        // A zero HDOP is the receiver leaving the field empty, not a geometry;
        // a field that reads as infinite or not a number says nothing either.
        if (r.hdop > 0 && std::isfinite(r.hdop)) {
            hdop_.add(r.hdop);
            if (!s_.hdop_max || r.hdop > *s_.hdop_max) s_.hdop_max = r.hdop;
        }
    }
    // The age of the corrections: an empty field reads as 0, which is no
    // correction rather than one of no age, like a zero HDOP.
    if (facts.has_correction_age && r.diff_age > 0 && std::isfinite(r.diff_age) &&
        (!s_.diff_age_max_s || r.diff_age > *s_.diff_age_max_s))
        s_.diff_age_max_s = r.diff_age;
    if (facts.on_valid_track && positioned) {
        if (has_track_point_) {
            // A receiver standing still repeats its position: no distance to work out.
            if (r.latitude != last_lat_ || r.longitude != last_lon_) {
                double metres = 0, unused = 0;
                GeographicLib::Geodesic::WGS84().GenInverse(last_lat_, last_lon_, r.latitude, r.longitude,
                                                            GeographicLib::Geodesic::DISTANCE, metres, unused,
                                                            unused, unused, unused, unused, unused);
                s_.valid_track_m += metres;
            }
        }
        has_track_point_ = true;
        last_lat_ = r.latitude;
        last_lon_ = r.longitude;
    }
    if (!r.time.empty()) add_time(r, facts, slot);
}

// Time runs forward from the first epoch with a time. A step back in the
// time of day of more than half a day is the session passing midnight; a
// shorter one is the receiver repeating or reordering an epoch (logs hold
// steps back of a fraction of a second and of a few seconds), which must
// not count as a day: the session's clock then stays where it was.
void SummaryAccumulator::add_time(const waypoints& r, const EpochFacts& facts, int slot) {
    const std::int32_t ms = epoch_ms_of_day(r);
    if (!has_time_) {
        has_time_ = true;
        s_.first_ms_of_day = ms;
        s_.first_epoch = epoch_text(facts.receiver_date, ms);
        last_ms_ = ms;
    } else {
        const std::int64_t step = ((static_cast<std::int64_t>(ms) - last_ms_) % kMsPerDay + kMsPerDay) % kMsPerDay;
        if (step <= kMsPerDay / 2) {
            if (step > 0) {
                steps_ms_.add(step);
                if (static_cast<std::uint64_t>(step) > longest_step_ms_) {
                    longest_step_ms_ = static_cast<std::uint64_t>(step);
                    s_.longest_gap_start = time_of_day_text(last_ms_);
                }
            }
            offset_ms_ += static_cast<std::uint64_t>(step);
            last_ms_ = ms;
        }
    }
    last_epoch_ms_ = ms;
    if (facts.first_class == FixClass::RtkFix && !s_.first_rtk_fix_after_s)
        s_.first_rtk_fix_after_s = static_cast<double>(offset_ms_) / 1000;
    // The last epoch's text is made once, in finish(); keep what it needs.
    last_date_.assign(facts.receiver_date);
    add_to_timeline(offset_ms_, slot);
}

void SummaryAccumulator::add_to_timeline(std::uint64_t offset_ms, int slot) {
    TimelineBins& t = s_.timeline;
    // The bins double in width until the offset fits; a long jump doubles
    // them many times at once, so the counts are merged in one pass: after
    // d doublings bin i holds the old bins i * 2^d to (i + 1) * 2^d - 1.
    int doublings = 0;
    while (offset_ms / t.width_ms >= TimelineBins::kBins) {
        t.width_ms *= 2;
        ++doublings;
    }
    if (doublings > 0) {
        // Ascending: neighbours that merge are next to each other, and a bin
        // lands at or before its old place.
        std::size_t kept = 0;
        for (const TimelineBins::Bin& old : t.filled) {
            const std::uint64_t to = old.index >> doublings;
            if (kept > 0 && t.filled[kept - 1].index == to) {
                for (std::size_t k = 0; k < old.counts.size(); ++k) t.filled[kept - 1].counts[k] += old.counts[k];
            } else {
                const TimelineBins::Bin moved{to, old.counts};
                t.filled[kept++] = moved;
            }
        }
        t.filled.resize(kept);
    }
    // Time only runs forward: a new bin is beyond every filled one.
    const std::uint64_t bin = offset_ms / t.width_ms;
    if (t.filled.empty() || t.filled.back().index != bin) t.filled.push_back({bin, {}});
    ++t.filled.back().counts[static_cast<std::size_t>(slot)];
}

SessionSummary SummaryAccumulator::finish() const {
    SessionSummary s = s_;
    if (has_time_) {
        s.last_epoch = epoch_text(last_date_, last_epoch_ms_);
        s.duration_s = static_cast<double>(offset_ms_) / 1000;
    }
    s.hdop_median = hdop_.median();
    if (std::optional<double> step = steps_ms_.median())
        s.gap_threshold_s = std::max(kMinimumGapS, kGapStepFactor * *step / 1000);
    s.gap_count = steps_ms_.count_above(s.gap_threshold_s * 1000);
    if (s.gap_count == 0) s.longest_gap_start.reset();
    else s.longest_gap_s = static_cast<double>(longest_step_ms_) / 1000;
    return s;
}

}  // namespace zelvo
