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
    // Idle: between sentences. InBody: after '$', summing the body.
    // FirstDigit, SecondDigit: after '*', reading the checksum.
    enum class State { Idle, InBody, FirstDigit, SecondDigit };

    // Handles one byte; true exactly when it is the second checksum digit of
    // a sentence whose checksum matches. The caller reads the buffer before
    // feeding the next byte.
    bool feed(char c, SentenceBuffer& buffer);

    // Takes the run of plain body bytes at the front of `data` (none of
    // '*', '$' and no overflow) exactly as feed would, and returns how many
    // it took. Used to move through a sentence's body quickly.
    std::size_t feed_body_run(const unsigned char* data, std::size_t size, SentenceBuffer& buffer) {
        if (state_ != State::InBody) return 0;
        std::size_t room = kSentenceSize - static_cast<std::size_t>(pos_);
        std::size_t limit = size < room ? size : room;
        std::size_t i = 0;
        std::uint8_t sum = checksum_;
        char* out = buffer.data() + pos_;
        for (; i < limit; ++i) {
            unsigned char c = data[i];
            if (c == '*' || c == '$') break;
            out[i] = static_cast<char>(c);
            sum = static_cast<std::uint8_t>(sum ^ c);
        }
        checksum_ = sum;
        pos_ += static_cast<std::int32_t>(i);
        return i;
    }

    // Between sentences every byte but '$' is dropped.
    bool idle() const { return state_ == State::Idle; }
    State state() const { return state_; }

private:
    void start(SentenceBuffer& buffer);
    void store(char c, SentenceBuffer& buffer) { buffer[static_cast<std::size_t>(pos_++)] = c; }

    State state_ = State::Idle;
    std::int32_t pos_ = 0;
    char first_digit_ = 0;
    std::uint8_t checksum_ = 0;
};

namespace framer_detail {

inline bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

inline char upper(char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace framer_detail

inline void NmeaFramer::start(SentenceBuffer& buffer) {
    buffer.fill(0);
    pos_ = 0;
    store('$', buffer);
    checksum_ = 0;
    first_digit_ = 0;
}

// $GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76
inline bool NmeaFramer::feed(char c, SentenceBuffer& buffer) {
    if (pos_ >= static_cast<std::int32_t>(kSentenceSize)) {
        // Over-long: back to idle, and this byte is looked at afresh.
        pos_ = 0;
        state_ = State::Idle;
        first_digit_ = 0;
        buffer.fill(0);
    }
    switch (state_) {
    case State::Idle:
        if (c == '$') {
            start(buffer);
            state_ = State::InBody;
        }
        return false;

    case State::InBody:
        if (c == '*') {
            store(c, buffer);
            state_ = State::FirstDigit;
        } else if (c == '$') {
            start(buffer);  // a new sentence replaces the broken one
        } else {
            store(c, buffer);
            checksum_ = static_cast<std::uint8_t>(checksum_ ^ static_cast<std::uint8_t>(c));
        }
        return false;

    case State::FirstDigit:
    case State::SecondDigit:
        if (!framer_detail::is_hex_digit(c)) {
            // Not a checksum: the sentence is abandoned, even a '$' here.
            state_ = State::Idle;
            return false;
        }
        store(c, buffer);
        if (state_ == State::FirstDigit) {
            first_digit_ = c;
            state_ = State::SecondDigit;
            return false;
        }
        state_ = State::Idle;
        static constexpr char kHex[] = "0123456789ABCDEF";
        return framer_detail::upper(first_digit_) == kHex[checksum_ >> 4] && framer_detail::upper(c) == kHex[checksum_ & 0x0F];
    }
    return false;
}

// True when the whole 100-byte buffer holds exactly n commas.
bool count_commas(const SentenceBuffer& buffer, int n);

}  // namespace zelvo
