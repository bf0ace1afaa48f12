// The fix-status strip: a picture of a session's fix classes over time,
// with labelled time ticks and a legend, drawn into a PNG image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/png_codec.h"

namespace zelvo {

struct TimelineTick {
    std::uint32_t column = 0;  // strip column the tick stands on
    std::string label;         // "14:30"
};

struct TimelineLegendItem {
    Rgb colour;
    std::string label;  // "RTK fix 91.2 %"
};

// Everything the picture shows, already laid out in strip columns.
struct TimelinePicture {
    std::vector<std::optional<Rgb>> columns;  // one per strip column; none is left blank
    std::vector<TimelineTick> ticks;
    std::vector<TimelineLegendItem> legend;
};

inline constexpr std::uint32_t kTimelineWidth = 1000;
inline constexpr std::uint32_t kTimelineHeight = 90;
inline constexpr std::uint32_t kTimelineStripLeft = 10;
inline constexpr std::uint32_t kTimelineStripTop = 8;
inline constexpr std::uint32_t kTimelineStripHeight = 28;
inline constexpr std::uint32_t kTimelineColumns = kTimelineWidth - 2 * kTimelineStripLeft;

// The Liberation Sans file the labels are drawn with, from the usual places.
std::string timeline_font_path();

// Draws the picture (kTimelineWidth x kTimelineHeight) on a light, slightly
// see-through background. Throws std::runtime_error naming the font file and
// FreeType's reason when the typeface cannot be used.
PngImage draw_timeline(const TimelinePicture& picture, const std::string& font_path);

}  // namespace zelvo
