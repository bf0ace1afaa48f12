#include "output/kml_stream.h"

#include <algorithm>
#include <cstring>

#include "output/number_format.h"

namespace zelvo {

KmlStream::KmlStream(ByteSink& sink, std::size_t buffer_size)
    : sink_(sink), size_(buffer_size < 1024 ? 1024 : buffer_size) {}

// The owner flushes explicitly so that a write error surfaces as an
// exception; a destructor must not throw, so what is left here is dropped.
KmlStream::~KmlStream() = default;

void KmlStream::flush() {
    if (used_ == 0) return;
    std::size_t n = used_;
    used_ = 0;
    sink_.write(buffer_.get(), n);
    flushed_ += n;
}

// The sink sees the same pieces whatever memory the buffer has so far: the
// text is handed on only when it would pass the buffer's size.
void KmlStream::make_room(std::size_t n) {
    if (size_ - used_ < n) {
        flush();
        size_ = std::max(size_, n);
    }
    if (capacity_ - used_ >= n) return;
    constexpr std::size_t kFirstCapacity = 4096;
    const std::size_t capacity = std::min(size_, std::max({capacity_ * 2, kFirstCapacity, used_ + n}));
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);  // not cleared: only what is written is read
    if (used_ > 0) std::memcpy(grown.get(), buffer_.get(), used_);
    buffer_ = std::move(grown);
    capacity_ = capacity;
}

KmlStream& KmlStream::put(std::string_view literal) {
    // Worst case every byte is a line feed that becomes two.
    reserve(literal.size() * 2);
    char* out = buffer_.get() + used_;
    const char* p = literal.data();
    const char* end = p + literal.size();
    while (p < end) {
        const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        const char* stop = lf ? static_cast<const char*>(lf) : end;
        std::memcpy(out, p, static_cast<std::size_t>(stop - p));
        out += stop - p;
        if (!lf) break;
        *out++ = '\r';
        *out++ = '\n';
        p = stop + 1;
    }
    used_ = static_cast<std::size_t>(out - buffer_.get());
    return *this;
}

KmlStream& KmlStream::put_char(char c) {
    reserve(2);
    if (c == '\n') buffer_[used_++] = '\r';
    buffer_[used_++] = c;
    return *this;
}

KmlStream& KmlStream::put_raw(const char* data, std::size_t size) {
    if (size == 0) return *this;
    if (size > size_ - used_) flush();
    if (size > size_) {
        sink_.write(data, size);
        flushed_ += size;
        return *this;
    }
    reserve(size);
    std::memcpy(buffer_.get() + used_, data, size);
    used_ += size;
    return *this;
}

KmlStream& KmlStream::put_int(std::int64_t v) {
    reserve(24);
    used_ += format_int(v, buffer_.get() + used_);
    return *this;
}

KmlStream& KmlStream::put_fixed(double v, int decimals) {
    reserve(kMaxFixedText);
    used_ += format_fixed(v, decimals, buffer_.get() + used_);
    return *this;
}

static std::string_view up_to_nul(std::string_view text) {
    std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

KmlStream& KmlStream::put_element_text(std::string_view text) {
    if (text.empty()) return put("(null)");
    put_safe(up_to_nul(text), false);
    return *this;
}

KmlStream& KmlStream::put_cdata_text(std::string_view text) {
    if (text.empty()) return put("(null)");
    put_safe(up_to_nul(text), true);
    return *this;
}

KmlStream& KmlStream::put_element_text_raw(std::string_view text) {
    put_safe(up_to_nul(text), false);
    return *this;
}

// Bytes outside printable ASCII and tab become '?'; in element content '&'
// and '<' become entities and "]]>" is broken as "]]&gt;"; inside CDATA a
// "]]>" closes the section and opens a new one around the '>'.
void KmlStream::put_safe(std::string_view text, bool cdata) {
    static constexpr std::string_view kCdataBreak = "]]]]><![CDATA[>";
    reserve(text.size() * kCdataBreak.size());
    char* out = buffer_.get() + used_;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool closes_cdata = c == ']' && text.substr(i, 3) == "]]>";
        if (closes_cdata) {
            std::string_view repl = cdata ? kCdataBreak : std::string_view("]]&gt;");
            std::memcpy(out, repl.data(), repl.size());
            out += repl.size();
            i += 2;
        } else if (c != '\t' && (c < 0x20 || c > 0x7E)) {
            *out++ = '?';
        } else if (!cdata && c == '&') {
            std::memcpy(out, "&amp;", 5);
            out += 5;
        } else if (!cdata && c == '<') {
            std::memcpy(out, "&lt;", 4);
            out += 4;
        } else {
            *out++ = static_cast<char>(c);
        }
    }
    used_ = static_cast<std::size_t>(out - buffer_.get());
}

}  // namespace zelvo
