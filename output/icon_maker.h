// The waypoint icons: the built-in arrow recoloured for one fix class.
#pragma once

#include <span>
#include <string>

#include "record/vocabulary.h"

namespace zelvo {

// The icon's file name for a colour: its decimal value and ".png"
// (0x0000FF gives "255.png").
std::string icon_file_name(ColorRef colour);

// Paints every pixel of the built-in template that is not exactly white in
// the colour (alpha untouched), writes it as <directory>/<name> and returns
// the name. directory has no trailing separator. Throws std::runtime_error
// "Cannot create file <path>" when the file cannot be created, PngError when
// the template cannot be decoded.
std::string make_icon(ColorRef colour, const std::string& directory);

// The same from another template, for tests and tools.
std::string make_icon_from(std::span<const unsigned char> template_png, ColorRef colour,
                           const std::string& directory);

}  // namespace zelvo
