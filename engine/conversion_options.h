// The user's choices for one conversion run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/vocabulary.h"

namespace zelvo {

// The files a run may write beside its archive, each from the same epochs.
enum class CompanionKind { Gpx, GeoJson, Csv };

// A companion file the user asked for; path "-" is standard output.
struct CompanionFile {
    CompanionKind kind;
    std::string path;
};

struct ConversionOptions {
    std::string input_path;   // full path of the log
    std::string input_name;   // shown file name of the log
    std::string output_path;  // the archive's path; the run writes output_name into its directory
    std::string output_name;  // shown file name of the archive
    std::string config_path;
    InputFormat input_format = InputFormat::Nmea;
    // Take the format from the log's first bytes instead (input_format when
    // none is recognised).
    bool detect_format = false;
    // The defaults are the window's initial values (before any settings
    // are loaded); the settings file and the window take them from here.
    ColorRef color_auto = kRed;
    ColorRef color_diff = kYellow;
    ColorRef color_rtk_fix = kGreen;
    ColorRef color_rtk_float = kFuchsia;
    ColorRef color_estimated = kAqua;
    ColorRef color_invalid = kBlack;
    std::string icon_scale = "0.5";
    bool show_height = false;
    ColorRef track_color = kGreen;
    std::string track_width = "5";
    bool use_all_waypoints = false;
    ColorRef full_track_color = kRed;
    bool start_first_fix = false;  // stored, not read by the run
    bool use_fixed_date = true;
    std::string fixed_date = "2000-01-01";
    // For long logs and GIS tools; off by default, leaving the document as
    // it always was.
    std::int64_t placemark_interval_ms = 0;  // 0: a placemark for every epoch
    std::int64_t split_gap_ms = 0;           // 0: each track one line
    bool epoch_data = false;                 // typed fields in every placemark
    // Adds the fix-status strip and the session summary to the document.
    bool timeline = false;
    // Companion files written from the same epochs, each under its own rules.
    std::vector<CompanionFile> companions;

    ColorRef class_color(FixClass c) const {
        switch (c) {
            case FixClass::Auto: return color_auto;
            case FixClass::Diff: return color_diff;
            case FixClass::RtkFix: return color_rtk_fix;
            case FixClass::RtkFloat: return color_rtk_float;
            case FixClass::Estimated: return color_estimated;
            case FixClass::Invalid: return color_invalid;
        }
        return 0;
    }
};

}  // namespace zelvo
