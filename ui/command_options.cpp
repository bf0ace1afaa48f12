#include "ui/command_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <getopt.h>
#include <optional>
#include <strings.h>
#include <string_view>

#include "engine/epoch_outputs.h"
#include "engine/input_formats.h"
#include "ui/color_text.h"

namespace zelvo {

namespace {

constexpr const char* kColorForm = "#RRGGBB or an SVG colour name";

// Pushes a setting that the options apply over the settings file.
void set(CommandRequest& r, std::function<void(ConversionOptions&)> setting) {
    r.settings.push_back(std::move(setting));
}

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

double number_of(std::string_view s) {
    double x = 0;
    std::from_chars(s.data(), s.data() + s.size(), x, std::chars_format::fixed);
    return x;
}

// One colour option per waypoint class.
template <ColorRef ConversionOptions::*Field>
std::string take_class_color(CommandRequest& r, const char* value) {
    std::optional<ColorRef> c = parse_color_text(value);
    if (!c) return kColorForm;
    set(r, [c](ConversionOptions& o) { o.*Field = *c; });
    return {};
}

// A positive number of seconds ("10", "0.5") in whole milliseconds.
template <std::int64_t ConversionOptions::*Field>
std::string take_seconds(CommandRequest& r, const char* value) {
    std::string_view v = value;
    double seconds = 0;
    auto [stop, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds, std::chars_format::fixed);
    const std::int64_t ms = ec == std::errc() && stop == v.data() + v.size() && seconds <= 1e9
                                ? static_cast<std::int64_t>(std::llround(seconds * 1000.0))
                                : 0;
    if (ms <= 0) return "a positive number of seconds";
    set(r, [ms](ConversionOptions& o) { o.*Field = ms; });
    return {};
}

// A companion file of the archive; a repeated option names it anew.
template <CompanionKind Kind>
std::string take_companion(CommandRequest& r, const char* value) {
    if (!*value) return "a file name or '-'";
    std::erase_if(r.companions, [](const CompanionFile& f) { return f.kind == Kind; });
    r.companions.push_back({Kind, value});
    return {};
}

const OptionRow kOptions[] = {
    {"output", 'o', required_argument, "FILE",
     "write the archive to FILE ('-': standard output)",
     [](CommandRequest& r, const char* v) { r.output = v; return std::string(); }},
    {"config", 'c', required_argument, "FILE", "take the settings from FILE",
     [](CommandRequest& r, const char* v) { r.config = v; return std::string(); }},
    {"format", 'f', required_argument, "FORMAT", "auto (the default: by the log's content), or one of the formats below",
     [](CommandRequest& r, const char* v) {
         if (std::string_view(v).size() == 4 && strncasecmp(v, "auto", 4) == 0) {
             r.format.reset();
             return std::string();
         }
         r.format = input_format_of_token(v);
         if (r.format) return std::string();
         std::string tokens = "auto";
         for (const InputFormatRow& row : input_format_rows()) tokens += std::string(", ") + row.token;
         return tokens;
     }},
    {"quiet", 'q', no_argument, nullptr, "print no progress and no lines per converted log",
     [](CommandRequest& r, const char*) { r.quiet = true; return std::string(); }},

    {"summary", 0, required_argument, "FILE", "also write the session summaries as JSON to FILE ('-': stdout)",
     [](CommandRequest& r, const char* v) { r.summary_path = v; return std::string(); }},
    {"gpx", 0, required_argument, "FILE", "also write the tracks as GPX 1.1 to FILE ('-': stdout)",
     take_companion<CompanionKind::Gpx>},
    {"geojson", 0, required_argument, "FILE",
     "also write the waypoints and tracks as GeoJSON to FILE ('-': stdout)",
     take_companion<CompanionKind::GeoJson>},
    {"csv", 0, required_argument, "FILE", "also write the waypoints' values as CSV to FILE ('-': stdout)",
     take_companion<CompanionKind::Csv>},
    {"timeline", 0, no_argument, nullptr, "add a fix-status strip and the session summary to the document",
     [](CommandRequest& r, const char*) {
         set(r, [](ConversionOptions& o) { o.timeline = true; });
         return std::string();
     }},

    {"static", 0, no_argument, nullptr,
     "add a standing receiver's precision to the summary (with --timeline, its scatter picture)",
     [](CommandRequest& r, const char*) {
         set(r, [](ConversionOptions& o) { o.standing = true; });
         return std::string();
     }},

    {"merge", 0, no_argument, nullptr, "put every INPUT into the one archive --output names, a folder per log",
     [](CommandRequest& r, const char*) { r.merge = true; return std::string(); }},

    {"fixed-date", 0, required_argument, "DATE", "date every epoch with DATE (YYYY-MM-DD)",
     [](CommandRequest& r, const char* v) {
         if (!is_calendar_date(v)) return std::string("a date YYYY-MM-DD");
         set(r, [d = std::string(v)](ConversionOptions& o) { o.use_fixed_date = true; o.fixed_date = d; });
         return std::string();
     }},
    {"log-dates", 0, no_argument, nullptr, "keep the dates the receiver logged",
     [](CommandRequest& r, const char*) {
         set(r, [](ConversionOptions& o) { o.use_fixed_date = false; });
         return std::string();
     }},
    {"width", 0, required_argument, "N", "width of the tracks, 1 to 10",
     [](CommandRequest& r, const char* v) {
         if (!all_digits(v) || number_of(v) < 1 || number_of(v) > 10)
             return std::string("a whole number from 1 to 10");
         set(r, [w = std::string(v)](ConversionOptions& o) { o.track_width = w; });
         return std::string();
     }},
    {"scale", 0, required_argument, "X", "scale of the waypoint icons, 0.1 to 1.0",
     [](CommandRequest& r, const char* v) {
         std::string s = v;
         if (!is_decimal_number(s) || s[0] == '-' || s[0] == '+' || number_of(s) < 0.1 || number_of(s) > 1.0)
             return std::string("a number from 0.1 to 1.0");
         set(r, [s](ConversionOptions& o) { o.icon_scale = s; });
         return std::string();
     }},
    {"track-color", 0, required_argument, "C", "colour of the track of valid fixes",
     [](CommandRequest& r, const char* v) {
         std::optional<ColorRef> c = parse_color_text(v);
         if (!c) return std::string(kColorForm);
         set(r, [c](ConversionOptions& o) { o.track_color = *c; });
         return std::string();
     }},
    {"all-epochs", 0, optional_argument, "C", "also draw a track through every epoch (in colour C)",
     [](CommandRequest& r, const char* v) {
         std::optional<ColorRef> c;
         if (v && !(c = parse_color_text(v))) return std::string(kColorForm);
         set(r, [c](ConversionOptions& o) {
             o.use_all_waypoints = true;
             if (c) o.full_track_color = *c;
         });
         return std::string();
     }},
    {"extrude", 0, no_argument, nullptr, "draw a line from each waypoint down to the ground",
     [](CommandRequest& r, const char*) {
         set(r, [](ConversionOptions& o) { o.show_height = true; });
         return std::string();
     }},
    {"color-auto", 0, required_argument, "C", "colour of autonomous fixes",
     take_class_color<&ConversionOptions::color_auto>},
    {"color-diff", 0, required_argument, "C", "colour of differential fixes",
     take_class_color<&ConversionOptions::color_diff>},
    {"color-rtk-fix", 0, required_argument, "C", "colour of RTK fixed fixes",
     take_class_color<&ConversionOptions::color_rtk_fix>},
    {"color-rtk-float", 0, required_argument, "C", "colour of RTK float fixes",
     take_class_color<&ConversionOptions::color_rtk_float>},
    {"color-estimated", 0, required_argument, "C", "colour of estimated fixes",
     take_class_color<&ConversionOptions::color_estimated>},
    {"color-invalid", 0, required_argument, "C", "colour of invalid fixes",
     take_class_color<&ConversionOptions::color_invalid>},

    {"placemark-interval", 0, required_argument, "SECONDS",
     "at most one waypoint per SECONDS of log time within a fix class",
     take_seconds<&ConversionOptions::placemark_interval_ms>},
    {"split-gap", 0, required_argument, "SECONDS", "break the tracks where the log skips more than SECONDS",
     take_seconds<&ConversionOptions::split_gap_ms>},
    {"data", 0, no_argument, nullptr, "give the waypoints their epoch values as typed fields",
     [](CommandRequest& r, const char*) {
         set(r, [](ConversionOptions& o) { o.epoch_data = true; });
         return std::string();
     }},

    {"help", 'h', no_argument, nullptr, "show this text and exit",
     [](CommandRequest& r, const char*) { r.help = true; return std::string(); }},
    {"version", 'V', no_argument, nullptr, "show the version and exit",
     [](CommandRequest& r, const char*) { r.version = true; return std::string(); }},
};

constexpr int kLongOnly = 256;  // getopt_long's value of a long-only row: kLongOnly + its index

const OptionRow* row_of(int value) {
    for (std::size_t i = 0; i < std::size(kOptions); ++i) {
        const OptionRow& row = kOptions[i];
        if (row.short_name ? value == row.short_name : value == kLongOnly + static_cast<int>(i)) return &row;
    }
    return nullptr;
}

std::string option_name(const OptionRow& row) { return std::string("--") + row.name; }

}  // namespace

CommandForm command_form(int argc, char** argv) {
    int names = 0;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.size() > 1 && arg[0] == '-') return CommandForm::Options;  // "-" alone is a name
        ++names;
    }
    if (names == 0) return CommandForm::Window;
    if (names == 1) return std::string_view(argv[1]) == "-" ? CommandForm::Options : CommandForm::Window;
    if (names <= 3) return CommandForm::Classic;
    return CommandForm::Options;
}

