// Inline byte scans over short spans, sixteen bytes at a time: the tag and
// name scans of the XML reader, where a library call costs more than the scan.
#pragma once

#include <emmintrin.h>  // SSE2, part of every x86-64 processor

#include <string_view>

namespace velmora::core {

// The first byte in [p, end) for which `match` holds, or `end`. `block`
// gives, for sixteen loaded bytes, the bit mask of the matching ones.
template <class Match, class Block>
inline const char* scan(const char* p, const char* end, Match match, Block block) {
    for (; end - p >= 16; p += 16) {
        const int mask = block(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
    for (; p < end; ++p)
        if (match(*p)) return p;
    return end;
}

inline __m128i bytes_equal(__m128i bytes, char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); }

inline const char* find_byte(const char* p, const char* end, char c) {
    return scan(
        p, end, [c](char b) { return b == c; },
        [c](__m128i bytes) { return _mm_movemask_epi8(bytes_equal(bytes, c)); });
}

// XML white space, '/' or '>': where an element name in a tag ends.
inline const char* find_name_end(const char* p, const char* end) {
    return scan(
        p, end,
        [](char b) { return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == '/' || b == '>'; },
        [](__m128i bytes) {
            const __m128i space = _mm_or_si128(_mm_or_si128(bytes_equal(bytes, ' '), bytes_equal(bytes, '\t')),
                                               _mm_or_si128(bytes_equal(bytes, '\r'), bytes_equal(bytes, '\n')));
            return _mm_movemask_epi8(
                _mm_or_si128(space, _mm_or_si128(bytes_equal(bytes, '/'), bytes_equal(bytes, '>'))));
        });
}

// The bit mask of the bytes among p[0..15] that are '>' or a quote.
inline unsigned tag_stops(const char* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(bytes_equal(bytes, '>'), _mm_or_si128(bytes_equal(bytes, '"'), bytes_equal(bytes, '\'')))));
}

// Equality of two short byte strings without a library call.
inline bool same_bytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

}  // namespace velmora::core
