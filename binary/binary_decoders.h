// Decoders of the four binary messages the converter reads. Each reads a
// complete frame; fields are addressed by payload offset (frame position
// offset + 2). None reports: a message that does not fit is ignored.
#pragma once

#include <cstdint>

#include "binary/binary_framer.h"
#include "record/waypoints.h"

namespace zelvo {

inline constexpr std::uint8_t kIdPvt = 0x88;
inline constexpr std::uint8_t kIdSatellites = 0x52;
inline constexpr std::uint8_t kIdDop = 0x60;
inline constexpr std::uint8_t kIdUsedSatellites = 0x93;

// Frame lengths (payload + 3) of the two forms of 0x88 and of 0x60.
inline constexpr std::uint16_t kPvtShortLength = 72;
inline constexpr std::uint16_t kPvtLongLength = 76;
inline constexpr std::uint16_t kDopShortLength = 14;
inline constexpr std::uint16_t kDopLongLength = 18;

// More satellite entries than this and the message is ignored.
inline constexpr int kMaxSatelliteEntries = 39;

// Position, velocity and time (0x88) into a record in the zero state.
void decode_pvt(const BinaryFrame& frame, waypoints& record);

// Satellites in view (0x52) into the current epoch.
void decode_satellites(const BinaryFrame& frame, waypoints& record);

// Dilution of precision (0x60) into the current epoch.
void decode_dop(const BinaryFrame& frame, waypoints& record);

// Satellites used in the solution (0x93) into the current epoch.
void decode_used_satellites(const BinaryFrame& frame, waypoints& record);

}  // namespace zelvo
