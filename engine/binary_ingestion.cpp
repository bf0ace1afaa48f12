#include <cstddef>

#include "binary/binary_decoders.h"
#include "binary/binary_framer.h"
#include "engine/ingestion.h"

namespace zelvo {

namespace {

// A complete frame to its decoder. A position message always makes a new
// record, whatever its time; the others complete the newest record and are
// passed over until there is one.
void dispatch(const BinaryFrame& frame, waypoints& scratch, EpochStream& epochs) {
    switch (frame.id) {
    case kIdPvt:
        if (frame.length == kPvtShortLength || frame.length == kPvtLongLength) {
            decode_pvt(frame, scratch);
            epochs.append(scratch);  // leaves scratch in the zero state
        }
        break;
    case kIdSatellites:
        if (!epochs.empty()) decode_satellites(frame, epochs.last());
        break;
    case kIdDop:
        if ((frame.length == kDopShortLength || frame.length == kDopLongLength) && !epochs.empty()) {
            decode_dop(frame, epochs.last());
        }
        break;
    case kIdUsedSatellites:
        if (!epochs.empty()) decode_used_satellites(frame, epochs.last());
        break;
    default:
        break;
    }
}

}  // namespace

void ingest_binary(InputFile& in, std::uint64_t progress_step, RunHost& host, EpochStream& epochs) {
    BinaryFramer framer;
    BinaryFrame frame;
    waypoints scratch;
    std::uint64_t gauge_count = 0;
    std::uint64_t gauge_at = 0;

    while (!in.eof()) {
        const unsigned char* chunk = nullptr;
        const std::size_t n = in.read_chunk(chunk);
        host.bytes_read(in.consumed());
        // The gauge follows the bytes of the file, which a compressed log
        // gives fewer of than its chunks hold.
        for (std::uint64_t moved = in.consumed() - gauge_at; moved > 0; --moved) {
            if (++gauge_count >= progress_step) {
                host.advance_progress();
                gauge_count = 0;
            }
        }
        gauge_at = in.consumed();
        // Every byte read is fed, those of the last, short read included.
        for (std::size_t i = 0; i < n; ++i) {
            host.pump_messages();
            if (framer.feed(chunk[i], frame) == BinaryFramer::kComplete) {
                dispatch(frame, scratch, epochs);
            }
        }
    }
    // A frame still open at the end of the input is dropped.
    framer.reset();
}

std::size_t count_tolv_frames(std::span<const unsigned char> head) {
    BinaryFramer framer;
    BinaryFrame frame;
    std::size_t count = 0;
    for (unsigned char byte : head) {
        if (framer.feed(byte, frame) != BinaryFramer::kComplete) continue;
        switch (frame.id) {
            case kIdPvt:
            case kIdSatellites:
            case kIdDop:
            case kIdUsedSatellites: ++count; break;
            default: break;
        }
    }
    return count;
}

}  // namespace zelvo
