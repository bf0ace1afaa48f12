// Assembles checksummed NMEA 0183 sentences from a byte stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zelvo {

inline constexpr std::size_t kSentenceSize = 100;

// The sentence from '$' to the second checksum digit, zero after it (a
// sentence of exactly 100 bytes has no zero after it).
using SentenceBuffer = std::array<char, kSentenceSize>;

class NmeaFramer {
public:
    // Handles one byte; true exactly when it is the second checksum digit of
    // a sentence whose checksum matches. The caller reads the buffer before
    // feeding the next byte.
    bool feed(char c, SentenceBuffer& buffer);

private:
    void start(SentenceBuffer& buffer);
    void store(char c, SentenceBuffer& buffer) { buffer[static_cast<std::size_t>(pos_++)] = c; }

    std::int32_t pos_ = 0;
    bool in_body_ = false;
    bool star_seen_ = false;
    bool first_digit_seen_ = false;
    char first_digit_ = 0;
    std::uint8_t checksum_ = 0;
};

// True when the whole 100-byte buffer holds exactly n commas.
bool count_commas(const SentenceBuffer& buffer, int n);

}  // namespace zelvo
