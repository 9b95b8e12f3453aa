// Finding the next byte of a small fixed set in a run of text: the loops that
// copy plain text in bulk (the inline scanner, the escapers) spend their time here.
#pragma once

#include <array>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quenlor {

// Membership of the bytes of a set, for the bytes tested one at a time.
template <char... Bytes>
struct ByteTable {
    static constexpr std::array<bool, 256> make() {
        std::array<bool, 256> t{};
        ((t[static_cast<unsigned char>(Bytes)] = true), ...);
        return t;
    }
    static constexpr std::array<bool, 256> in = make();
};

// The first byte in [p, end) equal to one of Bytes, or end. Sixteen bytes are
// tested at a time where SSE2 is available (every x86-64 machine); the rest,
// most of a short text, one at a time, by table when the set is not tiny.
template <char... Bytes>
inline const char* find_first_of_bytes(const char* p, const char* end) {
#if defined(__SSE2__)
    const auto hits = [](const char* at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        __m128i hit = _mm_setzero_si128();
        ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(Bytes)))), ...);
        return static_cast<unsigned>(_mm_movemask_epi8(hit));
    };
    if (end - p >= 16) {
        while (end - p >= 16) {
            if (const unsigned bits = hits(p)) return p + __builtin_ctz(bits);
            p += 16;
        }
        // The tail: the last sixteen bytes again, without those already tested.
        if (p == end) return end;
        const unsigned bits = hits(end - 16) >> (16 - (end - p));
        return bits ? p + __builtin_ctz(bits) : end;
    }
#endif
    if constexpr (sizeof...(Bytes) <= 2) {
        while (p != end && ((*p != Bytes) && ...)) ++p;
    } else {
        while (p != end && !ByteTable<Bytes...>::in[static_cast<unsigned char>(*p)]) ++p;
    }
    return p;
}

// The first byte in [p, end) outside [Lo, Hi] (printable ASCII bounds, so that
// every byte of a multibyte character is outside) or equal to one of Bytes.
template <char Lo, char Hi, char... Bytes>
inline const char* find_first_outside(const char* p, const char* end) {
    static_assert(Lo > 0 && Hi < 127 && Lo <= Hi);
    const auto stops = [](unsigned char b) { return b < Lo || b > Hi || ((b == static_cast<unsigned char>(Bytes)) || ...); };
#if defined(__SSE2__)
    const auto hits = [](const char* at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        // Signed comparisons: bytes from 0x80 up are negative, below Lo.
        const __m128i inside = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(Lo - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8(Hi + 1)));
        __m128i hit = _mm_andnot_si128(inside, _mm_set1_epi8(-1));
        ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(Bytes)))), ...);
        return static_cast<unsigned>(_mm_movemask_epi8(hit));
    };
    if (end - p >= 16) {
        while (end - p >= 16) {
            if (const unsigned bits = hits(p)) return p + __builtin_ctz(bits);
            p += 16;
        }
        if (p == end) return end;
        const unsigned bits = hits(end - 16) >> (16 - (end - p));
        return bits ? p + __builtin_ctz(bits) : end;
    }
#endif
    while (p != end && !stops(static_cast<unsigned char>(*p))) ++p;
    return p;
}

// Whether the set given to find_first_of_bytes is exactly the set in `list`
// (for checking a byte table and a scan against each other at compile time).
template <char... Bytes>
constexpr bool same_byte_set(const char* list, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (((list[i] != Bytes) && ...)) return false;
    std::size_t found = 0;
    ((found += [&] {
         for (std::size_t i = 0; i < n; ++i)
             if (list[i] == Bytes) return 1;
         return 0;
     }()),
     ...);
    return found == sizeof...(Bytes);
}

}  // namespace quenlor
