#include "output/timeline_image.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>

namespace zelvo {

namespace {

constexpr Rgb kBackground{255, 255, 255};
constexpr std::uint8_t kBackgroundAlpha = 215;
constexpr Rgb kInk{40, 40, 40};
constexpr Rgb kFrame{120, 120, 120};
constexpr int kTickLength = 4;
constexpr int kLabelPixels = 11;
constexpr std::uint32_t kLegendTop = 62;
constexpr std::uint32_t kLegendSwatch = 11;

std::string freetype_reason(FT_Error error) {
    const char* text = FT_Error_String(error);
    return text ? text : "FreeType error " + std::to_string(error);
}

struct LibraryCloser {
    void operator()(FT_Library l) const { FT_Done_FreeType(l); }
};
struct FaceCloser {
    void operator()(FT_Face f) const { FT_Done_Face(f); }
};

// Labels in one size of one typeface, drawn as anti-aliased grey levels.
class TextPen {
public:
    TextPen(const std::string& font_path, int pixels) {
        FT_Library library = nullptr;
        if (FT_Error e = FT_Init_FreeType(&library)) throw std::runtime_error("FreeType: " + freetype_reason(e));
        library_.reset(library);
        FT_Face face = nullptr;
        if (FT_Error e = FT_New_Face(library, font_path.c_str(), 0, &face))
            throw std::runtime_error(font_path + ": " + freetype_reason(e));
        face_.reset(face);
        if (FT_Error e = FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)))
            throw std::runtime_error(font_path + ": " + freetype_reason(e));
    }

    int width(const std::string& text) const {
        int w = 0;
        for (unsigned char c : text)
            if (FT_Load_Char(face_.get(), c, FT_LOAD_DEFAULT) == 0) w += static_cast<int>(face_->glyph->advance.x >> 6);
        return w;
    }

    // Draws `text` with its baseline at `baseline`, starting at `left`.
    void draw(PngImage& image, const std::string& text, int left, int baseline, Rgb ink) const {
        int pen = left;
        for (unsigned char c : text) {
            if (FT_Load_Char(face_.get(), c, FT_LOAD_RENDER) != 0) continue;
            const FT_GlyphSlot g = face_->glyph;
            const FT_Bitmap& b = g->bitmap;
            for (unsigned row = 0; row < b.rows; ++row) {
                for (unsigned col = 0; col < b.width; ++col) {
                    const int x = pen + g->bitmap_left + static_cast<int>(col);
                    const int y = baseline - g->bitmap_top + static_cast<int>(row);
                    if (x < 0 || y < 0 || x >= static_cast<int>(image.width) || y >= static_cast<int>(image.height))
                        continue;
                    const std::uint8_t cover = b.buffer[static_cast<std::ptrdiff_t>(row) * b.pitch + col];
                    blend(image, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), ink, cover);
                }
            }
            pen += static_cast<int>(g->advance.x >> 6);
        }
    }

private:
    static void blend(PngImage& image, std::uint32_t x, std::uint32_t y, Rgb ink, std::uint8_t cover) {
        const Rgb under = image.colour_at(x, y);
        auto mix = [cover](std::uint8_t a, std::uint8_t b) {
            return static_cast<std::uint8_t>((a * (255 - cover) + b * cover + 127) / 255);
        };
        image.set_colour(x, y, {mix(under.red, ink.red), mix(under.green, ink.green), mix(under.blue, ink.blue)});
        image.set_alpha(x, y, std::max(image.alpha_at(x, y), cover));
    }

    std::unique_ptr<FT_LibraryRec_, LibraryCloser> library_;
    std::unique_ptr<FT_FaceRec_, FaceCloser> face_;
};

void fill(PngImage& image, std::uint32_t left, std::uint32_t top, std::uint32_t width, std::uint32_t height,
          Rgb colour, std::uint8_t alpha = 255) {
    for (std::uint32_t y = top; y < std::min(top + height, image.height); ++y) {
        for (std::uint32_t x = left; x < std::min(left + width, image.width); ++x) {
            image.set_colour(x, y, colour);
            image.set_alpha(x, y, alpha);
        }
    }
}

bool is_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string timeline_font_path() {
    for (const char* path : {"/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
                             "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"})
        if (is_file(path)) return path;
    return "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
}

PngImage draw_timeline(const TimelinePicture& picture, const std::string& font_path) {
    const TextPen pen(font_path, kLabelPixels);
    PngImage image(kTimelineWidth, kTimelineHeight);
    fill(image, 0, 0, kTimelineWidth, kTimelineHeight, kBackground, kBackgroundAlpha);

    // The strip in a thin frame; blank columns show the background.
    const std::uint32_t columns = std::min<std::uint32_t>(kTimelineColumns, static_cast<std::uint32_t>(picture.columns.size()));
    fill(image, kTimelineStripLeft - 1, kTimelineStripTop - 1, kTimelineColumns + 2, kTimelineStripHeight + 2, kFrame);
    fill(image, kTimelineStripLeft, kTimelineStripTop, kTimelineColumns, kTimelineStripHeight, kBackground);
    for (std::uint32_t c = 0; c < columns; ++c) {
        if (picture.columns[c])
            fill(image, kTimelineStripLeft + c, kTimelineStripTop, 1, kTimelineStripHeight, *picture.columns[c]);
    }

    // Ticks under the strip, each label centred on its tick and kept inside.
    const std::uint32_t tick_top = kTimelineStripTop + kTimelineStripHeight + 1;
    for (const TimelineTick& t : picture.ticks) {
        if (t.column >= kTimelineColumns) continue;
        const std::uint32_t x = kTimelineStripLeft + t.column;
        fill(image, x, tick_top, 1, kTickLength, kInk);
        const int w = pen.width(t.label);
        const int left = std::clamp(static_cast<int>(x) - w / 2, 1, static_cast<int>(kTimelineWidth) - w - 1);
        pen.draw(image, t.label, left, static_cast<int>(tick_top) + kTickLength + kLabelPixels, kInk);
    }

    // The legend: a swatch and a label per class, evenly spaced.
    if (!picture.legend.empty()) {
        const std::uint32_t slot = kTimelineColumns / static_cast<std::uint32_t>(picture.legend.size());
        for (std::size_t i = 0; i < picture.legend.size(); ++i) {
            const std::uint32_t x = kTimelineStripLeft + static_cast<std::uint32_t>(i) * slot;
            fill(image, x, kLegendTop, kLegendSwatch + 2, kLegendSwatch + 2, kFrame);
            fill(image, x + 1, kLegendTop + 1, kLegendSwatch, kLegendSwatch, picture.legend[i].colour);
            pen.draw(image, picture.legend[i].label, static_cast<int>(x + kLegendSwatch + 7),
                     static_cast<int>(kLegendTop + kLegendSwatch), kInk);
        }
    }
    return image;
}

}  // namespace zelvo
