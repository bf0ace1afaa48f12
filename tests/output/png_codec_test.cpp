#include "output/png_codec.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace zelvo {
namespace {

// Every channel differs by position, and width and height differ, so a
// transposed, mirrored or channel-swapped loop cannot pass.
PngImage asymmetric_image() {
    PngImage image(7, 3);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 7; ++x) {
            image.set_colour(x, y, {static_cast<std::uint8_t>(x * 30 + y),
                                    static_cast<std::uint8_t>(y * 80 + 1),
                                    static_cast<std::uint8_t>(255 - x * y * 10)});
            image.set_alpha(x, y, static_cast<std::uint8_t>(x * 37 + y * 11));
        }
    return image;
}

void expect_same_pixels(const PngImage& a, const PngImage& b) {
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    for (std::uint32_t y = 0; y < a.height; ++y)
        for (std::uint32_t x = 0; x < a.width; ++x) {
            EXPECT_EQ(a.colour_at(x, y), b.colour_at(x, y)) << x << "," << y;
            EXPECT_EQ(a.alpha_at(x, y), b.alpha_at(x, y)) << x << "," << y;
        }
}

TEST(PngCodec, RoundTripKeepsEveryChannelOfEveryPixel) {
    PngImage original = asymmetric_image();
    std::vector<unsigned char> bytes = encode_png(original);

    // The header says 7 x 3, 8 bits, RGBA (colour type 6), not interlaced.
    ASSERT_GT(bytes.size(), 29u);
    auto be32 = [&](std::size_t at) {
        return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
               std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
    };
    EXPECT_EQ(be32(16), 7u);
    EXPECT_EQ(be32(20), 3u);
    EXPECT_EQ(bytes[24], 8);
    EXPECT_EQ(bytes[25], 6);
    EXPECT_EQ(bytes[28], 0);

    expect_same_pixels(decode_png(bytes), original);
}

TEST(PngCodec, WritesAFileThatDecodesBack) {
    test::TempDir dir;
    PngImage original = asymmetric_image();
    write_png_file(original, dir / "a.png");
    std::string bytes = test::read_file(dir / "a.png");
    expect_same_pixels(decode_png({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()}),
                       original);
}

TEST(PngCodec, RejectsDataThatIsNotAPng) {
    const unsigned char text[] = "definitely not an image";
    EXPECT_THROW(decode_png(text), PngError);
    EXPECT_THROW(decode_png({}), PngError);

    // A real PNG cut short fails inside libpng; the error comes back as an
    // exception, not a jump over this frame.
    std::vector<unsigned char> bytes = encode_png(asymmetric_image());
    for (std::size_t keep : {std::size_t{12}, std::size_t{33}, bytes.size() - 13})
        EXPECT_THROW(decode_png(std::span(bytes).first(keep)), PngError) << keep;

    // A damaged chunk fails its CRC.
    bytes[40] ^= 0xFF;
    EXPECT_THROW(decode_png(bytes), PngError);
}

TEST(PngCodec, FileThatCannotBeCreatedNamesThePath) {
    test::TempDir dir;
    std::string path = dir / "missing/a.png";
    try {
        write_png_file(asymmetric_image(), path);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + path);
    }
}

}  // namespace
}  // namespace zelvo