CommandRequest parse_options(int argc, char** argv) {
    CommandRequest r;
    std::string shorts = ":";  // missing values are reported here, not by getopt
    std::vector<option> longs;
    for (std::size_t i = 0; i < std::size(kOptions); ++i) {
        const OptionRow& row = kOptions[i];
        longs.push_back({row.name, row.argument, nullptr,
                         row.short_name ? row.short_name : kLongOnly + static_cast<int>(i)});
        if (row.short_name) {
            shorts += row.short_name;
            if (row.argument == required_argument) shorts += ':';
            if (row.argument == optional_argument) shorts += "::";
        }
    }
    longs.push_back({nullptr, 0, nullptr, 0});

    // getopt_long reorders the arguments it reads; it works on a copy.
    std::vector<char*> args(argv, argv + argc);
    args.push_back(nullptr);
    std::string program = kProgramName;
    args[0] = program.data();
    optind = 0;  // start afresh, also when called more than once
    opterr = 0;
    for (;;) {
        int value = getopt_long(argc, args.data(), shorts.c_str(), longs.data(), nullptr);
        if (value == -1) break;
        if (value == '?' || value == ':') {
            const OptionRow* row = row_of(optopt);
            if (value == ':' && row)
                r.error = "option '" + option_name(*row) + "' needs a value (" + row->value_name + ")";
            else if (row)  // a long option given a value it does not take
                r.error = "option '" + option_name(*row) + "' takes no value";
            else if (optopt > 0 && optopt < kLongOnly)
                r.error = std::string("unknown option '-") + static_cast<char>(optopt) + "'";
            else
                r.error = "unknown or ambiguous option '" + std::string(args[optind - 1]) + "'";
            return r;
        }
        const OptionRow* row = row_of(value);
        std::string expected = row->take(r, optarg);
        if (!expected.empty()) {
            r.error = "invalid value '" + std::string(optarg) + "' for option '" + option_name(*row) +
                      "' (expected " + expected + ")";
            return r;
        }
    }
    if (r.help || r.version) return r;
    r.inputs.assign(args.begin() + optind, args.begin() + argc);
    if (r.inputs.empty()) r.error = "no input file given";
    else if (r.merge && r.inputs.size() < 2) r.error = "option '--merge' needs two or more INPUTs";
    else if (r.merge && (r.output.empty() || r.output == "-"))
        r.error = "option '--merge' needs the archive's file named with --output";
    else if (!r.merge && !r.output.empty() && r.inputs.size() > 1)
        r.error = "option '--output' takes one INPUT only";
    else if (!r.merge && !r.companions.empty() && r.inputs.size() > 1)
        r.error = "option '--" + std::string(companion_format(r.companions.front().kind).option) +
                  "' takes one INPUT only";
    else if (auto f = std::find_if(r.companions.begin(), r.companions.end(),
                                   [&](const CompanionFile& c) { return r.merge && c.path == "-"; });
             f != r.companions.end())
        r.error = "option '--" + std::string(companion_format(f->kind).option) +
                  "' needs a FILE with '--merge': each log has its own";
    else if (std::count(r.inputs.begin(), r.inputs.end(), "-") > 1)
        r.error = "standard input ('-') can be read only once";
    return r;
}

