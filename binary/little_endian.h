// Bounds-checked little-endian readers over a byte span. A byte at or past
// the end of the span reads as 0, so a field that runs off the end of its
// buffer never reads memory outside it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zelvo {

inline std::uint8_t le8(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return pos < bytes.size() ? bytes[pos] : 0;
}

inline std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return static_cast<std::uint16_t>(le8(bytes, pos) | le8(bytes, pos + 1) << 8);
}

inline std::uint32_t le32(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return static_cast<std::uint32_t>(le16(bytes, pos)) |
           static_cast<std::uint32_t>(le16(bytes, pos + 2)) << 16;
}

inline std::uint64_t le64(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return static_cast<std::uint64_t>(le32(bytes, pos)) |
           static_cast<std::uint64_t>(le32(bytes, pos + 4)) << 32;
}

// IEEE 754 single and double precision.
inline float le_f32(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return std::bit_cast<float>(le32(bytes, pos));
}

inline double le_f64(std::span<const std::uint8_t> bytes, std::size_t pos) {
    return std::bit_cast<double>(le64(bytes, pos));
}

}  // namespace zelvo
