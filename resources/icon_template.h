// The arrow picture every waypoint icon is recoloured from, built into the
// program so that nothing beside the executable is needed at run time.
#pragma once

#include <span>

namespace zelvo {

// The bytes of resources/arrow_template.png.
std::span<const unsigned char> icon_template_png();

}  // namespace zelvo
