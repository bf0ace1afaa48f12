// CRC-32 of the ZIP format (zlib's crc32), computed with carry-less
// multiplication where the processor has it: the archive's CRC over a day of
// KML is otherwise a tenth of the compressor's time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelvo {

// Same contract and result as zlib's crc32(crc, data, size).
std::uint32_t crc32_update(std::uint32_t crc, const unsigned char* data, std::size_t size);

// True when the carry-less multiplication path is in use on this machine.
bool crc32_uses_clmul();

}  // namespace zelvo
