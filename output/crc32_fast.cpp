#include "output/crc32_fast.h"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace zelvo {

#if defined(__x86_64__)
namespace {

// Folds 64-byte blocks four lanes at a time, then 16-byte blocks, and
// reduces to 32 bits (Barrett), all in the bit-reflected domain of the
// polynomial 0xEDB88320. `crc` is the inverted running value; size is a
// multiple of 16 and at least 64.
#define ZELVO_CLMUL [[gnu::target("pclmul,sse4.1")]]

ZELVO_CLMUL inline __m128i load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// acc * x^128 folded onto the next 16 bytes (k: the folding constants).
ZELVO_CLMUL inline __m128i fold16(__m128i acc, __m128i next, __m128i k) {
    __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
    __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, next), lo);
}

ZELVO_CLMUL std::uint32_t fold(const unsigned char* buf, std::size_t len, std::uint32_t crc) {
    alignas(16) static const std::uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static const std::uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static const std::uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
    alignas(16) static const std::uint64_t poly[] = {0x01db710641, 0x01f7011641};

    __m128i x1 = load(buf), x2 = load(buf + 16), x3 = load(buf + 32), x4 = load(buf + 48);
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    buf += 64;
    len -= 64;
    while (len >= 64) {
        __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x00), x6 = _mm_clmulepi64_si128(x2, x0, 0x00);
        __m128i x7 = _mm_clmulepi64_si128(x3, x0, 0x00), x8 = _mm_clmulepi64_si128(x4, x0, 0x00);
        x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
        x2 = _mm_clmulepi64_si128(x2, x0, 0x11);
        x3 = _mm_clmulepi64_si128(x3, x0, 0x11);
        x4 = _mm_clmulepi64_si128(x4, x0, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), load(buf));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), load(buf + 16));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), load(buf + 32));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), load(buf + 48));
        buf += 64;
        len -= 64;
    }
    // Four lanes into one.
    x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = fold16(x1, x2, x0);
    x1 = fold16(x1, x3, x0);
    x1 = fold16(x1, x4, x0);
    while (len >= 16) {
        x1 = fold16(x1, load(buf), x0);
        buf += 16;
        len -= 16;
    }
    // 128 bits to 64.
    __m128i mask = _mm_setr_epi32(~0, 0, ~0, 0);
    x2 = _mm_clmulepi64_si128(x1, x0, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, mask);
    x1 = _mm_clmulepi64_si128(x1, x0, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    // Barrett reduction to 32 bits.
    x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    x2 = _mm_and_si128(x1, mask);
    x2 = _mm_clmulepi64_si128(x2, x0, 0x10);
    x2 = _mm_and_si128(x2, mask);
    x2 = _mm_clmulepi64_si128(x2, x0, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

bool detect_clmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

}  // namespace

bool crc32_uses_clmul() {
    static const bool yes = detect_clmul();
    return yes;
}

std::uint32_t crc32_update(std::uint32_t crc, const unsigned char* data, std::size_t size) {
    if (size >= 64 && crc32_uses_clmul()) {
        std::size_t whole = size & ~std::size_t{15};
        crc = ~fold(data, whole, ~crc);
        data += whole;
        size -= whole;
    }
    if (size == 0) return crc;
    return static_cast<std::uint32_t>(::crc32(crc, data, static_cast<uInt>(size)));
}

#else

bool crc32_uses_clmul() { return false; }

std::uint32_t crc32_update(std::uint32_t crc, const unsigned char* data, std::size_t size) {
    return static_cast<std::uint32_t>(::crc32(crc, data, static_cast<uInt>(size)));
}

#endif

}  // namespace zelvo
