#include "output/icon_maker.h"

#include "output/png_codec.h"
#include "resources/icon_template.h"

namespace zelvo {

// Only the 24 colour bits name and paint the icon; a ColorRef's high byte is
// never part of the colour.
static ColorRef rgb_part(ColorRef colour) { return colour & 0x00FFFFFFu; }

std::string icon_file_name(ColorRef colour) {
    return std::to_string(rgb_part(colour)) + ".png";
}

Icon make_icon(ColorRef colour) { return make_icon_from(icon_template_png(), colour); }

Icon make_icon_from(std::span<const unsigned char> template_png, ColorRef colour) {
    PngImage image = decode_png(template_png);

    const ColorRef rgb = rgb_part(colour);
    const Rgb paint{static_cast<std::uint8_t>(rgb & 0xFF),
                    static_cast<std::uint8_t>((rgb >> 8) & 0xFF),
                    static_cast<std::uint8_t>((rgb >> 16) & 0xFF)};
    const Rgb white{255, 255, 255};
    // White marks the pixels that keep their colour; every other one, the
    // invisible black ones included, takes the class colour.
    for (std::uint32_t y = 0; y < image.height; ++y)
        for (std::uint32_t x = 0; x < image.width; ++x)
            if (image.colour_at(x, y) != white) image.set_colour(x, y, paint);

    return {icon_file_name(rgb), encode_png(image)};
}

}  // namespace zelvo
