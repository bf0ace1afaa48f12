#include "output/text_pen.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <stdexcept>
#include <sys/stat.h>

namespace zelvo {

namespace {

std::string freetype_reason(FT_Error error) {
    const char* text = FT_Error_String(error);
    return text ? text : "FreeType error " + std::to_string(error);
}

bool is_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

TextPen::TextPen(const std::string& font_path, int pixels) {
    if (FT_Error e = FT_Init_FreeType(&library_)) throw std::runtime_error("FreeType: " + freetype_reason(e));
    FT_Error e = FT_New_Face(library_, font_path.c_str(), 0, &face_);
    if (e == 0) e = FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(pixels));
    if (e != 0) {
        if (face_) FT_Done_Face(face_);
        FT_Done_FreeType(library_);
        throw std::runtime_error(font_path + ": " + freetype_reason(e));
    }
}

TextPen::~TextPen() {
    FT_Done_Face(face_);
    FT_Done_FreeType(library_);
}

int TextPen::width(const std::string& text) const {
    int w = 0;
    for (unsigned char c : text)
        if (FT_Load_Char(face_, c, FT_LOAD_DEFAULT) == 0) w += static_cast<int>(face_->glyph->advance.x >> 6);
    return w;
}

void TextPen::draw(PngImage& image, const std::string& text, int left, int baseline, Rgb ink) const {
    int pen = left;
    for (unsigned char c : text) {
        if (FT_Load_Char(face_, c, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot g = face_->glyph;
        const FT_Bitmap& b = g->bitmap;
        for (unsigned row = 0; row < b.rows; ++row) {
            for (unsigned col = 0; col < b.width; ++col) {
                const int x = pen + g->bitmap_left + static_cast<int>(col);
                const int y = baseline - g->bitmap_top + static_cast<int>(row);
                if (x < 0 || y < 0 || x >= static_cast<int>(image.width) || y >= static_cast<int>(image.height))
                    continue;
                const std::uint8_t cover = b.buffer[static_cast<std::ptrdiff_t>(row) * b.pitch + col];
                blend_pixel(image, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), ink, cover);
            }
        }
        pen += static_cast<int>(g->advance.x >> 6);
    }
}

void blend_pixel(PngImage& image, std::uint32_t x, std::uint32_t y, Rgb ink, std::uint8_t cover) {
    const Rgb under = image.colour_at(x, y);
    auto mix = [cover](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>((a * (255 - cover) + b * cover + 127) / 255);
    };
    image.set_colour(x, y, {mix(under.red, ink.red), mix(under.green, ink.green), mix(under.blue, ink.blue)});
    image.set_alpha(x, y, std::max(image.alpha_at(x, y), cover));
}

void fill_rect(PngImage& image, std::uint32_t left, std::uint32_t top, std::uint32_t width, std::uint32_t height,
               Rgb colour, std::uint8_t alpha) {
    for (std::uint32_t y = top; y < std::min(top + height, image.height); ++y) {
        for (std::uint32_t x = left; x < std::min(left + width, image.width); ++x) {
            image.set_colour(x, y, colour);
            image.set_alpha(x, y, alpha);
        }
    }
}

std::string label_font_path() {
    for (const char* path : {"/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
                             "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"})
        if (is_file(path)) return path;
    return "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
}

}  // namespace zelvo
