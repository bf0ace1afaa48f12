// The user's choices for one conversion run.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zelvo {

// A colour as 0x00BBGGRR, red in the low byte.
using ColorRef = std::uint32_t;

inline constexpr ColorRef kRed = 0x0000FF;
inline constexpr ColorRef kYellow = 0x00FFFF;
inline constexpr ColorRef kGreen = 0x008000;
inline constexpr ColorRef kFuchsia = 0xFF00FF;
inline constexpr ColorRef kAqua = 0xFFFF00;
inline constexpr ColorRef kBlack = 0x000000;

// The waypoint classes, in the order the run makes and packs their icons.
enum class FixClass { Auto, Diff, RtkFix, RtkFloat, Estimated, Invalid };
inline constexpr int kFixClassCount = 6;

enum InputFormat : std::int32_t { kFormatNmea = 0, kFormatBinary = 1 };

struct ConversionOptions {
    std::string input_path;   // full path of the log
    std::string input_name;   // shown file name of the log
    std::string output_path;  // full path of the archive; rewritten by the run
    std::string output_name;  // shown file name of the archive
    std::string config_path;
    std::int32_t input_format = kFormatNmea;
    // The window's initial waypoint colours.
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

// File names of the six icons, indexed by FixClass.
using IconNames = std::array<std::string, kFixClassCount>;

}  // namespace zelvo
