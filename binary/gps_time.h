// GPS week and time of week to the UTC time and date texts of an epoch.
#pragma once

#include <cstdint>
#include <span>

#include "record/waypoints.h"

namespace zelvo {

// An x87 80-bit extended float as its fields: the 64-bit significand with
// its explicit integer bit, then the sign (bit 15) and the exponent biased
// by 16383 (bits 0 to 14).
struct Float80 {
    std::uint64_t significand = 0;
    std::uint16_t sign_exponent = 0;
};

// Reads the 10 bytes at pos (bounds-checked, little-endian).
Float80 read_float80(std::span<const std::uint8_t> bytes, std::size_t pos);

// The value truncated toward zero to a signed 32-bit integer, computed
// exactly from the fields. Out of range, infinity and NaN give INT_MIN, as
// the x86 conversion does.
std::int32_t truncate_to_int32(Float80 value);

// Fills record.time ("hh:mm:ss.mmm"), record.date ("yyyy-mm-dd") and
// record.ms_of_day; nothing else of the record changes. No leap seconds are
// applied; weeks 0-1022 are taken as 1024 later, 1023 and above as 2048
// later, negative weeks as week 0.
void convert_week_time(Float80 time_of_week_ms, std::int16_t week, waypoints& record);

// The same with the time of week already cut to whole milliseconds.
void convert_week_time_ms(std::int32_t ms, std::int16_t week, waypoints& record);

}  // namespace zelvo
