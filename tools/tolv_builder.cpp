#include "tools/tolv_builder.h"

#include <bit>
#include <cmath>

namespace zelvo::tolv {

namespace {
constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kEtx = 0x03;
}  // namespace

PayloadWriter& PayloadWriter::u8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
}

PayloadWriter& PayloadWriter::u16(std::uint16_t v) {
    return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8));
}

PayloadWriter& PayloadWriter::u32(std::uint32_t v) {
    return u16(static_cast<std::uint16_t>(v)).u16(static_cast<std::uint16_t>(v >> 16));
}

PayloadWriter& PayloadWriter::u64(std::uint64_t v) {
    return u32(static_cast<std::uint32_t>(v)).u32(static_cast<std::uint32_t>(v >> 32));
}

PayloadWriter& PayloadWriter::f32(float v) { return u32(std::bit_cast<std::uint32_t>(v)); }

PayloadWriter& PayloadWriter::f64(double v) { return u64(std::bit_cast<std::uint64_t>(v)); }

PayloadWriter& PayloadWriter::f80(double v) {
    std::uint64_t significand = 0;
    std::uint16_t sign_exponent = std::signbit(v) ? 0x8000 : 0;
    if (std::isnan(v)) {
        sign_exponent |= 0x7FFF;
        significand = 0xC000'0000'0000'0000ull;
    } else if (std::isinf(v)) {
        sign_exponent |= 0x7FFF;
        significand = 0x8000'0000'0000'0000ull;
    } else if (v != 0) {
        int exponent = 0;
        const double mantissa = std::frexp(std::fabs(v), &exponent);  // [0.5, 1)
        significand = static_cast<std::uint64_t>(std::ldexp(mantissa, 64));
        sign_exponent |= static_cast<std::uint16_t>(exponent - 1 + 16383);
    }
    return f80_fields(significand, sign_exponent);
}

PayloadWriter& PayloadWriter::f80_fields(std::uint64_t significand, std::uint16_t sign_exponent) {
    return u64(significand).u16(sign_exponent);
}

PayloadWriter& PayloadWriter::zeros(std::size_t n) {
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
}

Bytes frame(std::uint8_t id, std::span<const std::uint8_t> payload, Stuffing stuffing) {
    Bytes out{kDle, id};
    for (std::size_t i = 0; i < payload.size(); ++i) {
        out.push_back(payload[i]);
        if (payload[i] != kDle) continue;
        const bool before_ff = i + 1 < payload.size() && payload[i + 1] == 0xFF;
        if (!(stuffing == Stuffing::FfShorthand && before_ff)) out.push_back(kDle);
    }
    out.push_back(kDle);
    out.push_back(kEtx);
    return out;
}

Bytes pvt_payload(const Pvt& pvt) {
    PayloadWriter w;
    w.f64(pvt.latitude_rad).f64(pvt.longitude_rad).f64(pvt.height_m).f32(pvt.rms_m);
    w.f80(pvt.time_of_week_ms).u16(static_cast<std::uint16_t>(pvt.week));
    w.f64(pvt.north_mps).f64(pvt.east_mps);
    for (int i = 0; i < 12; ++i) w.u8(pvt.unread_fill);
    w.u8(pvt.fix_flags);
    if (pvt.long_form) w.u32(pvt.unread_fill * 0x01010101u);
    return w.bytes();
}

Bytes satellites_payload(std::span<const SatInView> sats, bool long_tail) {
    PayloadWriter w;
    for (const SatInView& s : sats) {
        w.u8(s.system).u8(s.number).u8(static_cast<std::uint8_t>(s.channel)).u8(s.elevation);
        w.u16(s.azimuth).u8(s.snr);
    }
    w.zeros(long_tail ? 5 : 1);
    return w.bytes();
}

Bytes dop_payload(float hdop, bool long_form) {
    PayloadWriter w;
    w.zeros(2).f32(hdop).zeros(long_form ? 9 : 5);
    return w.bytes();
}

Bytes used_payload(std::uint32_t gps, std::uint32_t glonass, std::uint32_t sbas, bool long_form) {
    PayloadWriter w;
    w.zeros(4).u32(gps).u32(glonass).u32(sbas).zeros(long_form ? 5 : 1);
    return w.bytes();
}

}  // namespace zelvo::tolv
