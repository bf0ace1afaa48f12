#include "output/timeline_image.h"

#include <algorithm>

#include "output/text_pen.h"

namespace zelvo {

namespace {

constexpr int kTickLength = 4;
constexpr int kLabelPixels = 11;
constexpr std::uint32_t kLegendTop = 62;
constexpr std::uint32_t kLegendSwatch = 11;

}  // namespace

std::string timeline_font_path() { return label_font_path(); }

PngImage draw_timeline(const TimelinePicture& picture, const std::string& font_path) {
    const TextPen pen(font_path, kLabelPixels);
    PngImage image(kTimelineWidth, kTimelineHeight);
    fill_rect(image, 0, 0, kTimelineWidth, kTimelineHeight, kPictureBackground, kPictureBackgroundAlpha);

    // The strip in a thin frame; blank columns show the background.
    const std::uint32_t columns = std::min<std::uint32_t>(kTimelineColumns, static_cast<std::uint32_t>(picture.columns.size()));
    fill_rect(image, kTimelineStripLeft - 1, kTimelineStripTop - 1, kTimelineColumns + 2, kTimelineStripHeight + 2, kPictureFrame);
    fill_rect(image, kTimelineStripLeft, kTimelineStripTop, kTimelineColumns, kTimelineStripHeight, kPictureBackground);
    for (std::uint32_t c = 0; c < columns; ++c) {
        if (picture.columns[c])
            fill_rect(image, kTimelineStripLeft + c, kTimelineStripTop, 1, kTimelineStripHeight, *picture.columns[c]);
    }

    // Ticks under the strip, each label centred on its tick and kept inside.
    const std::uint32_t tick_top = kTimelineStripTop + kTimelineStripHeight + 1;
    for (const TimelineTick& t : picture.ticks) {
        if (t.column >= kTimelineColumns) continue;
        const std::uint32_t x = kTimelineStripLeft + t.column;
        fill_rect(image, x, tick_top, 1, kTickLength, kPictureInk);
        const int w = pen.width(t.label);
        const int left = std::clamp(static_cast<int>(x) - w / 2, 1, static_cast<int>(kTimelineWidth) - w - 1);
        pen.draw(image, t.label, left, static_cast<int>(tick_top) + kTickLength + kLabelPixels, kPictureInk);
    }

    // The legend: a swatch and a label per class, evenly spaced.
    if (!picture.legend.empty()) {
        const std::uint32_t slot = kTimelineColumns / static_cast<std::uint32_t>(picture.legend.size());
        for (std::size_t i = 0; i < picture.legend.size(); ++i) {
            const std::uint32_t x = kTimelineStripLeft + static_cast<std::uint32_t>(i) * slot;
            fill_rect(image, x, kLegendTop, kLegendSwatch + 2, kLegendSwatch + 2, kPictureFrame);
            fill_rect(image, x + 1, kLegendTop + 1, kLegendSwatch, kLegendSwatch, picture.legend[i].colour);
            pen.draw(image, picture.legend[i].label, static_cast<int>(x + kLegendSwatch + 7),
                     static_cast<int>(kLegendTop + kLegendSwatch), kPictureInk);
        }
    }
    return image;
}

}  // namespace zelvo
