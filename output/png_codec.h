// A thin wrapper around libpng: what the icon maker needs and no more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelvo {

// A decoding or encoding failure inside libpng, with libpng's own message.
class PngError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// An 8-bit image held as a colour plane (red, green, blue per pixel) and a
// separate alpha plane, both row by row from the top left.
struct PngImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> colour;  // 3 bytes per pixel
    std::vector<std::uint8_t> alpha;   // 1 byte per pixel

    PngImage() = default;
    PngImage(std::uint32_t w, std::uint32_t h)
        : width(w), height(h), colour(std::size_t{w} * h * 3), alpha(std::size_t{w} * h) {}

    Rgb colour_at(std::uint32_t x, std::uint32_t y) const {
        const std::uint8_t* p = &colour[index(x, y) * 3];
        return {p[0], p[1], p[2]};
    }
    void set_colour(std::uint32_t x, std::uint32_t y, Rgb c) {
        std::uint8_t* p = &colour[index(x, y) * 3];
        p[0] = c.red;
        p[1] = c.green;
        p[2] = c.blue;
    }
    std::uint8_t alpha_at(std::uint32_t x, std::uint32_t y) const { return alpha[index(x, y)]; }
    void set_alpha(std::uint32_t x, std::uint32_t y, std::uint8_t a) { alpha[index(x, y)] = a; }

private:
    std::size_t index(std::uint32_t x, std::uint32_t y) const {
        return std::size_t{y} * width + x;
    }
};

// Decodes a PNG held in memory. Any colour type and bit depth is accepted
// and brought to 8-bit RGB plus alpha (opaque where the file has none).
// Throws PngError for data that is not a readable PNG.
PngImage decode_png(std::span<const unsigned char> data);

// Encodes the image as an 8-bit RGBA PNG, not interlaced.
std::vector<unsigned char> encode_png(const PngImage& image);

// Encodes the image and writes it to path, creating or replacing the file.
// Throws std::runtime_error "Cannot create file <path>" when the file cannot
// be opened, and a message naming the file and the reason when writing fails
// (the partial file is then removed).
void write_png_file(const PngImage& image, const std::string& path);

}  // namespace zelvo
