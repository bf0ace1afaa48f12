#include "engine/summary_report.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "engine/input_formats.h"
#include "output/utf8_text.h"

namespace zelvo {

namespace {

// Numbers never follow the locale: scripts and documents read ".".
std::string shortest(double v) {
    char text[32];
    auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

std::string fixed(double v, int decimals) {
    // Room for every double: up to 309 digits before the point. A buffer too
    // small leaves to_chars' output undefined, and its bytes went into the
    // document.
    char text[400];
    auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return shortest(v);
    return std::string(text, r.ptr);
}

// JSON is UTF-8: a name in another encoding keeps its valid parts and shows
// U+FFFD for each byte that is not.
std::string json_string(const std::string& text) {
    const std::string s = valid_utf8(text);
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string json_or_null(const std::optional<std::string>& s) { return s ? json_string(*s) : "null"; }
std::string json_or_null(const std::optional<double>& v) { return v ? shortest(*v) : "null"; }

// "1:02:03.500"
std::string duration_text(double seconds) {
    const auto ms = static_cast<unsigned long long>(std::llround(seconds * 1000));
    char text[48];
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu.%03llu", ms / 3'600'000, ms / 60'000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}

std::string_view class_label(int slot) {
    static constexpr std::array<std::string_view, kClassSlots> kLabels = {
        "auto", "diff", "RTK fix", "RTK float", "estimated", "invalid", "no placemark"};
    return kLabels.at(static_cast<std::size_t>(slot));
}

double share_percent(const SessionSummary& s, int slot) {
    if (s.epochs_with_position == 0) return 0;
    return 100.0 * static_cast<double>(s.classes[static_cast<std::size_t>(slot)]) /
           static_cast<double>(s.epochs_with_position);
}

std::string length_text(double metres) {
    return metres >= 10'000 ? fixed(metres / 1000, 3) + " km" : fixed(metres, 2) + " m";
}

std::string_view standing_class(const StandingFigures& f) { return f.rtk_fix_only ? "rtk_fix" : "all"; }

// "120 RTK fix epochs", "86 epochs of all classes"
std::string standing_epochs_text(const StandingFigures& f) {
    return std::to_string(f.epochs) + (f.rtk_fix_only ? " RTK fix epochs" : " epochs of all classes");
}

// The standing receiver's figures: millimetres for the spread, a tenth of
// a millimetre for the mean.
void add_standing_rows(std::vector<std::pair<std::string, std::string>>& rows,
                       const std::optional<StandingFigures>& f) {
    if (!f) {
        rows.emplace_back("static", "no epoch with a position");
        return;
    }
    rows.emplace_back("static", standing_epochs_text(*f) + ", mean " + fixed(f->latitude, 9) + ", " +
                                    fixed(f->longitude, 9) + ", " + fixed(f->height, 4) + " m");
    rows.emplace_back("sd", "north " + fixed(f->sd_north_m, 3) + " m, east " + fixed(f->sd_east_m, 3) + " m, up " +
                                fixed(f->sd_up_m, 3) + " m");
    rows.emplace_back("CEP", "50 % " + fixed(f->cep50_m, 3) + " m, 95 % " + fixed(f->cep95_m, 3) + " m");
}

std::string spread_text(const Spread& s) {
    return "median " + fixed(s.median, 3) + " m, p95 " + fixed(s.p95, 3) + " m, max " + fixed(s.max, 3) + " m";
}

// The comparison with the first log, to the millimetre.
void add_deviation_rows(std::vector<std::pair<std::string, std::string>>& rows, const LogDeviation& d) {
    if (d.common_epochs == 0) {
        rows.emplace_back("vs first", "no common epoch");
        return;
    }
    rows.emplace_back("vs first", std::to_string(d.common_epochs) + " common epochs");
    rows.emplace_back("horizontal", spread_text(*d.horizontal_m));
    rows.emplace_back("vertical", spread_text(*d.vertical_m));
}

// One label and its text per line of the terminal and row of the table.
std::vector<std::pair<std::string, std::string>> summary_rows(const SessionSummary& s) {
    std::vector<std::pair<std::string, std::string>> rows;
    if (s.first_epoch) {
        rows.emplace_back("time", *s.first_epoch + " to " + s.last_epoch.value_or("") + ", " +
                                      duration_text(s.duration_s));
    } else {
        rows.emplace_back("time", "no epoch with a time");
    }
    rows.emplace_back("epochs", std::to_string(s.epochs) + ", " + std::to_string(s.epochs_with_position) +
                                    " with a position, " + std::to_string(s.placemarks) + " placemarks");
    std::string classes;
    for (int slot = 0; slot < kClassSlots; ++slot) {
        if (s.classes[static_cast<std::size_t>(slot)] == 0) continue;
        if (!classes.empty()) classes += ", ";
        classes += std::string(class_label(slot)) + " " + fixed(share_percent(s, slot), 1) + " %";
    }
    rows.emplace_back("classes", classes.empty() ? "no epoch with a position" : classes);
    rows.emplace_back("track", length_text(s.valid_track_m));
    std::string gaps = std::to_string(s.gap_count) + " over " + fixed(s.gap_threshold_s, 1) + " s";
    if (s.longest_gap_start)
        gaps += ", longest " + fixed(s.longest_gap_s, 1) + " s from " + *s.longest_gap_start;
    rows.emplace_back("gaps", gaps);
    rows.emplace_back("hdop", s.hdop_median ? "median " + fixed(*s.hdop_median, 2) + ", max " + fixed(*s.hdop_max, 2)
                                            : "none reported");
    rows.emplace_back("diff age", s.diff_age_max_s ? "max " + fixed(*s.diff_age_max_s, 1) + " s" : "none");
    rows.emplace_back("RTK fix", s.first_rtk_fix_after_s ? "first after " + fixed(*s.first_rtk_fix_after_s, 1) + " s"
                                                         : "never");
    if (s.skipped_lines) rows.emplace_back("bad lines", std::to_string(*s.skipped_lines) + " skipped");
    if (s.standing_measured) add_standing_rows(rows, s.standing);
    if (s.versus_first) add_deviation_rows(rows, *s.versus_first);
    return rows;
}

std::string html_safe(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

Rgb rgb_of(ColorRef c) {
    return {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>(c >> 8 & 0xFF),
            static_cast<std::uint8_t>(c >> 16 & 0xFF)};
}

constexpr Rgb kNoPlacemarkColour{190, 190, 190};

// Tick spacing: the first of these that gives at most eight ticks.
constexpr std::array<std::uint64_t, 18> kTickSteps_ms = {
    1'000, 2'000, 5'000, 10'000, 15'000, 30'000, 60'000, 120'000, 300'000, 600'000, 900'000,
    1'800'000, 3'600'000, 7'200'000, 10'800'000, 21'600'000, 43'200'000, 86'400'000};

// The strip's columns over the session, each an equal share of its span.
// The span is the session's duration and one millisecond, never zero.
struct StripScale {
    std::uint64_t span_ms = 0;

    std::uint32_t column_of(std::uint64_t offset_ms) const {
        return static_cast<std::uint32_t>(
            std::min<std::uint64_t>(kTimelineColumns - 1, offset_ms * kTimelineColumns / span_ms));
    }
};

// Each column takes the class most of its epochs have; -1 where none fell.
std::vector<int> majority_slots(const TimelineBins& t, const StripScale& scale) {
    std::vector<std::array<std::uint64_t, kClassSlots>> per_column(kTimelineColumns);
    for (const TimelineBins::Bin& bin : t.filled) {
        auto& c = per_column[scale.column_of(bin.index * t.width_ms)];
        for (std::size_t k = 0; k < bin.counts.size(); ++k) c[k] += bin.counts[k];
    }
    std::vector<int> slot_of(kTimelineColumns, -1);
    for (std::uint32_t c = 0; c < kTimelineColumns; ++c) {
        std::uint64_t best = 0;
        for (int k = 0; k < kClassSlots; ++k) {
            if (per_column[c][std::size_t(k)] > best) {
                best = per_column[c][std::size_t(k)];
                slot_of[c] = k;
            }
        }
    }
    return slot_of;
}

// Columns between two epochs closer than a gap keep the earlier one's
// class; a gap stays blank.
void bridge_short_pauses(std::vector<int>& slot_of, const StripScale& scale, double gap_threshold_s) {
    const double column_ms = static_cast<double>(scale.span_ms) / kTimelineColumns;
    int last = -1;
    for (std::uint32_t c = 0; c < kTimelineColumns; ++c) {
        if (slot_of[c] < 0) continue;
        if (last >= 0 && (c - static_cast<std::uint32_t>(last) - 1) * column_ms <= gap_threshold_s * 1000) {
            for (std::uint32_t f = static_cast<std::uint32_t>(last) + 1; f < c; ++f) slot_of[f] = slot_of[std::size_t(last)];
        }
        last = static_cast<int>(c);
    }
}

std::vector<std::optional<Rgb>> column_colours(const SessionSummary& s, const ConversionOptions& options,
                                               const StripScale& scale) {
    std::vector<int> slot_of = majority_slots(s.timeline, scale);
    bridge_short_pauses(slot_of, scale, s.gap_threshold_s);
    std::vector<std::optional<Rgb>> columns(kTimelineColumns, std::nullopt);
    for (std::uint32_t c = 0; c < kTimelineColumns; ++c) {
        if (slot_of[c] < 0) continue;
        columns[c] = slot_of[c] == kNoPlacemarkSlot ? kNoPlacemarkColour
                                                    : rgb_of(options.class_color(static_cast<FixClass>(slot_of[c])));
    }
    return columns;
}

// "yyyy-mm-dd" `days` after `date` ("yyyy-mm-dd").
std::string date_after(std::string_view date, std::uint64_t days) {
    int y = 0;
    unsigned m = 0, d = 0;
    std::from_chars(date.data(), date.data() + 4, y);
    std::from_chars(date.data() + 5, date.data() + 7, m);
    std::from_chars(date.data() + 8, date.data() + 10, d);
    const std::chrono::year_month_day day{std::chrono::sys_days{std::chrono::year{y} / m / d} +
                                          std::chrono::days{static_cast<long>(days)}};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    return text;
}

// Ticks on whole multiples of the step in the receiver's time of day. The
// first tick also says the day, when the log gave one (`first_date`, of the
// first epoch): a strip of times alone could be any day.
std::vector<TimelineTick> time_ticks(const StripScale& scale, std::int32_t first_ms_of_day,
                                     std::string_view first_date) {
    std::uint64_t step = kTickSteps_ms.back();
    for (std::uint64_t candidate : kTickSteps_ms) {
        if (scale.span_ms / candidate <= 8) {
            step = candidate;
            break;
        }
    }
    std::vector<TimelineTick> ticks;
    const std::uint64_t start = static_cast<std::uint64_t>(first_ms_of_day);
    for (std::uint64_t at = (start + step - 1) / step * step; at < start + scale.span_ms; at += step) {
        const std::string text = time_of_day_text(static_cast<std::int32_t>(at % 86'400'000));
        std::string label = step < 60'000 ? text.substr(0, 8) : text.substr(0, 5);
        if (ticks.empty() && !first_date.empty()) label = date_after(first_date, at / 86'400'000) + " " + label;
        ticks.push_back({scale.column_of(at - start), std::move(label)});
    }
    return ticks;
}

// Every fix class in its colour with its share of the epochs, and the grey
// of the epochs without a placemark when the strip shows any.
std::vector<TimelineLegendItem> legend_items(const SessionSummary& s, const ConversionOptions& options) {
    static constexpr std::array<std::string_view, kClassSlots> kLegendNames = {
        "Auto", "Diff", "RTK fix", "RTK float", "Estimated", "Invalid", "No placemark"};
    std::vector<TimelineLegendItem> legend;
    for (int k = 0; k < kClassSlots; ++k) {
        if (k == kNoPlacemarkSlot && s.classes[std::size_t(k)] == 0) continue;
        const Rgb colour = k == kNoPlacemarkSlot ? kNoPlacemarkColour : rgb_of(options.class_color(static_cast<FixClass>(k)));
        legend.push_back({colour, std::string(kLegendNames[std::size_t(k)]) + " " + fixed(share_percent(s, k), 1) + " %"});
    }
    return legend;
}

// A figure that overflowed (heights far off the earth) is no number JSON knows.
std::string json_number(double v) { return std::isfinite(v) ? shortest(v) : "null"; }

std::string standing_json(const std::optional<StandingFigures>& f) {
    if (!f) return "null";
    return "{\"class\": \"" + std::string(standing_class(*f)) + "\", \"epochs\": " + std::to_string(f->epochs) +
           ", \"lat\": " + json_number(f->latitude) + ", \"lon\": " + json_number(f->longitude) +
           ", \"height\": " + json_number(f->height) + ", \"sd_m\": {\"north\": " + json_number(f->sd_north_m) +
           ", \"east\": " + json_number(f->sd_east_m) + ", \"up\": " + json_number(f->sd_up_m) +
           "}, \"cep50_m\": " + json_number(f->cep50_m) + ", \"cep95_m\": " + json_number(f->cep95_m) + "}";
}

std::string spread_json(const std::optional<Spread>& s) {
    if (!s) return "null";
    return "{\"median\": " + json_number(s->median) + ", \"p95\": " + json_number(s->p95) +
           ", \"max\": " + json_number(s->max) + "}";
}

std::string deviation_json(const LogDeviation& d) {
    return "{\"common_epochs\": " + std::to_string(d.common_epochs) + ", \"horizontal_m\": " +
           spread_json(d.horizontal_m) + ", \"vertical_m\": " + spread_json(d.vertical_m) + "}";
}

// The smallest of 1, 2 and 5 times a power of ten that is at least `metres`.
double round_scale(double metres) {
    double power = std::pow(10.0, std::floor(std::log10(metres)));
    for (;;) {
        for (double m : {1.0, 2.0, 5.0})
            if (m * power >= metres * (1 - 1e-12)) return m * power;
        power *= 10;
    }
}

// Decimals enough to write every multiple of `step` exactly.
int decimals_for(double step) {
    for (int d = 0; d < 6; ++d) {
        const double scaled = step * std::pow(10.0, d);
        if (std::fabs(scaled - std::round(scaled)) < 1e-6 * scaled) return d;
    }
    return 6;
}

// The plot reaches half as far again as the CEP95 circle, at least a millimetre.
constexpr double kPlotReachOverCep95 = 1.5;
constexpr double kSmallestPlot_m = 0.001;

}  // namespace

std::string summary_json(std::span<const SummaryEntry> entries) {
    std::string j = "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SummaryEntry& e = entries[i];
        const SessionSummary& s = e.summary;
        j += i == 0 ? "\n" : ",\n";
        j += "  {\n";
        j += "    \"input\": " + json_string(e.input) + ",\n";
        j += "    \"output\": " + json_string(e.output) + ",\n";
        j += std::string("    \"format\": \"") + input_format_row(e.format).json_name + "\",\n";
        j += "    \"epochs\": " + std::to_string(s.epochs) + ",\n";
        j += "    \"epochs_with_position\": " + std::to_string(s.epochs_with_position) + ",\n";
        j += "    \"placemarks\": " + std::to_string(s.placemarks) + ",\n";
        j += "    \"classes\": {";
        for (int slot = 0; slot < kClassSlots; ++slot) {
            j += slot == 0 ? "" : ", ";
            j += '"';
            j += class_slot_name(slot);
            j += "\": " + std::to_string(s.classes[std::size_t(slot)]);
        }
        j += "},\n";
        j += "    \"first_epoch\": " + json_or_null(s.first_epoch) + ",\n";
        j += "    \"last_epoch\": " + json_or_null(s.last_epoch) + ",\n";
        j += "    \"duration_s\": " + shortest(s.duration_s) + ",\n";
        j += "    \"valid_track_m\": " + shortest(s.valid_track_m) + ",\n";
        j += "    \"gaps\": {\"threshold_s\": " + shortest(s.gap_threshold_s) +
             ", \"count\": " + std::to_string(s.gap_count) + ", \"longest_s\": " + shortest(s.longest_gap_s) + "},\n";
        j += "    \"hdop\": {\"median\": " + json_or_null(s.hdop_median) + ", \"max\": " + json_or_null(s.hdop_max) +
             "},\n";
        j += "    \"diff_age_max_s\": " + json_or_null(s.diff_age_max_s) + ",\n";
        j += "    \"first_rtk_fix_after_s\": " + json_or_null(s.first_rtk_fix_after_s);
        if (s.skipped_lines) j += ",\n    \"skipped_lines\": " + std::to_string(*s.skipped_lines);
        if (s.standing_measured) j += ",\n    \"static\": " + standing_json(s.standing);
        if (s.versus_first) j += ",\n    \"versus_first\": " + deviation_json(*s.versus_first);
        j += "\n";
        j += "  }";
    }
    return j + (entries.empty() ? "]\n" : "\n]\n");
}

std::string summary_lines(const SessionSummary& s, const std::string& indent) {
    std::string out;
    for (const auto& [label, text] : summary_rows(s)) {
        out += indent + label + std::string(label.size() < 10 ? 10 - label.size() : 1, ' ') + text + "\n";
    }
    return out;
}

std::string format_line(InputFormat format, bool recognised, const std::string& indent) {
    return indent + "format    " + input_format_row(format).name + (recognised ? " (recognised)" : "") + "\n";
}

std::string summary_html(const SessionSummary& s) {
    std::string out = "<table>\n";
    for (const auto& [label, text] : summary_rows(s))
        out += "\t<tr><th>" + html_safe(label) + "</th><td>" + html_safe(text) + "</td></tr>\n";
    return out + "</table>\n";
}

ScatterPicture scatter_picture(const std::optional<StandingFigures>& f, const StandingScatter& scatter,
                               const ConversionOptions& options) {
    ScatterPicture p;
    for (int k = 0; k < kFixClassCount; ++k) p.colours.push_back(rgb_of(options.class_color(static_cast<FixClass>(k))));
    p.colours.push_back(kNoPlacemarkColour);
    if (!f) {
        p.title = "Horizontal offsets: no epoch with a position";
        return p;
    }
    p.title = "Horizontal offsets from the mean of " + standing_epochs_text(*f);
    const double reach = kPlotReachOverCep95 * f->cep95_m;
    p.half_width_m = round_scale(std::isfinite(reach) ? std::max(kSmallestPlot_m, reach) : 1);
    p.tick_step_m = p.half_width_m / 2;
    p.tick_decimals = decimals_for(p.tick_step_m);
    std::uint64_t outside = 0;
    for (std::size_t i = 0; i < scatter.east_m.size(); ++i) {
        if (std::max(std::fabs(scatter.east_m[i]), std::fabs(scatter.north_m[i])) > p.half_width_m) {
            ++outside;
            continue;
        }
        p.points.push_back({static_cast<float>(scatter.east_m[i]), static_cast<float>(scatter.north_m[i]),
                            scatter.slot[i]});
    }
    p.circles.push_back({f->cep50_m, false, "CEP50 " + fixed(f->cep50_m, 3) + " m"});
    p.circles.push_back({f->cep95_m, true, "CEP95 " + fixed(f->cep95_m, 3) + " m"});
    p.note = "mean " + fixed(f->latitude, 9) + ", " + fixed(f->longitude, 9) + ", " + fixed(f->height, 4) + " m";
    if (outside > 0) p.note += "; " + std::to_string(outside) + " epochs outside the plot";
    return p;
}

TimelinePicture timeline_picture(const SessionSummary& s, const ConversionOptions& options) {
    const StripScale scale{static_cast<std::uint64_t>(std::llround(s.duration_s * 1000)) + 1};
    TimelinePicture p;
    p.columns = column_colours(s, options, scale);
    if (s.first_epoch) {
        // "yyyy-mm-ddThh:mm:ss.sssZ" when the log dated its first epoch.
        const std::string_view first = *s.first_epoch;
        p.ticks = time_ticks(scale, s.first_ms_of_day, first.size() > 10 && first[10] == 'T' ? first.substr(0, 10) : "");
    }
    p.legend = legend_items(s, options);
    return p;
}

}  // namespace zelvo
