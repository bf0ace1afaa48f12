#include <algorithm>
#include <cstring>

#include "engine/ingestion.h"
#include "nmea/nmea_decoders.h"
#include "nmea/nmea_framer.h"

namespace zelvo {

namespace {

bool has_type(const SentenceBuffer& s, const char (&type)[4]) {
    return s[3] == type[0] && s[4] == type[1] && s[5] == type[2];
}

bool is_rms_sentence(const SentenceBuffer& s) {
    return std::memcmp(s.data(), "$PQALD", 6) == 0 || std::memcmp(s.data(), "$PXEMRZD", 8) == 0;
}

// A fresh GGA or RMC record joins the last one when both carry the same
// time of day, and starts a new epoch otherwise. Either way `fresh` is left
// in the zero state for the next sentence.
void assemble(waypoints& fresh, EpochStream& epochs) {
    if (!epochs.empty() && epochs.last().ms_of_day == fresh.ms_of_day) {
        merge_epoch(fresh, epochs.last());
        fresh.clear();
        return;
    }
    epochs.append(fresh);
}

// RMC with 11 commas has no mode indicator; 13 commas carry the
// navigational status field that current receivers add after it.
bool rmc_shape_accepted(const SentenceBuffer& s) {
    return count_commas(s, 12) || count_commas(s, 11) || count_commas(s, 13);
}

// The talker (positions 1 and 2) is never examined: GP, GN, GL alike.
// `fresh` is in the zero state on entry and on return.
void dispatch(const SentenceBuffer& s, waypoints& fresh, EpochStream& epochs) {
    if (has_type(s, "GGA")) {
        decode_gga(s, fresh);
        assemble(fresh, epochs);
    } else if (has_type(s, "RMC")) {
        if (!rmc_shape_accepted(s)) return;
        if (decode_rmc(s, fresh)) assemble(fresh, epochs);
        else fresh.clear();  // a dropped sentence leaves nothing behind
    } else if (epochs.empty()) {
        return;  // nothing to complete yet
    } else if (has_type(s, "GSV")) {
        decode_gsv(s, epochs.last());
    } else if (has_type(s, "GSA")) {
        decode_gsa(s, epochs.last());
    } else if (is_rms_sentence(s)) {
        decode_rms(s, epochs.last());
    }
}

}  // namespace

void merge_epoch(const waypoints& fresh, waypoints& last) {
    if (last.has_rmc == 1) {
        // The GGA half arrives.
        last.altitude = fresh.altitude;
        last.quality = fresh.quality;
        last.fix_text = fresh.fix_text;
        last.sats_used = fresh.sats_used;
        last.hdop = fresh.hdop;
        last.has_gga = fresh.has_gga;
    } else if (last.has_gga == 1) {
        // The RMC half arrives.
        last.speed_kmh = fresh.speed_kmh;
        last.course = fresh.course;
        last.status = fresh.status;
        last.has_rmc = fresh.has_rmc;
        last.date += fresh.date;
        last.date_source = fresh.date_source;
    }
}

bool TextChunks::next(const unsigned char*& chunk, std::size_t& n) {
    if (in_.eof()) return false;
    n = in_.read_chunk(chunk);
    host_.pump_messages();
    host_.bytes_read(in_.consumed());
    // The gauge follows the bytes of the file, which a compressed log
    // gives fewer of than its chunks hold.
    const std::uint64_t moved = in_.consumed() - gauge_at_;
    gauge_at_ = in_.consumed();
    const std::uint64_t steps = gauge_steps(counter_, step_, moved, n < kChunkSize);
    // The gauge stops at 100; more calls change nothing.
    for (std::uint64_t s = 0; s < steps && s <= 100; ++s) host_.advance_progress();
    return true;
}

std::uint64_t gauge_steps(std::uint64_t& counter, std::uint64_t step, std::size_t n, bool short_chunk) {
    std::uint64_t steps = 0;
    std::uint64_t i = 0;
    for (;;) {
        const std::uint64_t next = i + (step - counter);  // the byte at which counter == step
        if (next < n) {
            ++steps;
            counter = 0;
            i = next + 1;
            continue;
        }
        const std::uint64_t rest = n - i;
        if (short_chunk && rest > 0) {
            ++steps;
            counter = 0;
        } else {
            counter += rest;
        }
        return steps;
    }
}

void ingest_nmea(InputFile& in, std::uint64_t progress_step, RunHost& host, EpochStream& epochs) {
    SentenceBuffer sentence{};
    NmeaFramer framer;
    waypoints fresh;
    TextChunks chunks(in, progress_step, host);
    const unsigned char* chunk = nullptr;
    std::size_t n = 0;
    while (chunks.next(chunk, n)) {

        for (std::size_t i = 0; i < n;) {
            if (framer.idle()) {
                // Nothing but a '$' starts a sentence: skip to the next one.
                const void* dollar = std::memchr(chunk + i, '$', n - i);
                if (!dollar) break;
                i = static_cast<std::size_t>(static_cast<const unsigned char*>(dollar) - chunk);
            } else {
                i += framer.feed_body_run(chunk + i, n - i, sentence);
                if (i >= n) break;
            }
            if (framer.feed(static_cast<char>(chunk[i]), sentence)) dispatch(sentence, fresh, epochs);
            ++i;
        }
    }
}

std::size_t count_nmea_sentences(std::span<const unsigned char> head) {
    constexpr std::size_t kLongestSentence = 128;
    std::size_t count = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (head[i] != '$') continue;
        const std::size_t limit = std::min(head.size(), i + kLongestSentence);
        std::size_t star = i + 1;
        unsigned sum = 0;
        while (star < limit && head[star] != '*' && head[star] != '$' && head[star] != '\n') sum ^= head[star++];
        if (star + 2 >= head.size() || head[star] != '*' || star - i < 6) continue;
        auto hex = [](unsigned char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            return -1;
        };
        const int high = hex(head[star + 1]), low = hex(head[star + 2]);
        if (high < 0 || low < 0 || static_cast<unsigned>(high * 16 + low) != sum) continue;
        SentenceBuffer s{};
        std::memcpy(s.data(), head.data() + i, std::min(s.size(), star - i + 1));
        if (has_type(s, "GGA") || has_type(s, "RMC") || has_type(s, "GSA") || has_type(s, "GSV") ||
            is_rms_sentence(s))
            ++count;
        i = star;
    }
    return count;
}

}  // namespace zelvo
