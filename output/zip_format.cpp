#include "output/zip_format.h"

#include <cstring>

#include "output/utf8_text.h"

#include <time.h>

namespace zelvo::zip {

DosDateTime dos_date_time(std::time_t instant) {
    std::tm local{};
    if (::localtime_r(&instant, &local) == nullptr) {
        std::time_t now = std::time(nullptr);
        ::localtime_r(&now, &local);
    }
    int year = local.tm_year + 1900;
    if (year < 1980) return {0, static_cast<std::uint16_t>(0 << 9 | 1 << 5 | 1)};
    if (year > 2107)
        return {static_cast<std::uint16_t>(23 << 11 | 59 << 5 | 29),
                static_cast<std::uint16_t>(127 << 9 | 12 << 5 | 31)};
    DosDateTime out;
    int second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
    out.time = static_cast<std::uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | second / 2);
    out.date = static_cast<std::uint16_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    return out;
}

std::uint16_t name_flags(const std::string& name) {
    // A name in another encoding is left unmarked rather than declared
    // UTF-8, which a reader would then decode into something else or reject.
    for (unsigned char c : name)
        if (c > 0x7F) return is_valid_utf8(name) ? kFlagUtf8Name : 0;
    return 0;
}

std::uint64_t central_directory_size(const std::vector<Entry>& entries) {
    std::uint64_t size = 0;
    for (const Entry& e : entries) size += kCentralHeaderSize + e.name.size();
    return size;
}

namespace {

// The local header and the central header hold the same run of fields,
// from "version needed" to "extra length"; only where it starts differs.
constexpr bool same_place_in_run(std::size_t local, std::size_t central) {
    return local - kLocalVersionNeededOffset == central - kCentralVersionNeededOffset;
}
static_assert(same_place_in_run(kLocalFlagsOffset, kCentralFlagsOffset) &&
              same_place_in_run(kLocalMethodOffset, kCentralMethodOffset) &&
              same_place_in_run(kLocalTimeOffset, kCentralTimeOffset) &&
              same_place_in_run(kLocalDateOffset, kCentralDateOffset) &&
              same_place_in_run(kLocalCrcOffset, kCentralCrcOffset) &&
              same_place_in_run(kLocalCompressedSizeOffset, kCentralCompressedSizeOffset) &&
              same_place_in_run(kLocalUncompressedSizeOffset, kCentralUncompressedSizeOffset) &&
              same_place_in_run(kLocalNameLengthOffset, kCentralNameLengthOffset) &&
              same_place_in_run(kLocalExtraLengthOffset, kCentralExtraLengthOffset));

// Writes that run at `run`, where the header's "version needed" goes.
void put_shared_fields(unsigned char* run, const Entry& e, std::uint32_t crc, std::uint64_t compressed,
                       std::uint64_t uncompressed) {
    auto at = [run](std::size_t local_offset) { return run + (local_offset - kLocalVersionNeededOffset); };
    put_le16(at(kLocalVersionNeededOffset), kVersion20);
    put_le16(at(kLocalFlagsOffset), e.flags);
    put_le16(at(kLocalMethodOffset), e.method);
    put_le16(at(kLocalTimeOffset), e.modified.time);
    put_le16(at(kLocalDateOffset), e.modified.date);
    put_le32(at(kLocalCrcOffset), crc);
    put_le32(at(kLocalCompressedSizeOffset), static_cast<std::uint32_t>(compressed));
    put_le32(at(kLocalUncompressedSizeOffset), static_cast<std::uint32_t>(uncompressed));
    put_le16(at(kLocalNameLengthOffset), static_cast<std::uint16_t>(e.name.size()));
    put_le16(at(kLocalExtraLengthOffset), 0);
}

void append_central_header(std::vector<unsigned char>& out, const Entry& e) {
    std::size_t at = out.size();
    out.resize(at + kCentralHeaderSize + e.name.size(), 0);
    unsigned char* p = out.data() + at;
    put_le32(p + kCentralSignatureOffset, kCentralHeaderSignature);
    put_le16(p + kCentralVersionMadeByOffset, kVersion20);
    put_shared_fields(p + kCentralVersionNeededOffset, e, e.crc, e.compressed_size, e.uncompressed_size);
    put_le16(p + kCentralCommentLengthOffset, 0);
    put_le16(p + kCentralDiskStartOffset, 0);
    put_le16(p + kCentralInternalAttributesOffset, 0);
    put_le32(p + kCentralExternalAttributesOffset, e.external_attributes);
    put_le32(p + kCentralLocalHeaderOffsetOffset, static_cast<std::uint32_t>(e.local_header_offset));
    std::memcpy(p + kCentralHeaderSize, e.name.data(), e.name.size());
}

void append_end_record(std::vector<unsigned char>& out, std::size_t entry_count, std::uint64_t directory_size,
                       std::uint64_t directory_offset) {
    std::size_t at = out.size();
    out.resize(at + kEndRecordSize, 0);
    unsigned char* p = out.data() + at;
    const auto count = static_cast<std::uint16_t>(entry_count);
    put_le32(p + kEndSignatureOffset, kEndRecordSignature);
    put_le16(p + kEndDiskOffset, 0);
    put_le16(p + kEndCentralDiskOffset, 0);
    put_le16(p + kEndEntriesOnDiskOffset, count);
    put_le16(p + kEndEntriesTotalOffset, count);
    put_le32(p + kEndCentralSizeOffset, static_cast<std::uint32_t>(directory_size));
    put_le32(p + kEndCentralOffsetOffset, static_cast<std::uint32_t>(directory_offset));
    put_le16(p + kEndCommentLengthOffset, 0);
}

}  // namespace

std::vector<unsigned char> local_header(const Entry& e, std::uint32_t crc, std::uint64_t compressed,
                                        std::uint64_t uncompressed) {
    std::vector<unsigned char> h(kLocalHeaderSize + e.name.size(), 0);
    unsigned char* p = h.data();
    put_le32(p + kLocalSignatureOffset, kLocalHeaderSignature);
    put_shared_fields(p + kLocalVersionNeededOffset, e, crc, compressed, uncompressed);
    std::memcpy(p + kLocalHeaderSize, e.name.data(), e.name.size());
    return h;
}

std::vector<unsigned char> central_directory(const std::vector<Entry>& entries,
                                             std::uint64_t directory_offset) {
    std::vector<unsigned char> out;
    for (const Entry& e : entries) append_central_header(out, e);
    const std::uint64_t directory_size = out.size();
    append_end_record(out, entries.size(), directory_size, directory_offset);
    return out;
}

}  // namespace zelvo::zip
