// Builds binary log frames from the message layouts, for tests and for the
// sample log. Written apart from the decoders: it encodes what they decode.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zelvo::tolv {

using Bytes = std::vector<std::uint8_t>;

// Little-endian payload writer.
class PayloadWriter {
public:
    PayloadWriter& u8(std::uint8_t v);
    PayloadWriter& u16(std::uint16_t v);
    PayloadWriter& u32(std::uint32_t v);
    PayloadWriter& u64(std::uint64_t v);
    PayloadWriter& f32(float v);
    PayloadWriter& f64(double v);
    // x87 extended precision of a double (exact): significand, sign|exponent.
    PayloadWriter& f80(double v);
    PayloadWriter& f80_fields(std::uint64_t significand, std::uint16_t sign_exponent);
    PayloadWriter& zeros(std::size_t n);
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// How payload bytes 0x10 go on the wire.
enum class Stuffing {
    Doubled,        // every 0x10 sent as 0x10 0x10
    FfShorthand,    // 0x10 0xFF sent as the pair 0x10 0xFF, other 0x10 doubled
};

// DLE, id, stuffed payload, DLE, ETX.
Bytes frame(std::uint8_t id, std::span<const std::uint8_t> payload,
            Stuffing stuffing = Stuffing::Doubled);

// Position, velocity and time (0x88).
struct Pvt {
    double latitude_rad = 0;
    double longitude_rad = 0;
    double height_m = 0;
    float rms_m = 0;
    double time_of_week_ms = 0;
    std::int16_t week = 0;
    double north_mps = 0;
    double east_mps = 0;
    std::uint8_t fix_flags = 0;
    bool long_form = false;       // 73-byte payload instead of 69
    std::uint8_t unread_fill = 0; // the bytes the converter does not read
};
Bytes pvt_payload(const Pvt& pvt);

// One entry of the satellite message (0x52).
struct SatInView {
    std::uint8_t system = 0;  // 1 GPS, 2 GLONASS, 4 SBAS
    std::uint8_t number = 0;
    std::int8_t channel = 0;
    std::uint8_t elevation = 0;
    std::uint16_t azimuth = 0;
    std::uint8_t snr = 0;
};
// Entries, then 1 trailing byte (or 5 when long_tail).
Bytes satellites_payload(std::span<const SatInView> sats, bool long_tail = false);

// DOP (0x60): 11 bytes, or 15 in the long form; HDOP at offset 2.
Bytes dop_payload(float hdop, bool long_form = false);

// Used satellites (0x93): masks at 4, 8, 12; 17 bytes, or 21 in the long form.
Bytes used_payload(std::uint32_t gps, std::uint32_t glonass, std::uint32_t sbas,
                   bool long_form = false);

// A small log of 40 epochs with every message kind, stuffing, garbage,
// ignored ids, cut-off frames and a truncated frame at the end; it crosses
// from week 1022 into week 1023. examples/sample.tolv holds these bytes.
Bytes make_sample_log();

inline void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

}  // namespace zelvo::tolv
