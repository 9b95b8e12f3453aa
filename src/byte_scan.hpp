// Finding the next byte of a small fixed set in a run of text: the loops that
// copy plain text in bulk (the inline scanner, the escapers) spend their time here.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quenlor {

// The first byte in [p, end) equal to one of Bytes, or end. Sixteen bytes are
// tested at a time where SSE2 is available (every x86-64 machine).
template <char... Bytes>
inline const char* find_first_of_bytes(const char* p, const char* end) {
#if defined(__SSE2__)
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hit = _mm_setzero_si128();
        ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(Bytes)))), ...);
        if (const int bits = _mm_movemask_epi8(hit)) return p + __builtin_ctz(static_cast<unsigned>(bits));
        p += 16;
    }
#endif
    while (p != end && ((*p != Bytes) && ...)) ++p;
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
