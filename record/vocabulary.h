// The words every layer shares: colours, fix classes, icon names, the input
// formats and where a date came from. Depends on nothing.
#pragma once

#include <array>
#include <cstddef>
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

inline constexpr std::array<FixClass, kFixClassCount> kIconOrder = {
    FixClass::Auto, FixClass::Diff, FixClass::RtkFix, FixClass::RtkFloat, FixClass::Estimated,
    FixClass::Invalid};

// File names of the six icons, indexed by FixClass.
using IconNames = std::array<std::string, kFixClassCount>;

// The logs the program reads. Each has one row in the table of
// engine/input_formats.h; a format added here without its row fails to build.
enum class InputFormat : std::uint8_t { Nmea, Tolv, Solution };
inline constexpr std::size_t kInputFormatCount = static_cast<std::size_t>(InputFormat::Solution) + 1;

// Where the date of an epoch came from: the log itself, the user's fixed
// date, or the computer's clock because the log had none.
enum class DateSource : std::uint8_t { Log, Fixed, Today };

// The mark the description shows after a date that is not the log's own.
constexpr const char* date_marker(DateSource source) {
    switch (source) {
        case DateSource::Log: return "";
        case DateSource::Fixed: return "^";
        case DateSource::Today: return "*";
    }
    return "";
}

}  // namespace zelvo
