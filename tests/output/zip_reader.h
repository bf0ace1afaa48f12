// An independent reader for the archives under test: it parses the end
// record, the central directory and every local header itself, checks that
// they agree and leave no gap, and inflates each member with zlib.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <zlib.h>

namespace zelvo::test {

struct ZipMember {
    std::string name;
    std::uint16_t version_made_by = 0;
    std::uint16_t version_needed = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t time = 0;
    std::uint16_t date = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressed_size = 0;
    std::uint32_t uncompressed_size = 0;
    std::uint32_t external_attributes = 0;
    std::uint32_t offset = 0;
    std::string compressed;  // the stored data as it is in the archive
    std::string data;        // inflated
};

inline std::uint32_t le(const std::string& b, std::size_t at, int bytes) {
    if (at + bytes > b.size()) throw std::runtime_error("read past the end at " + std::to_string(at));
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

inline std::string inflate_raw(const std::string& in, std::size_t expected_size) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
    std::string out(expected_size + 1, '\0');  // one spare byte catches overlong data
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    std::size_t produced = out.size() - z.avail_out;
    std::size_t left = z.avail_in;
    inflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("inflate did not reach the end: " + std::to_string(rc));
    if (left != 0) throw std::runtime_error("bytes after the end of the deflate stream");
    out.resize(produced);
    return out;
}

inline std::vector<ZipMember> read_zip(const std::string& b) {
    if (b.size() < 22) throw std::runtime_error("shorter than an end record");
    const std::size_t end = b.size() - 22;  // no archive comment
    if (le(b, end, 4) != 0x06054B50) throw std::runtime_error("no end record at the end");
    if (le(b, end + 4, 2) != 0 || le(b, end + 6, 2) != 0 || le(b, end + 20, 2) != 0)
        throw std::runtime_error("disk numbers or comment in the end record");
    const std::uint32_t count = le(b, end + 8, 2);
    if (le(b, end + 10, 2) != count) throw std::runtime_error("entry counts differ");
    const std::uint32_t cd_size = le(b, end + 12, 4);
    const std::uint32_t cd_offset = le(b, end + 16, 4);
    if (std::uint64_t{cd_offset} + cd_size != end) throw std::runtime_error("directory does not end at the end record");

    std::vector<ZipMember> members;
    std::size_t at = cd_offset;
    std::uint32_t expected_offset = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (le(b, at, 4) != 0x02014B50) throw std::runtime_error("bad central header signature");
        ZipMember m;
        m.version_made_by = static_cast<std::uint16_t>(le(b, at + 4, 2));
        m.version_needed = static_cast<std::uint16_t>(le(b, at + 6, 2));
        m.flags = static_cast<std::uint16_t>(le(b, at + 8, 2));
        m.method = static_cast<std::uint16_t>(le(b, at + 10, 2));
        m.time = static_cast<std::uint16_t>(le(b, at + 12, 2));
        m.date = static_cast<std::uint16_t>(le(b, at + 14, 2));
        m.crc = le(b, at + 16, 4);
        m.compressed_size = le(b, at + 20, 4);
        m.uncompressed_size = le(b, at + 24, 4);
        std::uint32_t name_length = le(b, at + 28, 2);
        if (le(b, at + 30, 2) != 0 || le(b, at + 32, 2) != 0 || le(b, at + 34, 2) != 0 || le(b, at + 36, 2) != 0)
            throw std::runtime_error("extra field, comment, disk or internal attributes set");
        m.external_attributes = le(b, at + 38, 4);
        m.offset = le(b, at + 42, 4);
        m.name = b.substr(at + 46, name_length);
        at += 46 + name_length;

        // Members lie back to back in directory order.
        if (m.offset != expected_offset) throw std::runtime_error("gap or overlap before " + m.name);
        std::size_t lh = m.offset;
        if (le(b, lh, 4) != 0x04034B50) throw std::runtime_error("bad local header signature");
        if (le(b, lh + 4, 2) != m.version_needed || le(b, lh + 6, 2) != m.flags ||
            le(b, lh + 8, 2) != m.method || le(b, lh + 10, 2) != m.time || le(b, lh + 12, 2) != m.date ||
            le(b, lh + 14, 4) != m.crc || le(b, lh + 18, 4) != m.compressed_size ||
            le(b, lh + 22, 4) != m.uncompressed_size || le(b, lh + 26, 2) != name_length ||
            le(b, lh + 28, 2) != 0 || b.compare(lh + 30, name_length, m.name) != 0)
            throw std::runtime_error("local header disagrees with the directory for " + m.name);
        std::size_t data_at = lh + 30 + name_length;
        if (data_at + m.compressed_size > cd_offset) throw std::runtime_error("data runs into the directory");
        m.compressed = b.substr(data_at, m.compressed_size);
        expected_offset = static_cast<std::uint32_t>(data_at + m.compressed_size);

        if (m.method == 8) m.data = inflate_raw(m.compressed, m.uncompressed_size);
        else if (m.method == 0) m.data = m.compressed;
        else throw std::runtime_error("unknown method");
        if (m.data.size() != m.uncompressed_size) throw std::runtime_error("size differs for " + m.name);
        std::uint32_t crc = static_cast<std::uint32_t>(
            ::crc32(0L, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size())));
        if (crc != m.crc) throw std::runtime_error("CRC differs for " + m.name);
        members.push_back(std::move(m));
    }
    if (expected_offset != cd_offset) throw std::runtime_error("bytes between the members and the directory");
    return members;
}

// Text that compresses, but not to nothing: lines of numbers from a fixed
// generator.
inline std::string sample_text(std::size_t size, std::uint32_t seed = 1) {
    std::string s;
    s.reserve(size + 64);
    std::uint32_t x = seed;
    while (s.size() < size) {
        x = x * 1664525u + 1013904223u;
        s += "<coordinates>" + std::to_string(x % 100000) + "." + std::to_string((x >> 7) % 1000) +
             ",52.1</coordinates>\r\n";
    }
    s.resize(size);
    return s;
}

// Bytes that do not compress.
inline std::string noise(std::size_t size, std::uint32_t seed = 7) {
    std::string s(size, '\0');
    std::uint32_t x = seed;
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

}  // namespace zelvo::test
