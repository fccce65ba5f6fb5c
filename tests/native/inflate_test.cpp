#include <gtest/gtest.h>

#include <random>

#include "core/inflate.hpp"
#include "fixtures.hpp"

#include <zlib.h>

namespace velmora::testing {
namespace {

using core::inflate;

// Fixed-code helpers: literal/length symbol codes of RFC 1951 3.2.6.
void fixed_symbol(BitWriter& out, unsigned symbol) {
    if (symbol < 144) out.code(0x30 + symbol, 8);
    else if (symbol < 256) out.code(0x190 + symbol - 144, 9);
    else if (symbol < 280) out.code(symbol - 256, 7);
    else out.code(0xC0 + symbol - 280, 8);
}

void fixed_header(BitWriter& out, bool final_block = true) {
    out.bits(final_block, 1);
    out.bits(1, 2);
}

std::string inflate_error(const Bytes& input, std::uint64_t expected = 100) {
    Bytes out;
    auto result = inflate(input, expected, out);
    return result ? std::string("ok") : result.error().to_string();
}

// A dynamic block with an incomplete literal code: 'a' is 0, end-of-block 10,
// and 11 matches nothing.
Bytes incomplete_code_stream(bool use_unassigned_code) {
    std::vector<std::uint8_t> literals(257, 0);
    literals['a'] = 1;
    literals[256] = 2;
    BitWriter out;
    dynamic_header(out, true, literals, {1});
    out.code(0, 1);
    out.code(0, 1);
    out.code(use_unassigned_code ? 3 : 2, 2);
    out.bits(0, 32);
    return out.finish();
}

struct ErrorCase {
    const char* what;
    Bytes input;
    const char* message;
};

std::vector<ErrorCase> error_cases() {
    std::vector<ErrorCase> cases;
    cases.push_back({"empty input", {}, "inflate: truncated deflate stream"});
    cases.push_back({"reserved block type", {0x07}, "inflate: reserved deflate block type"});
    cases.push_back({"stored length check", {0x01, 0x00, 0x00, 0x00, 0x00}, "inflate: stored block length check failed"});
    cases.push_back({"stored block cut", {0x01, 0x05, 0x00, 0xFA, 0xFF, 'a'}, "inflate: truncated deflate stream"});
    cases.push_back({"stored header cut", {0x01, 0x05, 0x00}, "inflate: truncated deflate stream"});
    // A dynamic block header with raw HLIT and HDIST fields.
    auto counts_header = [](unsigned hlit, unsigned hdist) {
        BitWriter out;
        out.bits(1, 1);
        out.bits(2, 2);
        out.bits(hlit, 5);
        out.bits(hdist, 5);
        out.bits(0, 32);
        return out.finish();
    };
    cases.push_back({"HLIT above 29", counts_header(30, 0), "inflate: too many literal or distance codes"});
    cases.push_back({"HDIST above 29", counts_header(0, 30), "inflate: too many literal or distance codes"});
    {
        BitWriter out;
        dynamic_header(out, true, 257, 1, {{16, 0}});
        out.bits(0, 32);
        cases.push_back({"repeat first", out.finish(), "inflate: code length repeat with no previous length"});
    }
    {
        BitWriter out;
        dynamic_header(out, true, 257, 1, {{18, 127}, {18, 127}});
        out.bits(0, 32);
        cases.push_back({"repeat past table", out.finish(), "inflate: code length repeat runs past the table"});
    }
    {
        BitWriter out;
        dynamic_header(out, true, 257, 1, {{18, 127}, {18, 109}});
        out.bits(0, 32);
        cases.push_back({"no end of block", out.finish(), "inflate: no end-of-block code"});
    }
    {
        BitWriter out;
        dynamic_header(out, true, std::vector<std::uint8_t>(257, 1), {1});
        out.bits(0, 32);
        cases.push_back({"over-subscribed literals", out.finish(), "inflate: over-subscribed huffman code"});
    }
    {
        BitWriter out;  // every code-length code of length 1
        out.bits(1, 1);
        out.bits(2, 2);
        out.bits(0, 5);
        out.bits(0, 5);
        out.bits(15, 4);
        for (int i = 0; i < 19; ++i) out.bits(1, 3);
        out.bits(0, 32);
        cases.push_back({"over-subscribed code lengths", out.finish(), "inflate: over-subscribed huffman code"});
    }
    cases.push_back({"unassigned code", incomplete_code_stream(true), "inflate: invalid huffman code"});
    {
        BitWriter out;
        fixed_header(out);
        fixed_symbol(out, 'a');
        fixed_symbol(out, 257);
        out.code(30, 5);  // the fixed distance code has no symbol 30
        out.bits(0, 32);
        cases.push_back({"fixed distance 30", out.finish(), "inflate: invalid huffman code"});
    }
    {
        BitWriter out;
        fixed_header(out);
        fixed_symbol(out, 286);
        out.bits(0, 32);
        cases.push_back({"length symbol 286", out.finish(), "inflate: invalid length code"});
    }
    {
        BitWriter out;
        fixed_header(out);
        fixed_symbol(out, 257);
        out.code(0, 5);
        out.bits(0, 32);
        cases.push_back({"distance before start", out.finish(), "inflate: distance reaches before the start of output"});
    }
    {
        // 'a' then end-of-block (seven zero bits) needs 18 bits; cut to 16
        // bits, the missing bits would be zero, yet the stream is cut.
        BitWriter out;
        fixed_header(out);
        fixed_symbol(out, 'a');
        fixed_symbol(out, 256);
        Bytes bytes = out.finish();
        bytes.resize(2);
        cases.push_back({"cut inside end of block", bytes, "inflate: truncated deflate stream"});
    }
    {
        Bytes text;
        for (int i = 0; i < 4000; ++i) text.push_back(static_cast<std::uint8_t>("velmora deck "[i % 13] + i % 7));
        Bytes stream = zlib_deflate(text);
        stream.resize(stream.size() / 2);
        cases.push_back({"zlib stream cut in half", stream, "inflate: truncated deflate stream"});
    }
    return cases;
}

TEST(Inflate, ErrorsNameTheProblem) {
    for (const ErrorCase& c : error_cases()) EXPECT_EQ(inflate_error(c.input), c.message) << c.what;
}

TEST(Inflate, OverSubscribedTableIsRefused) {
    core::Huffman table;
    const std::uint8_t lengths[3] = {1, 1, 1};
    std::array<std::uint16_t, 16> counts{};
    counts[1] = 3;
    auto built = core::build_counted(table, lengths, counts, 9);
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().to_string(), "inflate: over-subscribed huffman code");
}

struct DecodeCase {
    const char* what;
    Bytes input;
    std::string expected;
};

std::vector<DecodeCase> decode_cases() {
    std::vector<DecodeCase> cases;
    cases.push_back({"empty stored final block", {0x01, 0x00, 0x00, 0xFF, 0xFF}, ""});
    cases.push_back({"trailing input ignored", {0x01, 0x00, 0x00, 0xFF, 0xFF, 0xDE, 0xAD, 0x07}, ""});
    {
        BitWriter out;
        fixed_header(out);
        fixed_symbol(out, 'a');
        fixed_symbol(out, 285);  // length 258
        out.code(0, 5);          // distance 1
        fixed_symbol(out, 256);
        cases.push_back({"match 258 at distance 1", out.finish(), std::string(259, 'a')});
    }
    {
        // A fixed block, then a stored block: the bytes left in the bit
        // buffer at the alignment must go back to the input.
        BitWriter out;
        fixed_header(out, false);
        fixed_symbol(out, 'x');
        fixed_symbol(out, 256);
        out.bits(1, 1);
        out.bits(0, 2);
        out.align();
        for (std::uint8_t b : Bytes{0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'}) out.byte(b);
        cases.push_back({"stored after fixed", out.finish(), "xabc"});
    }
    {
        BitWriter out;
        fixed_header(out);
        for (char c : std::string("abcdefghijklmnop")) fixed_symbol(out, static_cast<unsigned char>(c));
        fixed_symbol(out, 265);  // length 11 + 1 extra bit
        out.bits(1, 1);
        out.code(4, 5);  // distance 5 + 1 extra bit
        out.bits(0, 1);
        fixed_symbol(out, 256);
        cases.push_back({"short distance overlap", out.finish(), "abcdefghijklmnoplmnoplmnoplm"});
    }
    cases.push_back({"incomplete code decodes", incomplete_code_stream(false), "aa"});
    return cases;
}

TEST(Inflate, DecodesHandWrittenStreams) {
    for (const DecodeCase& c : decode_cases()) {
        Bytes out;
        auto result = inflate(c.input, c.expected.size(), out);
        ASSERT_TRUE(result) << c.what << ": " << result.error().to_string();
        EXPECT_EQ(text_of(out), c.expected) << c.what;
    }
}

TEST(Inflate, AppendsToExistingBytes) {
    Bytes out = bytes_of("head:");
    ASSERT_TRUE(inflate(zlib_deflate(bytes_of("tail")), 4, out));
    EXPECT_EQ(text_of(out), "head:tail");
}

TEST(Inflate, AbsurdDeclaredSizeDoesNotDriveAllocation) {
    Bytes data(100, 'z');
    const Bytes stream = zlib_deflate(data);
    Bytes out;
    ASSERT_TRUE(inflate(stream, 10'000'000'000ull, out));
    EXPECT_EQ(out, data);
    EXPECT_LT(out.capacity(), 128u * 1024);
}

TEST(Inflate, DeclaredSizeTooSmallStillGivesEverything) {
    Bytes data;
    std::mt19937 random(7);
    for (int i = 0; i < 300000; ++i) data.push_back(static_cast<std::uint8_t>('a' + random() % 4));
    Bytes out;
    ASSERT_TRUE(inflate(zlib_deflate(data), 10, out));
    EXPECT_EQ(out, data);
}

TEST(Inflate, FailureKeepsOnlyTheBytesProduced) {
    BitWriter out;
    fixed_header(out);
    fixed_symbol(out, 'q');
    fixed_symbol(out, 286);
    Bytes produced;
    EXPECT_FALSE(inflate(out.finish(), 1000, produced));
    EXPECT_EQ(text_of(produced), "q");
}

// zlib is the reference: every stream it writes, at every level and
// strategy, over data from incompressible to highly repetitive.
TEST(Inflate, AgreesWithZlib) {
    std::mt19937 random(1234);
    const std::vector<std::size_t> sizes = {0, 1, 7, 64, 1000, 65536, 300000};
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (std::size_t size : sizes) {
        for (int alphabet : {2, 16, 256}) {
            Bytes data(size);
            for (auto& b : data) b = static_cast<std::uint8_t>(random() % alphabet);
            // Make some of it repeat, with distances near and far.
            for (std::size_t i = 300; i < size; i += 997) data[i] = data[i - 1 - random() % 290];
            for (int level : {0, 1, 6, 9}) {
                for (int strategy : strategies) {
                    const Bytes stream = zlib_deflate(data, level, strategy);
                    Bytes out;
                    auto result = inflate(stream, size, out);
                    ASSERT_TRUE(result) << size << "/" << level << "/" << strategy;
                    ASSERT_EQ(out, data) << size << "/" << level << "/" << strategy;
                }
            }
        }
    }
}

}  // namespace
}  // namespace velmora::testing
