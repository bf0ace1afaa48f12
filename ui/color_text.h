// Colours as a user writes them on the command line.
#pragma once

#include <optional>
#include <string_view>

#include "engine/conversion_options.h"

namespace zelvo {

// "#RRGGBB" (hexadecimal digits of either case) or one of the 147 SVG 1.1
// colour names, matched without regard to case; nullopt for anything else.
std::optional<ColorRef> parse_color_text(std::string_view text);

}  // namespace zelvo