std::string help_text() {
    std::string text =
        "Usage: zelvoconverter [INPUT]\n"
        "       zelvoconverter INPUT OUTPUT.kmz [CONFIG.ini]\n"
        "       zelvoconverter [OPTION]... INPUT...\n"
        "Converts GNSS receiver logs into KMZ files for a globe viewer.\n"
        "\n"
        "The first form opens the window, with INPUT as its log when one is named.\n"
        "The second form (two or three names, no option) reads INPUT as NMEA and\n"
        "writes OUTPUT.kmz, the names taken from the current directory (beside a\n"
        "portable copy that has its zelvoconverter.ini there), with the settings of\n"
        "CONFIG.ini in the current directory. The third form takes names as given;\n"
        "each INPUT becomes INPUT.kmz. INPUT '-' is standard input; '--' before a\n"
        "single INPUT converts it without opening the window.\n"
        "\n"
        "Options:\n";
    for (const OptionRow& row : kOptions) {
        if (row.short_name == 'f') {
            // The formats under their option, from the table of formats.
            text += "  -f, --format=FORMAT       auto (the default: by the log's content) or one of\n";
            for (const InputFormatRow& f : input_format_rows()) {
                std::string left = std::string("                              ") + f.token;
                left.resize(std::max<std::size_t>(left.size() + 2, 36), ' ');
                text += left + f.description + "\n";
            }
            continue;
        }
        std::string left = row.short_name ? std::string("  -") + row.short_name + ", " : std::string("      ");
        left += option_name(row);
        if (row.argument == required_argument) left += std::string("=") + row.value_name;
        if (row.argument == optional_argument) left += std::string("[=") + row.value_name + "]";
        // The help column starts at 28 and wraps before column 80; an option
        // too long for its column has its help on the next line.
        constexpr std::size_t kColumn = 28, kWidth = 79;
        if (left.size() + 2 > kColumn) {
            text += left + "\n";
            left.clear();
        }
        left.resize(kColumn, ' ');
        std::string line = left;
        std::string_view words = row.help;
        while (!words.empty()) {
            std::size_t space = words.find(' ');
            std::string_view word = words.substr(0, space);
            if (line.size() > kColumn && line.size() + 1 + word.size() > kWidth) {
                text += line + "\n";
                line.assign(kColumn, ' ');
            }
            if (line.size() > kColumn) line += ' ';
            line += word;
            words = space == std::string_view::npos ? std::string_view() : words.substr(space + 1);
        }
        text += line + "\n";
    }
    text +=
        "\n"
        "The setting options override the settings file, which overrides the built-in\n"
        "settings. C is #RRGGBB or an SVG colour name such as red or darkorange.\n"
        "A log compressed with gzip is read as the log it holds, in every form.\n"
        "\n"
        "Exit status: 0 all converted, 1 a conversion failed, 2 a usage error,\n"
        "3 converted but no epoch found (the log may be in another format).\n"
        "With several inputs the worst wins, 1 over 3.\n";
    return text;
}

bool is_decimal_number(const std::string& text) {
    std::string_view s = text;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
    std::size_t dot = s.find('.');
    if (dot == std::string_view::npos) return all_digits(s);
    std::string_view whole = s.substr(0, dot), fraction = s.substr(dot + 1);
    return (all_digits(whole) || whole.empty()) && (all_digits(fraction) || fraction.empty()) &&
           !(whole.empty() && fraction.empty());
}

bool is_calendar_date(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    std::string_view s = text;
    if (!all_digits(s.substr(0, 4)) || !all_digits(s.substr(5, 2)) || !all_digits(s.substr(8, 2))) return false;
    int year = std::stoi(text.substr(0, 4)), month = std::stoi(text.substr(5, 2)), day = std::stoi(text.substr(8, 2));
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace zelvo
