// Labels for the pictures in the archive: one typeface in one size, drawn
// anti-aliased onto a PngImage, and filled rectangles to draw them on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "output/png_codec.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace zelvo {

// The look the pictures share: a see-through white card, dark text and a
// grey frame, so that each stays readable over any map.
inline constexpr Rgb kPictureBackground{255, 255, 255};
inline constexpr std::uint8_t kPictureBackgroundAlpha = 215;
inline constexpr Rgb kPictureInk{40, 40, 40};
inline constexpr Rgb kPictureFrame{120, 120, 120};

class TextPen {
public:
    // Throws std::runtime_error naming the font file and FreeType's reason
    // when the typeface cannot be used.
    TextPen(const std::string& font_path, int pixels);
    ~TextPen();
    TextPen(const TextPen&) = delete;
    TextPen& operator=(const TextPen&) = delete;

    int width(const std::string& text) const;
    // Draws `text` with its baseline at `baseline`, starting at `left`.
    void draw(PngImage& image, const std::string& text, int left, int baseline, Rgb ink) const;

private:
    FT_LibraryRec_* library_ = nullptr;
    FT_FaceRec_* face_ = nullptr;
};

// Lays `colour` over the pixel with the given coverage (0 to 255); the
// pixel becomes at least that opaque.
void blend_pixel(PngImage& image, std::uint32_t x, std::uint32_t y, Rgb colour, std::uint8_t cover);

// Fills the rectangle, clipped to the image, with an opaque or see-through colour.
void fill_rect(PngImage& image, std::uint32_t left, std::uint32_t top, std::uint32_t width, std::uint32_t height,
               Rgb colour, std::uint8_t alpha = 255);

// The Liberation Sans file the labels are drawn with, from the usual places.
std::string label_font_path();

}  // namespace zelvo
