#include "output/icon_maker.h"

#include <gtest/gtest.h>

#include "output/png_codec.h"
#include "resources/icon_template.h"

namespace zelvo {
namespace {


TEST(IconTemplate, IsTheGreenArrowOnATransparentGround) {
    PngImage t = decode_png(icon_template_png());
    ASSERT_EQ(t.width, 48u);
    ASSERT_EQ(t.height, 48u);
    const Rgb white{255, 255, 255}, black{0, 0, 0};
    int visible = 0;
    for (std::uint32_t y = 0; y < 48; ++y)
        for (std::uint32_t x = 0; x < 48; ++x) {
            Rgb c = t.colour_at(x, y);
            if (t.alpha_at(x, y) == 0) {
                EXPECT_TRUE(c == white || c == black) << x << "," << y;
                continue;
            }
            ++visible;
            EXPECT_NE(c, white) << x << "," << y;
            EXPECT_GT(c.green, c.red) << x << "," << y;
            EXPECT_GT(c.green, c.blue) << x << "," << y;
        }
    // Landmarks of the shape: the flat tip in row 1, the full width of the
    // head in rows 21 to 23, the shaft down to row 46, nothing in row 47.
    for (std::uint32_t x = 22; x <= 26; ++x) EXPECT_EQ(t.alpha_at(x, 1), 255) << x;
    EXPECT_EQ(t.alpha_at(24, 0), 0);
    for (std::uint32_t y = 21; y <= 23; ++y) {
        EXPECT_EQ(t.alpha_at(4, y), 0);
        EXPECT_EQ(t.alpha_at(5, y), 255);
        EXPECT_EQ(t.alpha_at(43, y), 255);
        EXPECT_EQ(t.alpha_at(44, y), 0);
    }
    EXPECT_GT(t.alpha_at(8, 24), 0);
    EXPECT_LT(t.alpha_at(8, 24), 255);
    for (std::uint32_t y = 25; y <= 46; ++y) {
        EXPECT_EQ(t.alpha_at(13, y), 0) << y;
        EXPECT_EQ(t.alpha_at(14, y), 255) << y;
        EXPECT_EQ(t.alpha_at(33, y), 255) << y;
        EXPECT_EQ(t.alpha_at(34, y), 0) << y;
    }
    for (std::uint32_t x = 0; x < 48; ++x) EXPECT_EQ(t.alpha_at(x, 47), 0);
    // Soft edges: some pixels are partly transparent.
    int partial = 0;
    for (std::uint8_t a : t.alpha) partial += a > 0 && a < 255;
    EXPECT_GT(partial, 20);
    EXPECT_GT(visible, 500);
}

// The checks every icon must pass: 48 x 48, the template's alpha, the
// class colour on every visible pixel, the template's white kept.
void expect_icon(const Icon& made, Rgb colour) {
    PngImage t = decode_png(icon_template_png());
    PngImage icon = decode_png(made.png);
    ASSERT_EQ(icon.width, 48u);
    ASSERT_EQ(icon.height, 48u);
    EXPECT_EQ(icon.alpha, t.alpha);
    const Rgb white{255, 255, 255};
    for (std::uint32_t y = 0; y < 48; ++y)
        for (std::uint32_t x = 0; x < 48; ++x) {
            Rgb expected = t.colour_at(x, y) == white ? white : colour;
            ASSERT_EQ(icon.colour_at(x, y), expected) << x << "," << y;
        }
}

TEST(MakeIcon, PaintsTheArrowAndNamesItByDecimalColour) {
    struct Case {
        ColorRef colour;
        const char* name;
        Rgb rgb;
    };
    const Case cases[] = {
        {0x0000FF, "255.png", {255, 0, 0}},
        {0x008000, "32768.png", {0, 128, 0}},
        {0x00FFFF, "65535.png", {255, 255, 0}},
        {0xFF00FF, "16711935.png", {255, 0, 255}},
        {0xFFFF00, "16776960.png", {0, 255, 255}},
        {0x000000, "0.png", {0, 0, 0}},
        {0x123456, "1193046.png", {0x56, 0x34, 0x12}},
        // White: the arrow becomes white too.
        {0xFFFFFF, "16777215.png", {255, 255, 255}},
        // The high byte is never part of the colour.
        {0x010000FF, "255.png", {255, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Icon icon = make_icon(c.colour);
        EXPECT_EQ(icon.name, c.name);
        expect_icon(icon, c.rgb);
    }
}

TEST(MakeIcon, BrokenTemplateRaisesPngError) {
    const unsigned char junk[] = {0x89, 'P', 'N', 'G', 1, 2, 3};
    EXPECT_THROW(make_icon_from(junk, 0x0000FF), PngError);
}

}  // namespace
}  // namespace zelvo
