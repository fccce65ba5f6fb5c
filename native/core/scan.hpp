// Inline byte scans over short spans, sixteen bytes at a time: the tag and
// name scans of the XML reader, where a library call costs more than the scan.
#pragma once

#include <emmintrin.h>  // SSE2, part of every x86-64 processor

#include <cstring>
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

// What a start tag's scan needs to know of sixteen bytes, as bit masks:
// where a name may end (white space, '/', '>'), the '>' and quotes, and the
// positions that may start "xmlns" (an 'x' with an 's' four bytes later).
struct TagBlock {
    unsigned separator;
    unsigned greater;
    unsigned double_quote;
    unsigned single_quote;
    unsigned xmlns_candidate;
};

// Needs twenty readable bytes at `p`. The separator mask, wanted only until
// the name has ended, is left 0 unless asked for.
inline TagBlock tag_block(const char* p, bool with_separator) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i fifth = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
    const __m128i greater = bytes_equal(bytes, '>');
    const auto mask = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
    unsigned separator = 0;
    if (with_separator) {
        const __m128i space = _mm_or_si128(_mm_or_si128(bytes_equal(bytes, ' '), bytes_equal(bytes, '\t')),
                                           _mm_or_si128(bytes_equal(bytes, '\r'), bytes_equal(bytes, '\n')));
        separator = mask(_mm_or_si128(space, _mm_or_si128(bytes_equal(bytes, '/'), greater)));
    }
    return {separator, mask(greater), mask(bytes_equal(bytes, '"')), mask(bytes_equal(bytes, '\'')),
            mask(_mm_and_si128(bytes_equal(bytes, 'x'), bytes_equal(fifth, 's')))};
}

// The same for the last `count` (under twenty) bytes of the input.
inline TagBlock tag_block_tail(const char* p, std::size_t count) {
    TagBlock block{0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < count && i < 16; ++i) {
        const unsigned bit = 1u << i;
        const char c = p[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>') block.separator |= bit;
        if (c == '>') block.greater |= bit;
        if (c == '"') block.double_quote |= bit;
        if (c == '\'') block.single_quote |= bit;
        if (c == 'x' && i + 4 < count && p[i + 4] == 's') block.xmlns_candidate |= bit;
    }
    return block;
}

// Each bit becomes the XOR of itself and all lower bits: with quote positions
// as input, the bytes from an opening quote up to (not including) its
// closing quote are set.
inline unsigned prefix_xor16(unsigned bits) {
    bits ^= bits << 1;
    bits ^= bits << 2;
    bits ^= bits << 4;
    bits ^= bits << 8;
    return bits & 0xFFFF;
}

// Whether `text` contains "xmlns": candidates are an 'x' with an 's' four
// bytes later, sixteen positions at a time; only those are compared.
inline bool contains_xmlns(std::string_view text) {
    const char* const p = text.data();
    const std::size_t n = text.size();
    if (n < 5) return false;
    const std::size_t last = n - 5;  // the last position "xmlns" can start at
    std::size_t i = 0;
    for (; i + 20 <= n; i += 16) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i fifth = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 4));
        for (unsigned mask = static_cast<unsigned>(
                 _mm_movemask_epi8(_mm_and_si128(bytes_equal(first, 'x'), bytes_equal(fifth, 's'))));
             mask != 0; mask &= mask - 1) {
            if (std::memcmp(p + i + __builtin_ctz(mask), "xmlns", 5) == 0) return true;
        }
    }
    for (; i <= last; ++i)
        if (p[i] == 'x' && std::memcmp(p + i, "xmlns", 5) == 0) return true;
    return false;
}

// Equality of two short byte strings without a library call.
inline bool same_bytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

}  // namespace velmora::core
