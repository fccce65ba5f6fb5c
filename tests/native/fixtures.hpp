// Test fixtures built in the tests: zip archives, raw DEFLATE streams
// written bit by bit, and zlib as the reference codec.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.hpp"

namespace velmora::testing {

using core::Bytes;

Bytes bytes_of(std::string_view text);
std::string text_of(core::ByteView bytes);

// zlib's raw DEFLATE (window bits -15).
Bytes zlib_deflate(core::ByteView data, int level = 6, int strategy = 0);
// zlib's raw inflate; false when zlib refuses the stream.
bool zlib_inflate(core::ByteView data, std::uint64_t expected, Bytes& out);

// Little-endian field appenders.
void put16(Bytes& out, std::uint16_t value);
void put32(Bytes& out, std::uint32_t value);
void put64(Bytes& out, std::uint64_t value);

struct ZipItem {
    std::string name;
    Bytes data;
    bool deflate = false;
    std::uint16_t method = 0xFFFF;  // overrides the stored/deflate method when set
    std::uint16_t flags = 0;
    bool descriptor = false;        // sizes in a data descriptor after the data (flag bit 3)
    bool signed_descriptor = true;  // the descriptor starts with its signature
    bool defer_central_sizes = false;  // the directory records compressed size 0
    bool zip64_extra = false;       // sizes and offset only in a Zip64 extra block
};

struct ZipLayout {
    Bytes prefix;               // junk before the archive
    std::string comment;
    Bytes appended;             // junk after the comment
    bool zip64 = false;         // Zip64 end record and locator, saturated end record
    std::int64_t declared_count_delta = 0;
};

struct BuiltZip {
    Bytes bytes;
    std::uint64_t directory_offset = 0;  // where the central directory starts
    std::uint64_t end_offset = 0;        // where the end record starts
};

BuiltZip build_zip(const std::vector<ZipItem>& items, const ZipLayout& layout = {});

// Writes DEFLATE bits, least significant first; Huffman codes most significant first.
class BitWriter {
public:
    void bits(std::uint32_t value, unsigned count);
    void code(std::uint32_t code, unsigned length);
    void align();
    void byte(std::uint8_t value);
    Bytes finish();

private:
    Bytes out_;
    std::uint64_t buffer_ = 0;
    unsigned count_ = 0;
};

// Canonical codes for per-symbol lengths.
std::vector<std::uint32_t> canonical_codes(const std::vector<std::uint8_t>& lengths);

// Writes a dynamic block header whose code-length code gives every one of
// the 19 symbols length 5, so symbol s is the 5-bit code s. `symbols` are the
// code-length symbols with their extra bits: pairs (symbol, extra).
void dynamic_header(BitWriter& out, bool final_block, unsigned literal_count, unsigned distance_count,
                    const std::vector<std::pair<unsigned, unsigned>>& symbols);
// The same with plain lengths, one symbol each.
void dynamic_header(BitWriter& out, bool final_block, const std::vector<std::uint8_t>& literal_lengths,
                    const std::vector<std::uint8_t>& distance_lengths);

// A scratch file removed when the fixture goes.
class TempFile {
public:
    explicit TempFile(core::ByteView contents);
    ~TempFile();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::filesystem::path corpus_dir();

}  // namespace velmora::testing
