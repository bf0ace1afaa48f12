#include "ui/ini_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <fcntl.h>
#include <stdexcept>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output/replaced_file.h"

namespace zelvo {

namespace {

constexpr std::size_t kMaxText = 2047;

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool same(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// "[name]" gives name; anything else nullopt.
std::optional<std::string> section_of(const std::string& line) {
    std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return std::nullopt;
    return trim(t.substr(1, t.size() - 2));
}

bool is_comment(const std::string& t) { return !t.empty() && (t[0] == ';' || t[0] == '#'); }

}  // namespace

int IniFile::load(const std::string& path) {
    lines_.clear();
    // Without blocking on a FIFO; only a regular file is read, so a device
    // that never ends cannot fill the memory.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int code = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return code;
    }
    std::string text;
    char buffer[4096];
    int code = 0;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0) break;
        else if (errno != EINTR) {
            code = errno;
            break;
        }
    }
    ::close(fd);
    if (code == 0) parse(text);
    return code;
}

void IniFile::parse(std::string_view text) {
    lines_.clear();
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines_.emplace_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

std::optional<std::size_t> IniFile::find_key(const std::string& section,
                                             const std::string& key) const {
    bool inside = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (auto s = section_of(lines_[i])) {
            inside = same(*s, section);
            continue;
        }
        if (!inside) continue;
        std::string t = trim(lines_[i]);
        if (is_comment(t)) continue;
        std::size_t eq = t.find('=');
        if (eq != std::string::npos && same(trim(t.substr(0, eq)), key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::read_text(const std::string& section,
                                              const std::string& key) const {
    auto i = find_key(section, key);
    if (!i) return std::nullopt;
    const std::string& line = lines_[*i];
    std::string value = trim(line.substr(line.find('=') + 1));
    if (value.size() > kMaxText) value.resize(kMaxText);
    return value;
}

std::optional<int> IniFile::parse_int(const std::string& text) {
    std::string t = trim(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    bool hex = t.size() - i > 2 && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X');
    if (hex) i += 2;
    if (i >= t.size()) return std::nullopt;
    unsigned long long value = 0;
    for (; i < t.size(); ++i) {
        char c = t[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFULL) return std::nullopt;
    }
    if (hex) {
        // Eight hexadecimal digits fill the 32 bits, sign bit included; the
        // sign negates in unsigned arithmetic, so -0x80000000 stays INT_MIN.
        auto bits = static_cast<std::uint32_t>(value);
        return static_cast<int>(negative ? 0u - bits : bits);
    }
    if (negative ? value > 0x80000000ULL : value > 0x7FFFFFFFULL) return std::nullopt;
    long long v = negative ? -static_cast<long long>(value) : static_cast<long long>(value);
    return static_cast<int>(v);
}

std::optional<int> IniFile::read_int(const std::string& section, const std::string& key) const {
    auto text = read_text(section, key);
    if (!text) return std::nullopt;
    return parse_int(*text);
}

void IniFile::write_text(const std::string& section, const std::string& key,
                         const std::string& value) {
    if (auto i = find_key(section, key)) {
        lines_[*i] = key + "=" + value;
        return;
    }
    // Place the new entry after the last entry of the section.
    std::optional<std::size_t> insert_at;
    bool inside = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (auto s = section_of(lines_[i])) {
            inside = same(*s, section);
            if (inside) insert_at = i + 1;
            continue;
        }
        if (inside && !trim(lines_[i]).empty()) insert_at = i + 1;
    }
    if (!insert_at) {
        if (!lines_.empty() && !trim(lines_.back()).empty()) lines_.push_back("");
        lines_.push_back("[" + section + "]");
        insert_at = lines_.size();
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*insert_at), key + "=" + value);
}

void IniFile::save(const std::string& path) const {
    const std::runtime_error failure("Unable to write to " + path);
    // A read-only file stays unwritten, as it would with writing in place.
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0) throw failure;
    std::string text;
    for (const std::string& line : lines_) text += line + "\n";
    try {
        // Written as every other file the program writes: under a name of
        // its own beside the target (never one a link could have been
        // placed at), renamed over it only when complete.
        ReplacedFile file;
        file.open(path);
        if (file.working_path() != file.target_path()) {
            // A replaced file keeps who may read it; a new one is the user's alone.
            struct stat old {};
            const bool existed = ::stat(file.target_path().c_str(), &old) == 0 && S_ISREG(old.st_mode);
            ::fchmod(file.fd(), existed ? old.st_mode & 07777 : 0600);
        }
        file.write(text.data(), text.size());
        file.commit();
    } catch (const std::exception&) {
        throw failure;
    }
}

}  // namespace zelvo
