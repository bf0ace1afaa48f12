// Locale-free number formatting that gives exactly the bytes glibc's printf
// gives for "%d" and "%.Nf" (N from 0 to 9): the binary value rounded half
// to even, "nan"/"-nan"/"inf"/"-inf" for the special values, and a '-' on
// every negative value, negative zero and values that round to zero included.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelvo {

// Longest text format_fixed can produce: "-" 309 integer digits "." 9 decimals.
inline constexpr std::size_t kMaxFixedText = 330;

// Writes v with `decimals` digits after the point into out (no terminator)
// and returns the number of bytes written. out must hold kMaxFixedText bytes.
std::size_t format_fixed(double v, int decimals, char* out);

// Writes v in decimal (as "%d"/"%ld") into out and returns the length.
// out must hold 20 bytes.
std::size_t format_int(std::int64_t v, char* out);

}  // namespace zelvo
