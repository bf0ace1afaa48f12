// Reading the log into the epoch stream: framing, decoding, the gauge and the pump.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "engine/epoch_stream.h"
#include "engine/input_file.h"
#include "engine/run_host.h"

namespace zelvo {

// What reading a log found besides its epochs.
struct IngestReport {
    std::optional<std::uint64_t> skipped_lines;  // formats that count the lines they could not read
};

// The gauge moves every progress_step + 1 bytes, and on the last byte of a
// short read. Returns how often it moves over a chunk of n bytes.
std::uint64_t gauge_steps(std::uint64_t& counter, std::uint64_t step, std::size_t n, bool short_chunk);

// The chunks of a text log, each read with the pump and the gauge seen to.
class TextChunks {
public:
    TextChunks(InputFile& in, std::uint64_t progress_step, RunHost& host)
        : in_(in), step_(progress_step), host_(host) {}
    // The next chunk into `chunk` and `size` (which may be 0 while a
    // compressed log has more to come); false once the log has ended.
    bool next(const unsigned char*& chunk, std::size_t& size);

private:
    InputFile& in_;
    std::uint64_t step_;
    RunHost& host_;
    std::uint64_t counter_ = 0;
    std::uint64_t gauge_at_ = 0;
};

// NMEA 0183 text: framed sentences, GGA/RMC records merged by time of day.
// progress_step is the input size / 100, rounded down.
void ingest_nmea(InputFile& in, std::uint64_t progress_step, RunHost& host, EpochStream& epochs);

// Merges a GGA or RMC record of the same time into the last record. Which
// half `fresh` is follows from the flags of `last` alone.
void merge_epoch(const waypoints& fresh, waypoints& last);

// The DLE-framed binary protocol: one record per position message.
void ingest_binary(InputFile& in, std::uint64_t progress_step, RunHost& host, EpochStream& epochs);

// Position solution files: one record per epoch line; lines that are no
// epoch are skipped and counted. A baseline solution is refused
// (std::runtime_error): it has no position on the globe.
IngestReport ingest_solution(InputFile& in, std::uint64_t progress_step, RunHost& host, EpochStream& epochs);

// The units of each format found whole in the first bytes of a log:
// NMEA sentences of a type the program reads with a valid checksum,
// complete binary frames of a message it reads, solution epoch lines.
std::size_t count_nmea_sentences(std::span<const unsigned char> head);
std::size_t count_tolv_frames(std::span<const unsigned char> head);
std::size_t count_solution_lines(std::span<const unsigned char> head);

}  // namespace zelvo
