#include "output/number_format.h"

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <locale.h>

namespace zelvo {
namespace {

constexpr std::uint64_t kPow10[] = {1,         10,         100,         1000,
                                    10000,     100000,     1000000,     10000000,
                                    100000000, 1000000000, 10000000000ULL};

__extension__ typedef unsigned __int128 u128;

// Decimal digits of an unsigned value, most significant first.
template <typename Unsigned>
std::size_t put_unsigned(Unsigned v, char* out) {
    char tmp[40];
    std::size_t n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
    } while (v != 0);
    for (std::size_t i = 0; i < n; ++i) out[i] = tmp[n - 1 - i];
    return n;
}

std::size_t put_u64(std::uint64_t v, char* out) { return put_unsigned(v, out); }

std::size_t put_u128(u128 v, char* out) {
    // 64-bit division is much cheaper where the value allows it.
    if (v <= UINT64_MAX) return put_u64(static_cast<std::uint64_t>(v), out);
    return put_unsigned(v, out);
}

// Values too large for the 128-bit path are rare (a crafted field such as
// "1e300"); printf in the "C" locale formats them exactly.
std::size_t format_large(double v, int decimals, char* out) {
    static locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    locale_t old = uselocale(c_locale);
    char buf[kMaxFixedText + 8];
    int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    uselocale(old);
    if (n < 0) n = 0;
    std::memcpy(out, buf, static_cast<std::size_t>(n));
    return static_cast<std::size_t>(n);
}

}  // namespace

std::size_t format_fixed(double v, int decimals, char* out) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    bool negative = (bits >> 63) != 0;
    int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    std::size_t n = 0;
    if (negative) out[n++] = '-';
    if (biased == 0x7FF) {
        std::memcpy(out + n, fraction != 0 ? "nan" : "inf", 3);
        return n + 3;
    }
    if (decimals < 0 || decimals > 9) return format_large(v, decimals, out);

    // v = mantissa * 2^exponent exactly.
    std::uint64_t mantissa = biased == 0 ? fraction : (fraction | (std::uint64_t{1} << 52));
    int exponent = (biased == 0 ? 1 : biased) - 1075;

    u128 scaled;  // round(|v| * 10^decimals), half to even
    if (exponent >= 0) {
        if (exponent > 40) return format_large(v, decimals, out);
        scaled = (static_cast<u128>(mantissa) << exponent) * kPow10[decimals];
    } else {
        u128 product = static_cast<u128>(mantissa) * kPow10[decimals];  // < 2^87
        int shift = -exponent;
        if (shift >= 100) {
            scaled = 0;  // product < 2^87 < half of 2^shift
        } else {
            u128 quotient = product >> shift;
            u128 remainder = product - (quotient << shift);
            u128 half = static_cast<u128>(1) << (shift - 1);
            if (remainder > half || (remainder == half && (quotient & 1) != 0)) ++quotient;
            scaled = quotient;
        }
    }

    std::uint64_t frac;
    if (scaled <= UINT64_MAX) {
        // The usual case: plain 64-bit division is much cheaper.
        auto small = static_cast<std::uint64_t>(scaled);
        frac = small % kPow10[decimals];
        n += put_u64(small / kPow10[decimals], out + n);
    } else {
        frac = static_cast<std::uint64_t>(scaled % kPow10[decimals]);
        n += put_u128(scaled / kPow10[decimals], out + n);
    }
    if (decimals > 0) {
        out[n++] = '.';
        for (int i = decimals - 1; i >= 0; --i) {
            out[n + static_cast<std::size_t>(i)] = static_cast<char>('0' + frac % 10);
            frac /= 10;
        }
        n += static_cast<std::size_t>(decimals);
    }
    return n;
}

std::size_t format_int(std::int64_t v, char* out) {
    std::size_t n = 0;
    std::uint64_t magnitude = static_cast<std::uint64_t>(v);
    if (v < 0) {
        out[n++] = '-';
        magnitude = ~magnitude + 1;
    }
    return n + put_u64(magnitude, out + n);
}

}  // namespace zelvo
