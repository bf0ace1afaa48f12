// A small INI engine: sections and keys matched without regard to case,
// entries and sections it does not know kept as they are when saving.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvo {

class IniFile {
public:
    // Reads the file. Returns 0, or the errno of the failure when it does
    // not exist or cannot be read (the content is then empty).
    int load(const std::string& path);
    // Takes the lines of an INI text, as load does with a file's bytes.
    void parse(std::string_view text);

    // Value of a key, at most 2047 characters; nullopt when missing.
    std::optional<std::string> read_text(const std::string& section, const std::string& key) const;
    // Decimal, or hexadecimal after "0x"/"0X"; nullopt when missing or not
    // a valid 32-bit integer. Eight hexadecimal digits fill all 32 bits, so
    // "0xFFFFFFFF" is -1 and a sign before them negates modulo 2^32.
    std::optional<int> read_int(const std::string& section, const std::string& key) const;

    // Sets a key, adding the section or the entry when missing; an existing
    // entry keeps its place, a new one goes to the end of its section.
    void write_text(const std::string& section, const std::string& key, const std::string& value);

    // Writes the whole file (through a temporary file renamed over it).
    // Throws std::runtime_error("Unable to write to <path>") on failure.
    void save(const std::string& path) const;

    static std::optional<int> parse_int(const std::string& text);

private:
    std::optional<std::size_t> find_key(const std::string& section, const std::string& key) const;
    std::vector<std::string> lines_;
};

}  // namespace zelvo
