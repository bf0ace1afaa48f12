#include <string_view>

#include "nmea/field_text.h"
#include "nmea/nmea_decoders.h"

namespace zelvo {

// Only the first 19 characters after the second ',' are converted.
constexpr std::size_t kRmsTextLimit = 19;

// $PQALD,A,1.5*hh
void decode_rms(const SentenceBuffer& s, waypoints& record) {
    const std::size_t star = star_index(s);
    int commas = 0;
    for (std::size_t i = 0; i < star; ++i) {
        if (s[i] != ',' || ++commas != 2) continue;
        if (i + 1 >= star) return;  // nothing after the second ',': unchanged
        std::string_view text(s.data() + i + 1, star - i - 1);
        record.rms = c_strtod(text.substr(0, kRmsTextLimit));
        return;
    }
}

std::int32_t time_to_ms(std::int32_t hours, std::int32_t minutes, double seconds) {
    long double sum = (static_cast<long double>(minutes) * 60 + static_cast<long double>(seconds)) +
                      static_cast<long double>(hours) * 3600;
    return to_int32_truncated(sum * 1000);
}

}  // namespace zelvo
