// UTF-8 as the formats that declare it need it: file names come from the
// file system as bytes, in whatever encoding the user's system had.
#pragma once

#include <string>
#include <string_view>

namespace zelvo {

// The text is well-formed UTF-8: no stray continuation byte, no overlong
// form, no surrogate, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text);

// The text with every byte that is not part of well-formed UTF-8 replaced
// by U+FFFD; valid text comes back unchanged.
std::string valid_utf8(std::string_view text);

}  // namespace zelvo
