// The scatter picture of a standing receiver: its horizontal offsets from
// the mean on a square plot in metres, with the circles that hold half and
// 95 % of them, drawn into a PNG image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/png_codec.h"

namespace zelvo {

struct ScatterPoint {
    float east_m = 0, north_m = 0;
    std::uint8_t colour = 0;  // index into ScatterPicture::colours
};

struct ScatterCircle {
    double radius_m = 0;
    bool dashed = false;
    std::string label;  // "CEP50 0.012 m"
};

// Everything the picture shows, in metres about the mean.
struct ScatterPicture {
    std::string title;
    double half_width_m = 1;  // the plot spans this far each way from the mean
    double tick_step_m = 0.5;
    int tick_decimals = 1;
    std::vector<Rgb> colours;
    std::vector<ScatterPoint> points;  // those outside the plot are left out
    std::vector<ScatterCircle> circles;
    std::string note;  // a line under the legend; empty for none
};

inline constexpr std::uint32_t kScatterWidth = 420;
inline constexpr std::uint32_t kScatterHeight = 466;
inline constexpr std::uint32_t kScatterPlotLeft = 52;
inline constexpr std::uint32_t kScatterPlotTop = 34;
inline constexpr std::uint32_t kScatterPlotSide = 356;

// Draws the picture (kScatterWidth x kScatterHeight) on a light, slightly
// see-through background. Throws std::runtime_error naming the font file
// and FreeType's reason when the typeface cannot be used.
PngImage draw_scatter(const ScatterPicture& picture, const std::string& font_path);

}  // namespace zelvo
