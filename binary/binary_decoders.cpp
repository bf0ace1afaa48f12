#include "binary/binary_decoders.h"

#include <bit>
#include <cmath>
#include <numbers>
#include <span>

#include "binary/gps_time.h"
#include "binary/little_endian.h"

namespace zelvo {

namespace {

// Payload offset k is frame position k + 2.
constexpr std::size_t kPayloadStart = 2;

std::span<const std::uint8_t> bytes_of(const BinaryFrame& frame) { return frame.data; }

std::size_t at(std::size_t payload_offset) { return kPayloadStart + payload_offset; }

// Position message 0x88, payload offsets.
constexpr std::size_t kPvtLatitude = 0;      // double, radians
constexpr std::size_t kPvtLongitude = 8;     // double, radians
constexpr std::size_t kPvtHeight = 16;       // double, metres
constexpr std::size_t kPvtRms = 24;          // single, metres
constexpr std::size_t kPvtTimeOfWeek = 28;   // 80-bit extended, milliseconds
constexpr std::size_t kPvtWeek = 38;         // signed 16 bits
constexpr std::size_t kPvtNorthSpeed = 40;   // double, m/s
constexpr std::size_t kPvtEastSpeed = 48;    // double, m/s
constexpr std::size_t kPvtFixFlags = 68;     // 1 byte

constexpr std::uint8_t kFixValid = 0x01;
constexpr std::uint8_t kFix2D = 0x02;
constexpr std::uint8_t kFixDifferential = 0x08;
constexpr std::uint8_t kFixRaim = 0x10;

// Satellite message 0x52: 7-byte entries from offset 0.
constexpr int kSatEntrySize = 7;
constexpr std::size_t kSatSystem = 0;
constexpr std::size_t kSatNumber = 1;
constexpr std::size_t kSatChannel = 2;
constexpr std::size_t kSatElevation = 3;
constexpr std::size_t kSatAzimuth = 4;  // 16 bits, degrees
constexpr std::size_t kSatSnr = 6;      // dB-Hz

constexpr std::uint8_t kSystemGps = 1;
constexpr std::uint8_t kSystemGlonass = 2;
constexpr std::uint8_t kSystemSbas = 4;

// DOP message 0x60.
constexpr std::size_t kDopHdop = 2;  // single

// Used-satellite message 0x93: one 32-bit mask per system, bit i for
// satellite i + 1 of the system.
constexpr std::size_t kUsedGpsMask = 4;
constexpr std::size_t kUsedGlonassMask = 8;
constexpr std::size_t kUsedSbasMask = 12;

constexpr double kDegreesPerRadian = 180.0;

double to_degrees(double radians) { return radians * kDegreesPerRadian / std::numbers::pi; }

const char* fix_text(std::uint8_t flags) {
    if ((flags & kFixValid) == 0) return "No Fix";
    static constexpr const char* k3D[] = {"3D", "3D,RAIM", "3D,DIFF", "3D,DIFF,RAIM"};
    static constexpr const char* k2D[] = {"2D", "2D,RAIM", "2D,DIFF", "2D,DIFF,RAIM"};
    const int variant = ((flags & kFixDifferential) != 0 ? 2 : 0) + ((flags & kFixRaim) != 0 ? 1 : 0);
    return (flags & kFix2D) != 0 ? k2D[variant] : k3D[variant];
}

// Satellite table index of a satellite of the binary message, 0 when the
// system is unknown or the number out of range.
int satellite_index(std::uint8_t system, std::uint8_t number, char& letter) {
    switch (system) {
    case kSystemGps:
        letter = 'G';
        return number >= 1 && number <= 32 ? number : 0;
    case kSystemGlonass:
        letter = 'R';
        return number >= 1 && number <= 32 ? number + 64 : 0;
    case kSystemSbas: {
        letter = 'S';
        const int index = number - 87;  // PRN 120 to 151
        return index >= 33 && index <= 64 ? index : 0;
    }
    default:
        return 0;
    }
}

}  // namespace

// Layout (payload 69 bytes, or 73 with 4 more bytes at the end):
//   0 lat rad f64 | 8 lon rad f64 | 16 height m f64 | 24 rms m f32 |
//   28 time of week ms f80 | 38 week i16 | 40 north m/s f64 | 48 east m/s f64 |
//   56 8 bytes, 64 4 bytes not read | 68 fix flags u8
void decode_pvt(const BinaryFrame& frame, waypoints& record) {
    const auto bytes = bytes_of(frame);
    record.latitude = to_degrees(le_f64(bytes, at(kPvtLatitude)));
    record.longitude = to_degrees(le_f64(bytes, at(kPvtLongitude)));
    record.has_latitude = record.has_longitude = true;
    const double height = le_f64(bytes, at(kPvtHeight));
    record.altitude = altitude_is_readable(height) ? height : 0;
    record.rms = le_f32(bytes, at(kPvtRms));

    const auto week = static_cast<std::int16_t>(le16(bytes, at(kPvtWeek)));
    convert_week_time(read_float80(bytes, at(kPvtTimeOfWeek)), week, record);

    const double north = le_f64(bytes, at(kPvtNorthSpeed));
    const double east = le_f64(bytes, at(kPvtEastSpeed));
    record.speed_kmh = std::sqrt(north * north + east * east) * 3.6;
    if (north == 0 && east == 0) {
        record.course = 0;
    } else {
        // Clockwise from north; -0.0 is not below zero and stays as it is.
        double course = std::atan2(east, north) * kDegreesPerRadian / std::numbers::pi;
        if (course < 0) course += 360;
        record.course = course_is_readable(course) ? course : 0;  // NaN velocities
    }

    const std::uint8_t flags = le8(bytes, at(kPvtFixFlags));
    record.status = (flags & kFixValid) != 0 ? 'A' : 'V';
    record.fix_text = fix_text(flags);
}

// Layout: n entries of 7 bytes {system u8, number u8, channel i8,
// elevation deg u8, azimuth deg u16, snr dB-Hz u8}, then 1 or 5 bytes not read.
void decode_satellites(const BinaryFrame& frame, waypoints& record) {
    // Remainders of truncating division: the sign follows the dividend.
    const int length = frame.length;
    int count = 0;
    if ((length - 4) % kSatEntrySize == 0) {
        count = (length - 4) / kSatEntrySize;
    } else if ((length - 8) % kSatEntrySize == 0) {
        count = (length - 8) / kSatEntrySize;
    } else {
        return;
    }
    if (count > kMaxSatelliteEntries) return;

    const auto bytes = bytes_of(frame);
    for (int i = 0; i < count; ++i) {
        const std::size_t entry = at(static_cast<std::size_t>(i) * kSatEntrySize);
        const std::uint8_t number = le8(bytes, entry + kSatNumber);
        char letter = 0;
        const int index = satellite_index(le8(bytes, entry + kSatSystem), number, letter);
        if (index == 0) continue;

        sat_entry& sat = record.sats[static_cast<std::size_t>(index)];
        sat.system = letter;
        sat.number = number;
        sat.channel = static_cast<std::int8_t>(le8(bytes, entry + kSatChannel));
        sat.elevation = le8(bytes, entry + kSatElevation);
        sat.azimuth = le16(bytes, entry + kSatAzimuth);
        sat.snr = le8(bytes, entry + kSatSnr);
        sat.present = 1;
        record.has_sats = 1;
    }
}

// Layout (payload 11 or 15 bytes): 2 HDOP f32; nothing else is read.
void decode_dop(const BinaryFrame& frame, waypoints& record) {
    record.hdop = le_f32(bytes_of(frame), at(kDopHdop));
}

// Layout: 4 GPS mask u32 | 8 GLONASS mask u32 | 12 SBAS mask u32.
void decode_used_satellites(const BinaryFrame& frame, waypoints& record) {
    // Remainders of truncating division: the sign follows the dividend, so
    // some lengths below 20 pass this rule too.
    const int length = frame.length;
    // A message shorter than its masks reads them from the frame's closing
    // DLE, ETX and the zeros after it, as receivers' logs have always read.
    const bool length_fits = (length - 20) % 5 == 0 || (length - 24) % 5 == 0;
    if (!length_fits) {
        record.sats_used = -1;
        return;
    }
    const auto bytes = bytes_of(frame);
    const std::uint32_t gps = le32(bytes, at(kUsedGpsMask));
    const std::uint32_t glonass = le32(bytes, at(kUsedGlonassMask));
    const std::uint32_t sbas = le32(bytes, at(kUsedSbasMask));
    for (std::size_t i = 0; i < 32; ++i) {
        record.sats[i + 1].used = static_cast<std::uint8_t>(gps >> i & 1u);
        record.sats[i + 65].used = static_cast<std::uint8_t>(glonass >> i & 1u);
        record.sats[i + 33].used = static_cast<std::uint8_t>(sbas >> i & 1u);
    }
    record.sats_used = std::popcount(gps) + std::popcount(glonass) + std::popcount(sbas);
}

}  // namespace zelvo
