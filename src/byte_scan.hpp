// Finding the next byte of a small fixed set in a run of text: the loops that
// copy plain text in bulk (the inline scanner, the escapers) spend their time here.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

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

namespace detail {
// The first byte in [p, end) where `match` (sixteen bytes at a time, a bit per
// byte) or `stops` (one byte) says so, or end. Sixteen bytes are tested at a
// time where SSE2 is available (every x86-64 machine), eight in a text shorter
// than sixteen; the last few bytes of a short text one at a time.
template <class Match, class Stops>
inline const char* find_first(const char* p, const char* end, [[maybe_unused]] Match match, Stops stops) {
#if defined(__SSE2__)
    const auto hits = [&](const char* at) { return match(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))); };
    const auto hits8 = [&](const char* at) {
        return match(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at))) & 0xFFu;
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
    if (end - p >= 8) {
        if (const unsigned bits = hits8(p)) return p + __builtin_ctz(bits);
        p += 8;
        if (p == end) return end;
        const unsigned bits = hits8(end - 8) >> (8 - (end - p));
        return bits ? p + __builtin_ctz(bits) : end;
    }
#endif
    while (p != end && !stops(static_cast<unsigned char>(*p))) ++p;
    return p;
}

#if defined(__SSE2__)
template <char... Bytes>
inline unsigned equal_bits(__m128i v) {
    __m128i hit = _mm_setzero_si128();
    ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(Bytes)))), ...);
    return static_cast<unsigned>(_mm_movemask_epi8(hit));
}
#endif
}  // namespace detail

// The first byte in [p, end) equal to one of Bytes, or end; single bytes are
// tested by table when the set is not tiny.
template <char... Bytes>
inline const char* find_first_of_bytes(const char* p, const char* end) {
#if defined(__SSE2__)
    const auto match = [](__m128i v) { return detail::equal_bits<Bytes...>(v); };
#else
    const auto match = [](int) { return 0u; };
#endif
    if constexpr (sizeof...(Bytes) <= 2) {
        return detail::find_first(p, end, match, [](unsigned char b) { return ((b == static_cast<unsigned char>(Bytes)) || ...); });
    } else {
        return detail::find_first(p, end, match, [](unsigned char b) { return ByteTable<Bytes...>::in[b]; });
    }
}

// The first occurrence of `word` (two bytes or more) in [p, end), or end.
// Sixteen places at a time are tested for the word's first two bytes: a pair
// such as "ww" is rare in text where its first letter alone is common (a
// search for the "w" of "www." stops at nearly every English word).
inline const char* find_word(const char* p, const char* end, std::string_view word) {
    const std::size_t n = word.size();
    if (n < 2 || static_cast<std::size_t>(end - p) < n) return end;
    const auto at = [&](const char* q) { return std::memcmp(q, word.data(), n) == 0; };
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(word[0]);
    const __m128i second = _mm_set1_epi8(word[1]);
    // Both loads stay in the text while sixteen pair starts and a byte follow.
    while (end - p >= 17) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        unsigned pairs = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second))));
        while (pairs) {
            const char* q = p + __builtin_ctz(pairs);
            if (static_cast<std::size_t>(end - q) >= n && at(q)) return q;
            pairs &= pairs - 1;
        }
        p += 16;
    }
#endif
    for (; static_cast<std::size_t>(end - p) >= n; ++p)
        if (*p == word[0] && at(p)) return p;
    return end;
}

// The first byte in [p, end) outside [Lo, Hi] (printable ASCII bounds, so that
// every byte of a multibyte character is outside) or equal to one of Bytes.
template <char Lo, char Hi, char... Bytes>
inline const char* find_first_outside(const char* p, const char* end) {
    static_assert(Lo > 0 && Hi < 127 && Lo <= Hi);
#if defined(__SSE2__)
    const auto match = [](__m128i v) {
        // Signed comparisons: bytes from 0x80 up are negative, below Lo.
        const __m128i inside =
            _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(Lo - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8(Hi + 1)));
        return (static_cast<unsigned>(_mm_movemask_epi8(inside)) ^ 0xFFFFu) | detail::equal_bits<Bytes...>(v);
    };
#else
    const auto match = [](int) { return 0u; };
#endif
    return detail::find_first(p, end, match, [](unsigned char b) {
        return b < Lo || b > Hi || ((b == static_cast<unsigned char>(Bytes)) || ...);
    });
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
