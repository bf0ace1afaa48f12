// One navigation epoch as the decoders assemble it and the writers read it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "record/vocabulary.h"

namespace zelvo {

// One satellite of the table. The index in the table is the NMEA satellite
// id, which fixes system and number: 1-32 GPS, 33-64 SBAS (PRN id + 87),
// 65-96 GLONASS (slot id - 64).
struct sat_entry {
    char system = 0;          // 'G', 'S', 'R'; 0 while empty
    std::uint8_t number = 0;  // PRN or GLONASS slot
    std::int8_t channel = 0;  // binary logs only: frequency channel
    std::uint8_t elevation = 0;
    std::uint16_t azimuth = 0;
    std::uint8_t snr = 0;
    std::uint8_t used = 0;
    std::uint8_t present = 0;
};

inline constexpr int kSatTableSize = 97;

struct waypoints {
    std::string time;          // "hh:mm:ss..." UTC, empty when not decoded
    double latitude = 0;       // degrees, north positive
    double longitude = 0;      // degrees, east positive
    double altitude = 0;       // metres
    std::string date;          // "yyyy-mm-dd", empty when no date is known
    DateSource date_source = DateSource::Log;
    char status = 0;           // 'A' valid, 'V' invalid
    double rms = 0;            // metres
    std::int32_t quality = 0;  // GGA fix quality
    std::string fix_text;      // binary logs only
    std::int32_t sats_used = 0;
    double hdop = 0;
    double diff_age = 0;       // seconds
    std::int32_t dgps_station = -1;  // GGA differential station id, -1 when not given
    double speed_kmh = 0;
    double course = 0;         // degrees from true north
    char mode_indicator = 0;   // RMC mode letter, 0 when absent
    std::int32_t fix_mode = 0; // GSA: 1 no fix, 2 2D, 3 3D
    std::array<sat_entry, kSatTableSize> sats{};
    std::uint8_t has_sats = 0;
    std::int32_t ms_of_day = 0;
    std::uint8_t has_gga = 0;
    std::uint8_t has_rmc = 0;
    // The latitude and longitude fields were read (not merely zero). Only
    // the sentence or message that opens an epoch sets them.
    bool has_latitude = false;
    bool has_longitude = false;
    // Solution files only: the standard deviations north, east and up
    // (metres), the ambiguity ratio, and whether speed and course were
    // worked out from the positions rather than read.
    double sd_north = 0, sd_east = 0, sd_up = 0;
    double ratio = 0;
    bool motion_derived = false;

    // Back to the zero state without giving up the texts' storage.
    void clear();
};

// Whether the epoch says where the receiver was: both coordinates read and
// on the globe. An epoch without one is drawn nowhere.
bool has_position(const waypoints& record);

}  // namespace zelvo
