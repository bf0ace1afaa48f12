// The waypoint icons: the built-in arrow recoloured for one fix class.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "record/vocabulary.h"

namespace zelvo {

// One icon as it goes into the archive: its member name and its PNG bytes.
// Icons live in memory only, so a run never writes into the user's folder.
struct Icon {
    std::string name;
    std::vector<unsigned char> png;
};

// The icon's file name for a colour: its decimal value and ".png"
// (0x0000FF gives "255.png").
std::string icon_file_name(ColorRef colour);

// Paints every pixel of the built-in template that is not exactly white in
// the colour (alpha untouched) and encodes it. Throws PngError when the
// template cannot be decoded.
Icon make_icon(ColorRef colour);

// The same from another template, for tests and tools.
Icon make_icon_from(std::span<const unsigned char> template_png, ColorRef colour);

}  // namespace zelvo
