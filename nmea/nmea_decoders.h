// Decoders of the NMEA sentences the converter reads.
#pragma once

#include <cstdint>

#include "nmea/nmea_framer.h"
#include "record/waypoints.h"

namespace zelvo {

// GGA into a record in the zero state.
void decode_gga(const SentenceBuffer& sentence, waypoints& record);

// RMC into a record in the zero state. Returns false when the sentence must
// be dropped: its date does not exist in the calendar.
bool decode_rmc(const SentenceBuffer& sentence, waypoints& record);

// GSA and GSV add to the current epoch's record.
void decode_gsa(const SentenceBuffer& sentence, waypoints& record);
void decode_gsv(const SentenceBuffer& sentence, waypoints& record);

// The receiver's RMS sentence ($PQALD or $PXEMRZD): position RMS error.
void decode_rms(const SentenceBuffer& sentence, waypoints& record);

// Milliseconds of the day, the key that groups the sentences of an epoch.
// Evaluated in 80-bit extended precision and truncated.
std::int32_t time_to_ms(std::int32_t hours, std::int32_t minutes, double seconds);

}  // namespace zelvo
