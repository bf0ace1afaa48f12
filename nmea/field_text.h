// Field access and number conversions shared by the NMEA decoders. Numbers
// convert exactly as the C library's atol and strtod do in the "C" locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "nmea/nmea_framer.h"

namespace zelvo {

// atol: blanks, sign, digits; stops at the first other character (a NUL
// included); saturates at the range of a 64-bit long.
long c_atol_general(std::string_view text);
inline long c_atol(std::string_view text) {
    // Most fields are a short run of digits: no blanks, no sign, no overflow.
    if (!text.empty() && text.size() <= 18 && text[0] >= '0' && text[0] <= '9') {
        long v = 0;
        for (char c : text) {
            if (c < '0' || c > '9') break;
            v = v * 10 + (c - '0');
        }
        return v;
    }
    return c_atol_general(text);
}

// strtod in the "C" locale on the text up to its first NUL.
double c_strtod(std::string_view text);

// The low 32 bits of a long, as a C assignment to a 32-bit field keeps them.
inline std::int32_t low32(long v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

// Floating point to a 32-bit integer, truncating; out of range, NaN and
// infinities give INT32_MIN, as the x86 conversion instruction does.
std::int32_t to_int32_truncated(long double v);

// Index of the first '*' of a framed sentence (always present).
std::size_t star_index(const SentenceBuffer& s);

// End of the field that opens at the ',' at `open`: the index of the next
// ',' or '*'. Never beyond `star`.
std::size_t field_end(const SentenceBuffer& s, std::size_t open, std::size_t star);

inline std::string_view field_text(const SentenceBuffer& s, std::size_t open, std::size_t end) {
    return std::string_view(s.data() + open + 1, end - open - 1);
}

// Today's local date as "yyyy-mm-dd", for an epoch whose log gave none.
std::string today_date();

// Tests fix the clock through this hook; nullptr restores the real clock.
using TodayHook = void (*)(int& year, int& month, int& day);
void set_today_hook(TodayHook hook);

}  // namespace zelvo
