#include "nmea/nmea_framer.h"

#include <algorithm>
#include <cstring>

namespace zelvo {

bool count_commas(const SentenceBuffer& buffer, int n) {
    return std::count(buffer.begin(), buffer.end(), ',') == n;
}

}  // namespace zelvo
