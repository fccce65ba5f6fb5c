// Raw DEFLATE (RFC 1951) decoding for package entries whose size is known
// from the archive directory.
#pragma once

#include <array>
#include <cstdint>

#include "bytes.hpp"
#include "error.hpp"

namespace velmora::core {

// One decoding table: a direct lookup of the next `fast_bits` input bits, and
// the canonical code ranges of the longer codes.
struct Huffman {
    std::array<std::uint16_t, 512> fast;     // code length + 16 * symbol, or 0
    std::array<std::uint32_t, 16> first;     // first canonical code of each length
    std::array<std::uint16_t, 288> sorted;   // symbols of the long codes, by length then value
    std::array<std::uint16_t, 16> counts;    // codes of each length
    std::array<std::uint16_t, 16> offsets;   // where each long length starts in `sorted`
    unsigned fast_bits;
    std::uint32_t mask;
};

struct FixedCodes {
    Huffman literal;
    Huffman distance;
};

// Appends the decoded bytes to `out`. `expected_size` only sizes the output
// buffer; the result is never checked against it.
Status inflate(ByteView input, std::uint64_t expected_size, Bytes& out);

// Fills `table` from per-symbol code lengths and their per-length counts.
Status build_counted(Huffman& table, std::span<const std::uint8_t> lengths,
                     std::array<std::uint16_t, 16> counts, unsigned fast_bits);

// The process-wide fixed-code tables, built once.
const FixedCodes& fixed_codes();

Error invalid(const char* message);

}  // namespace velmora::core
