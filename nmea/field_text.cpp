#include "nmea/field_text.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <locale.h>

namespace zelvo {

namespace {

bool is_c_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

TodayHook g_today_hook = nullptr;

}  // namespace

long c_atol_general(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned long magnitude = 0;
    bool saturated = false;
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (saturated || magnitude > (limit - digit) / 10) {
            saturated = true;
            continue;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (saturated) return negative ? LONG_MIN : LONG_MAX;
    return negative ? static_cast<long>(0 - magnitude) : static_cast<long>(magnitude);
}

// The common field "123.4567": at most 15 significant digits and no
// exponent. Both the digits and the power of ten are exact doubles, so one
// correctly rounded division gives exactly what strtod gives.
static bool fast_decimal(std::string_view text, double& out) {
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::uint64_t digits = 0;
    int count = 0;
    int fraction = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++count > 15) return false;
            digits = digits * 10 + static_cast<unsigned>(c - '0');
            if (point) ++fraction;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (count == 0) return false;
    // What follows must end the number for strtod too; "0x" never gets here
    // with a point-free digit run of its own.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'x' || text[i] == 'X')) return false;
    double v = static_cast<double>(digits) / kPow10[fraction];
    out = negative ? -v : v;
    return true;
}

double c_strtod(std::string_view text) {
    double fast;
    if (fast_decimal(text, fast)) return fast;
    static locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    char buf[kSentenceSize + 1];
    std::size_t n = text.size() < kSentenceSize ? text.size() : kSentenceSize;
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return strtod_l(buf, nullptr, c_locale);
}

std::int32_t to_int32_truncated(long double v) {
    if (!(v > -2147483649.0L && v < 2147483648.0L)) return INT32_MIN;
    return static_cast<std::int32_t>(v);
}

std::size_t star_index(const SentenceBuffer& s) {
    const void* p = std::memchr(s.data(), '*', s.size());
    return p ? static_cast<std::size_t>(static_cast<const char*>(p) - s.data()) : s.size();
}

std::size_t field_end(const SentenceBuffer& s, std::size_t open, std::size_t star) {
    std::size_t i = open + 1;
    while (i < star && s[i] != ',') ++i;
    return i;
}

void set_today_hook(TodayHook hook) { g_today_hook = hook; }

std::string today_date() {
    int year = 0, month = 0, day = 0;
    if (g_today_hook) {
        g_today_hook(year, month, day);
    } else {
        std::time_t now = std::time(nullptr);
        std::tm local {};
        localtime_r(&now, &local);
        year = local.tm_year + 1900;
        month = local.tm_mon + 1;
        day = local.tm_mday;
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    return buf;
}

}  // namespace zelvo
