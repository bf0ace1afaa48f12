// The buffered text stream every KML fragment is written through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "output/byte_sink.h"

namespace zelvo {

// A string literal whose line feeds are turned into CR LF when the program
// is compiled: "<Point>\n"_kml. The writers' fixed text costs one copy.
template <std::size_t N>
struct FixedText {
    char chars[N];
    constexpr FixedText(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i) chars[i] = s[i];
    }
};

template <std::size_t N>
struct CrLfLiteral {
    char text[2 * N] = {};
    std::size_t size = 0;
};

template <FixedText S>
constexpr auto make_crlf_literal() {
    CrLfLiteral<sizeof(S.chars)> r{};
    for (std::size_t i = 0; i + 1 < sizeof(S.chars); ++i) {
        if (S.chars[i] == '\n') r.text[r.size++] = '\r';
        r.text[r.size++] = S.chars[i];
    }
    return r;
}

template <FixedText S>
inline constexpr auto kCrLfLiteral = make_crlf_literal<S>();

template <FixedText S>
constexpr const auto& operator""_kml() {
    return kCrLfLiteral<S>;
}

// Text stream with the conventions of the KML document: every line feed is
// stored as CR LF (the document is a text-mode file on the system it was
// designed for), numbers use '.' whatever the locale, and texts from the log
// or the settings are written through the "%s" rules and made XML-safe.
class KmlStream {
public:
    explicit KmlStream(ByteSink& sink, std::size_t buffer_size = 1 << 16);
    ~KmlStream();
    KmlStream(const KmlStream&) = delete;
    KmlStream& operator=(const KmlStream&) = delete;

    // Literal text; a '\n' in it is written as CR LF.
    KmlStream& put(std::string_view literal);
    template <std::size_t N>
    KmlStream& put(const CrLfLiteral<N>& literal) {
        reserve(literal.size);
        std::memcpy(buffer_.get() + used_, literal.text, literal.size);
        used_ += literal.size;
        return *this;
    }
    KmlStream& put_char(char c);
    // Bytes as they are (already in the document's line-end convention).
    KmlStream& put_raw(const char* data, std::size_t size);
    KmlStream& put_raw(std::string_view text) { return put_raw(text.data(), text.size()); }
    KmlStream& put_int(std::int64_t v);                // "%d"
    KmlStream& put_fixed(double v, int decimals);      // "%.Nf" ("%f" is 6)
    // "%s" of a text inside an element: an empty text prints "(null)", a NUL
    // ends the text, and the result is made safe for element content.
    KmlStream& put_element_text(std::string_view text);
    // The same inside the CDATA description.
    KmlStream& put_cdata_text(std::string_view text);
    // Element-safe text without the "(null)" rule (the time-stamp date).
    KmlStream& put_element_text_raw(std::string_view text);

    // Hands everything buffered to the sink.
    void flush();
    std::uint64_t bytes_written() const { return flushed_ + used_; }

private:
    void reserve(std::size_t n) {
        if (capacity_ - used_ < n) make_room(n);
    }
    void make_room(std::size_t n);
    void put_safe(std::string_view text, bool cdata);

    ByteSink& sink_;
    // The text is handed to the sink when the next piece would not fit in
    // `size_` bytes. The memory behind it grows towards that size only as
    // the text needs it, uncleared: most streams of a document hold little.
    std::size_t size_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    std::uint64_t flushed_ = 0;
};

}  // namespace zelvo
