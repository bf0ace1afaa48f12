#include "nmea/nmea_framer.h"

#include <algorithm>

namespace zelvo {

namespace {

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

char upper(char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

void NmeaFramer::start(SentenceBuffer& buffer) {
    buffer.fill(0);
    pos_ = 0;
    store('$', buffer);
    checksum_ = 0;
    first_digit_ = 0;
}

// $GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76
bool NmeaFramer::feed(char c, SentenceBuffer& buffer) {
    if (pos_ >= static_cast<std::int32_t>(kSentenceSize)) {
        // Over-long: back to idle, and this byte is looked at afresh.
        pos_ = 0;
        in_body_ = star_seen_ = first_digit_seen_ = false;
        first_digit_ = 0;
        buffer.fill(0);
    }
    if (star_seen_) {
        if (!is_hex_digit(c)) {
            // Not a checksum: the sentence is abandoned, even a '$' here.
            star_seen_ = first_digit_seen_ = false;
            return false;
        }
        store(c, buffer);
        if (!first_digit_seen_) {
            first_digit_ = c;
            first_digit_seen_ = true;
            return false;
        }
        star_seen_ = first_digit_seen_ = false;
        static constexpr char kHex[] = "0123456789ABCDEF";
        return upper(first_digit_) == kHex[checksum_ >> 4] && upper(c) == kHex[checksum_ & 0x0F];
    }
    if (in_body_) {
        if (c == '*') {
            store(c, buffer);
            in_body_ = false;
            star_seen_ = true;
        } else if (c == '$') {
            start(buffer);  // a new sentence replaces the broken one
        } else {
            store(c, buffer);
            checksum_ = static_cast<std::uint8_t>(checksum_ ^ static_cast<std::uint8_t>(c));
        }
        return false;
    }
    if (c == '$') {
        start(buffer);
        in_body_ = true;
    }
    return false;
}

bool count_commas(const SentenceBuffer& buffer, int n) {
    return std::count(buffer.begin(), buffer.end(), ',') == n;
}

}  // namespace zelvo
