// The records of a ZIP archive as the KMZ packager writes them: named
// offsets into each fixed-size record, built in a zeroed buffer and filled
// through one little-endian helper.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace zelvo::zip {

inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr std::uint32_t kEndRecordSignature = 0x06054B50;

// Local file header, followed by the name.
inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kLocalSignatureOffset = 0;
inline constexpr std::size_t kLocalVersionNeededOffset = 4;
inline constexpr std::size_t kLocalFlagsOffset = 6;
inline constexpr std::size_t kLocalMethodOffset = 8;
inline constexpr std::size_t kLocalTimeOffset = 10;
inline constexpr std::size_t kLocalDateOffset = 12;
inline constexpr std::size_t kLocalCrcOffset = 14;
inline constexpr std::size_t kLocalCompressedSizeOffset = 18;
inline constexpr std::size_t kLocalUncompressedSizeOffset = 22;
inline constexpr std::size_t kLocalNameLengthOffset = 26;
inline constexpr std::size_t kLocalExtraLengthOffset = 28;

// Central directory file header, followed by the name.
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kCentralSignatureOffset = 0;
inline constexpr std::size_t kCentralVersionMadeByOffset = 4;
inline constexpr std::size_t kCentralVersionNeededOffset = 6;
inline constexpr std::size_t kCentralFlagsOffset = 8;
inline constexpr std::size_t kCentralMethodOffset = 10;
inline constexpr std::size_t kCentralTimeOffset = 12;
inline constexpr std::size_t kCentralDateOffset = 14;
inline constexpr std::size_t kCentralCrcOffset = 16;
inline constexpr std::size_t kCentralCompressedSizeOffset = 20;
inline constexpr std::size_t kCentralUncompressedSizeOffset = 24;
inline constexpr std::size_t kCentralNameLengthOffset = 28;
inline constexpr std::size_t kCentralExtraLengthOffset = 30;
inline constexpr std::size_t kCentralCommentLengthOffset = 32;
inline constexpr std::size_t kCentralDiskStartOffset = 34;
inline constexpr std::size_t kCentralInternalAttributesOffset = 36;
inline constexpr std::size_t kCentralExternalAttributesOffset = 38;
inline constexpr std::size_t kCentralLocalHeaderOffsetOffset = 42;

// End of central directory record; no archive comment follows.
inline constexpr std::size_t kEndRecordSize = 22;
inline constexpr std::size_t kEndSignatureOffset = 0;
inline constexpr std::size_t kEndDiskOffset = 4;
inline constexpr std::size_t kEndCentralDiskOffset = 6;
inline constexpr std::size_t kEndEntriesOnDiskOffset = 8;
inline constexpr std::size_t kEndEntriesTotalOffset = 10;
inline constexpr std::size_t kEndCentralSizeOffset = 12;
inline constexpr std::size_t kEndCentralOffsetOffset = 16;
inline constexpr std::size_t kEndCommentLengthOffset = 20;

// Version 2.0: deflate. The high byte 0 of "version made by" says the
// external attributes are MS-DOS attributes.
inline constexpr std::uint16_t kVersion20 = 20;
inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflate = 8;
inline constexpr std::uint16_t kFlagUtf8Name = 1u << 11;
inline constexpr std::uint32_t kDosAttributeArchive = 0x20;

// Without Zip64 records no size or offset may reach 0xFFFFFFFF (that value
// itself means "see the Zip64 record"), and no count may reach 0xFFFF.
inline constexpr std::uint64_t kZip32Limit = 0xFFFFFFFFu;
inline constexpr std::size_t kMaxEntries = 0xFFFE;

inline void put_le16(unsigned char* at, std::uint16_t v) {
    at[0] = static_cast<unsigned char>(v);
    at[1] = static_cast<unsigned char>(v >> 8);
}

inline void put_le32(unsigned char* at, std::uint32_t v) {
    put_le16(at, static_cast<std::uint16_t>(v));
    put_le16(at + 2, static_cast<std::uint16_t>(v >> 16));
}

struct DosDateTime {
    std::uint16_t time = 0;  // hour << 11 | minute << 5 | second / 2
    std::uint16_t date = 0;  // (year - 1980) << 9 | month << 5 | day
};

// The DOS time and date of an instant in local time. DOS dates run from
// 1980 to 2107; instants outside are held at the nearest end.
DosDateTime dos_date_time(std::time_t instant);

// What the archive records of one member, in its central header.
struct Entry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = kMethodDeflate;
    DosDateTime modified;
    std::uint32_t crc = 0;
    std::uint64_t compressed_size = 0;
    std::uint64_t uncompressed_size = 0;
    std::uint32_t external_attributes = kDosAttributeArchive;
    std::uint64_t local_header_offset = 0;
};

// The flags a member of this name needs: a name beyond ASCII that is
// well-formed UTF-8 is marked as UTF-8.
std::uint16_t name_flags(const std::string& name);

// The local header of the entry, with the name, carrying the CRC and sizes
// given rather than the entry's (a placeholder is written first).
std::vector<unsigned char> local_header(const Entry& e, std::uint32_t crc, std::uint64_t compressed,
                                        std::uint64_t uncompressed);

// The bytes a central directory of these entries takes.
std::uint64_t central_directory_size(const std::vector<Entry>& entries);

// The central directory of the entries followed by the end record, for a
// directory that starts at directory_offset.
std::vector<unsigned char> central_directory(const std::vector<Entry>& entries,
                                             std::uint64_t directory_offset);

}  // namespace zelvo::zip
