#include "output/scatter_image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "output/text_pen.h"

namespace zelvo {

namespace {

constexpr Rgb kGrid{215, 215, 215};
constexpr Rgb kAxis{160, 160, 160};
constexpr Rgb kCircle{20, 70, 200};
constexpr int kLabelPixels = 11;
constexpr int kTitlePixels = 12;
constexpr double kDashPixels = 9, kDashOn = 5;

// Pixel coordinates of the plot, the mean at its centre.
struct PlotScale {
    double half_width_m;
    double to_x(double east_m) const {
        return kScatterPlotLeft + (east_m + half_width_m) / (2 * half_width_m) * kScatterPlotSide;
    }
    double to_y(double north_m) const {
        return kScatterPlotTop + (half_width_m - north_m) / (2 * half_width_m) * kScatterPlotSide;
    }
    double pixels(double metres) const { return metres / (2 * half_width_m) * kScatterPlotSide; }
};

std::string tick_text(double metres, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, metres);
    return std::string(text) == "-0" ? "0" : text;
}

// A ring of one pixel's width, anti-aliased, optionally dashed along its length.
void draw_ring(PngImage& image, double cx, double cy, double radius, bool dashed) {
    const auto lo_x = static_cast<std::uint32_t>(std::max(0.0, std::floor(cx - radius - 2)));
    const auto lo_y = static_cast<std::uint32_t>(std::max(0.0, std::floor(cy - radius - 2)));
    const auto hi_x = static_cast<std::uint32_t>(std::min<double>(kScatterPlotLeft + kScatterPlotSide, cx + radius + 2));
    const auto hi_y = static_cast<std::uint32_t>(std::min<double>(kScatterPlotTop + kScatterPlotSide, cy + radius + 2));
    for (std::uint32_t y = std::max(lo_y, kScatterPlotTop); y < hi_y; ++y) {
        for (std::uint32_t x = std::max(lo_x, kScatterPlotLeft); x < hi_x; ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const double cover = 1 - std::fabs(std::hypot(dx, dy) - radius);
            if (cover <= 0) continue;
            if (dashed && std::fmod((std::atan2(dy, dx) + std::numbers::pi) * radius, kDashPixels) >= kDashOn) continue;
            blend_pixel(image, x, y, kCircle, static_cast<std::uint8_t>(std::lround(255 * cover)));
        }
    }
}

// A short line in the ring's style, for the legend.
void draw_legend_line(PngImage& image, std::uint32_t left, std::uint32_t y, bool dashed) {
    for (std::uint32_t x = 0; x < 24; ++x)
        if (!dashed || std::fmod(x, kDashPixels) < kDashOn) fill_rect(image, left + x, y, 1, 2, kCircle);
}

}  // namespace

PngImage draw_scatter(const ScatterPicture& picture, const std::string& font_path) {
    const TextPen pen(font_path, kLabelPixels);
    const TextPen title_pen(font_path, kTitlePixels);
    PngImage image(kScatterWidth, kScatterHeight);
    fill_rect(image, 0, 0, kScatterWidth, kScatterHeight, kPictureBackground, kPictureBackgroundAlpha);
    title_pen.draw(image, picture.title, 10, 16, kPictureInk);

    const PlotScale scale{picture.half_width_m > 0 && std::isfinite(picture.half_width_m) ? picture.half_width_m : 1};
    const std::uint32_t right = kScatterPlotLeft + kScatterPlotSide, bottom = kScatterPlotTop + kScatterPlotSide;
    fill_rect(image, kScatterPlotLeft - 1, kScatterPlotTop - 1, kScatterPlotSide + 2, kScatterPlotSide + 2, kPictureFrame);
    fill_rect(image, kScatterPlotLeft, kScatterPlotTop, kScatterPlotSide, kScatterPlotSide, kPictureBackground);

    // Grid lines and labels at whole steps from the mean, the axes through it.
    const double step = picture.tick_step_m > 0 ? picture.tick_step_m : scale.half_width_m;
    const int steps = static_cast<int>(std::floor(scale.half_width_m / step + 1e-9));
    for (int k = -steps; k <= steps; ++k) {
        const double metres = k * step;
        const auto x = std::min(right - 1, static_cast<std::uint32_t>(std::lround(scale.to_x(metres))));
        const auto y = std::min(bottom - 1, static_cast<std::uint32_t>(std::lround(scale.to_y(metres))));
        const Rgb line = k == 0 ? kAxis : kGrid;
        fill_rect(image, x, kScatterPlotTop, 1, kScatterPlotSide, line);
        fill_rect(image, kScatterPlotLeft, y, kScatterPlotSide, 1, line);
        const std::string text = tick_text(metres, picture.tick_decimals);
        const int w = pen.width(text);
        pen.draw(image, text, std::clamp(static_cast<int>(x) - w / 2, 1, static_cast<int>(kScatterWidth) - w - 1),
                 static_cast<int>(bottom) + 4 + kLabelPixels, kPictureInk);
        pen.draw(image, text, std::max(1, static_cast<int>(kScatterPlotLeft) - 5 - w), static_cast<int>(y) + 4, kPictureInk);
    }
    pen.draw(image, "north (m)", 4, static_cast<int>(kScatterPlotTop) - 6, kPictureInk);
    const std::string east = "east (m)";
    pen.draw(image, east, static_cast<int>(right) - pen.width(east), static_cast<int>(bottom) + 8 + 2 * kLabelPixels,
             kPictureInk);

    // The points as small squares, then the circles over them.
    for (const ScatterPoint& p : picture.points) {
        const double x = scale.to_x(p.east_m), y = scale.to_y(p.north_m);
        if (!(x >= kScatterPlotLeft && y >= kScatterPlotTop && x < right && y < bottom)) continue;
        const Rgb colour = p.colour < picture.colours.size() ? picture.colours[p.colour] : kPictureInk;
        const auto px = static_cast<std::uint32_t>(x), py = static_cast<std::uint32_t>(y);
        // A darker rim keeps light class colours (yellow, aqua) visible on white.
        const Rgb rim{static_cast<std::uint8_t>(colour.red * 3 / 5), static_cast<std::uint8_t>(colour.green * 3 / 5),
                      static_cast<std::uint8_t>(colour.blue * 3 / 5)};
        for (const auto& [reach, ink] : {std::pair{2u, rim}, std::pair{1u, colour}}) {
            const std::uint32_t left = std::max(kScatterPlotLeft, px - reach), top = std::max(kScatterPlotTop, py - reach);
            fill_rect(image, left, top, std::min(right, px + reach + 1) - left, std::min(bottom, py + reach + 1) - top,
                      ink);
        }
    }
    const double cx = scale.to_x(0), cy = scale.to_y(0);
    for (const ScatterCircle& c : picture.circles)
        if (std::isfinite(c.radius_m)) draw_ring(image, cx, cy, scale.pixels(c.radius_m), c.dashed);

    // The legend: each circle's line and label side by side, then the note.
    const int legend_baseline = static_cast<int>(bottom) + 12 + 3 * kLabelPixels;
    std::uint32_t x = 10;
    for (const ScatterCircle& c : picture.circles) {
        draw_legend_line(image, x, static_cast<std::uint32_t>(legend_baseline - 4), c.dashed);
        pen.draw(image, c.label, static_cast<int>(x) + 30, legend_baseline, kPictureInk);
        x += 30 + static_cast<std::uint32_t>(pen.width(c.label)) + 24;
    }
    if (!picture.note.empty()) pen.draw(image, picture.note, 10, legend_baseline + kLabelPixels + 7, kPictureInk);
    return image;
}

}  // namespace zelvo
