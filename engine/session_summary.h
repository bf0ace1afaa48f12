// The session at a glance: what one log holds, gathered epoch by epoch in
// the conversion's single pass, in memory that does not grow with the log.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion_options.h"
#include "engine/log_deviation.h"
#include "engine/standing_precision.h"
#include "record/waypoints.h"

namespace zelvo {

// What the selection decided about one final epoch.
struct EpochFacts {
    bool has_position = false;
    std::optional<FixClass> first_class;  // class of its first placemark; none without one
    int placemarks = 0;
    bool on_valid_track = false;
    std::string_view receiver_date;       // the log's own "yyyy-mm-dd"; empty when the log gave none
    bool has_correction_age = false;      // the epoch's diff_age is an age of corrections
};

// Slot of the epochs with a position but no placemark, after the six classes.
inline constexpr int kNoPlacemarkSlot = kFixClassCount;  // as StandingScatter keeps it
inline constexpr int kClassSlots = kFixClassCount + 1;

// Epoch counts per class over the session's time, in bins of equal width
// that double (merging neighbours) whenever the session outgrows them.
struct TimelineBins {
    static constexpr int kBins = 2048;
    struct Bin {
        std::uint64_t index = 0;  // the bin covers index * width_ms to (index + 1) * width_ms - 1
        std::array<std::uint32_t, kClassSlots> counts{};
    };
    std::uint64_t width_ms = 1;
    // Only the bins that count an epoch, by ascending index: a session with
    // few epochs or a jump in its time fills few.
    std::vector<Bin> filled;
};

struct SessionSummary {
    std::uint64_t epochs = 0;
    std::uint64_t epochs_with_position = 0;
    std::uint64_t placemarks = 0;
    std::array<std::uint64_t, kClassSlots> classes{};  // by FixClass, then kNoPlacemarkSlot
    std::optional<std::string> first_epoch;  // "yyyy-mm-ddThh:mm:ss.sssZ" or "hh:mm:ss.sss"
    std::optional<std::string> last_epoch;
    double duration_s = 0;
    std::int32_t first_ms_of_day = 0;        // of the first epoch with a time
    double valid_track_m = 0;
    double gap_threshold_s = 5;
    std::uint64_t gap_count = 0;
    double longest_gap_s = 0;
    std::optional<std::string> longest_gap_start;  // time of day of the epoch before it
    std::optional<double> hdop_median;
    std::optional<double> hdop_max;
    std::optional<double> diff_age_max_s;
    std::optional<double> first_rtk_fix_after_s;
    std::optional<std::uint64_t> skipped_lines;  // lines that were no epoch, for formats that count them
    TimelineBins timeline;
    // The precision of a standing receiver, when asked for; none without
    // an epoch with a position.
    bool standing_measured = false;
    std::optional<StandingFigures> standing;
    // How this log strays from the first of a comparison; none for the
    // first log and outside a comparison.
    std::optional<LogDeviation> versus_first;
};

// Counts of exact values. The median needs every value, but logs write HDOP
// with two or three decimals and epochs at a steady rate, so the distinct
// values stay few however long the log: the median comes out exact from a
// count per value.
template <typename Key>
class ExactHistogram {
public:
    ExactHistogram() = default;
    // The cached position would point into the other histogram.
    ExactHistogram(const ExactHistogram&) = delete;
    ExactHistogram& operator=(const ExactHistogram&) = delete;

    void add(Key k) {
        if (last_ == counts_.end() || last_->first != k) last_ = counts_.try_emplace(k, 0).first;
        ++last_->second;
        ++total_;
    }
    std::uint64_t total() const { return total_; }
    // The middle value; with an even count the mean of the two middle ones.
    std::optional<double> median() const;
    // How many values are above `limit`.
    std::uint64_t count_above(double limit) const;
    std::size_t distinct() const { return counts_.size(); }

private:
    std::map<Key, std::uint64_t> counts_;
    typename std::map<Key, std::uint64_t>::iterator last_ = counts_.end();
    std::uint64_t total_ = 0;
};

class SummaryAccumulator {
public:
    void add(const waypoints& record, const EpochFacts& facts);
    SessionSummary finish() const;

private:
    void add_time(const waypoints& record, const EpochFacts& facts, int slot);
    void add_to_timeline(std::uint64_t offset_ms, int slot);

    SessionSummary s_;
    ExactHistogram<double> hdop_;
    ExactHistogram<std::int64_t> steps_ms_;
    bool has_time_ = false;
    std::int32_t last_ms_ = 0;        // the session's latest time of day
    std::int32_t last_epoch_ms_ = 0;  // the last epoch's, which may be earlier
    std::string last_date_;
    std::uint64_t offset_ms_ = 0;  // of the last timed epoch from the first
    std::uint64_t longest_step_ms_ = 0;
    bool has_track_point_ = false;
    double last_lat_ = 0, last_lon_ = 0;
};

// The date the log itself gave the epoch ("yyyy-mm-dd"), or empty: a date
// from the computer's clock or the user, or none at all, is not the receiver's.
std::string_view receiver_date(const waypoints& record);

// The epoch has a position the summary counts: one the selection takes,
// on the globe.
bool counts_as_positioned(const waypoints& record, const EpochFacts& facts);

// The epoch's time of day to the nearest millisecond, from its time text
// (the record's ms_of_day truncates, which turns "29.9" into 29.899 s).
std::int32_t epoch_ms_of_day(const waypoints& record);

// "hh:mm:ss.sss" of a time of day in milliseconds.
std::string time_of_day_text(std::int32_t ms_of_day);

// The class's name in the report: auto, diff, rtk_fix, rtk_float,
// estimated, invalid, and none for kNoPlacemarkSlot.
std::string_view class_slot_name(int slot);

}  // namespace zelvo
