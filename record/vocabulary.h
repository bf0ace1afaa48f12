// The words every layer shares: colours, fix classes, icon names and the
// two input formats. Depends on nothing.
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

inline constexpr std::array<FixClass, kFixClassCount> kIconOrder = {
    FixClass::Auto, FixClass::Diff, FixClass::RtkFix, FixClass::RtkFloat, FixClass::Estimated,
    FixClass::Invalid};

// File names of the six icons, indexed by FixClass.
using IconNames = std::array<std::string, kFixClassCount>;

enum InputFormat : std::int32_t { kFormatNmea = 0, kFormatBinary = 1 };

}  // namespace zelvo
