// Reading the log into the epoch stream: framing, decoding, the gauge and the pump.
#pragma once

#include <cstdint>

#include "engine/epoch_stream.h"
#include "engine/input_file.h"
#include "engine/run_host.h"

namespace zelvo {

// NMEA 0183 text: framed sentences, GGA/RMC records merged by time of day.
// progress_step is the input size / 100, rounded down.
void ingest_nmea(InputFile& in, std::uint64_t progress_step, RunHost& host, EpochStream& epochs);

// Merges a GGA or RMC record of the same time into the last record. Which
// half `fresh` is follows from the flags of `last` alone.
void merge_epoch(const waypoints& fresh, waypoints& last);

// The DLE-framed binary protocol: one record per position message.
void ingest_binary(InputFile& in, std::uint64_t progress_step, RunHost& host, EpochStream& epochs);

}  // namespace zelvo
