#include "inflate.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

namespace velmora::core {
namespace {

constexpr std::uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t distance_base[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                             33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t code_length_order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr unsigned literal_fast_bits = 9;
constexpr unsigned distance_fast_bits = 8;
constexpr unsigned code_length_fast_bits = 7;
constexpr unsigned no_symbol = 0xFFFF;

const char* const truncated_message = "truncated deflate stream";

std::uint32_t reverse_bits(std::uint32_t code, unsigned n) {
    std::uint32_t r = 0;
    for (unsigned i = 0; i < n; ++i, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}

// A 64-bit little-endian bit buffer. Past the end of the input it supplies
// zero bytes and counts them, so that truncation is noticed at the next
// decision point rather than on every read.
class BitReader {
public:
    explicit BitReader(ByteView input) : p_(input.data()), end_(input.data() + input.size()) {}

    // Afterwards at least 56 bits are buffered. Bits above `count_` may hold
    // copies of bytes not yet taken; the next load ORs identical bits there.
    void refill() {
        if (end_ - p_ >= 8) {
            buffer_ |= le64(p_) << count_;
            p_ += (63 - count_) >> 3;
            count_ |= 56;
        } else {
            refill_slow();
        }
    }

    std::uint64_t peek() const { return buffer_; }
    void consume(unsigned n) {
        buffer_ >>= n;
        count_ -= n;
    }
    std::uint32_t take(unsigned n) {
        const auto value = static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << n) - 1));
        consume(n);
        return value;
    }

    // Some of the zero padding past the end of the input has been consumed.
    bool overran() const { return count_ < overrun_ * 8; }

    // Drops the bits up to the next byte boundary and gives the whole bytes
    // still buffered back to the input; false if padding had been used.
    bool align_to_byte() {
        consume(count_ & 7);
        if (overran()) return false;
        p_ -= count_ / 8 - overrun_;
        buffer_ = 0;
        count_ = 0;
        overrun_ = 0;
        return true;
    }

    const std::uint8_t* position() const { return p_; }
    std::size_t remaining() const { return static_cast<std::size_t>(end_ - p_); }
    void skip(std::size_t n) { p_ += n; }

private:
    void refill_slow() {
        while (count_ <= 56) {
            if (p_ < end_)
                buffer_ |= std::uint64_t{*p_++} << count_;
            else
                ++overrun_;
            count_ += 8;
        }
    }

    const std::uint8_t* p_;
    const std::uint8_t* end_;
    std::uint64_t buffer_ = 0;
    unsigned count_ = 0;
    unsigned overrun_ = 0;
};

// The output: a zero-filled buffer with slack, so match copies may move whole
// 8- or 16-byte chunks past the match end.
class Output {
public:
    Output(Bytes& out, std::size_t reserve) : out_(out), start_(out.size()) {
        out_.resize(start_ + reserve);
        rebase(start_);
    }
    ~Output() { out_.resize(static_cast<std::size_t>(cursor_ - out_.data())); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    std::size_t produced() const { return static_cast<std::size_t>(cursor_ - out_.data()) - start_; }

    void literal(std::uint8_t byte) {
        if (cursor_ >= limit_) grow(std::max(2 * out_.size(), position() + 257));
        *cursor_++ = byte;
    }

    void match(std::size_t distance, std::size_t length) {
        if (position() + length + 16 > out_.size()) grow(std::max(2 * out_.size(), position() + length + 272));
        const std::uint8_t* src = cursor_ - distance;
        std::uint8_t* dst = cursor_;
        std::uint8_t* const stop = cursor_ + length;
        if (distance >= 16) {
            do {
                std::memcpy(dst, src, 16);
                dst += 16;
                src += 16;
            } while (dst < stop);
        } else if (distance >= 8) {
            do {
                std::memcpy(dst, src, 8);
                dst += 8;
                src += 8;
            } while (dst < stop);
        } else if (distance == 1) {
            std::memset(dst, *src, length);
        } else {
            for (std::size_t i = 0; i < length; ++i) dst[i] = src[i];
        }
        cursor_ = stop;
    }

    void copy(const std::uint8_t* bytes, std::size_t length) {
        const std::size_t needed = position() + length;
        if (needed > out_.size()) grow(std::max(2 * out_.size(), needed + 256));
        if (length) std::memcpy(cursor_, bytes, length);
        cursor_ += length;
    }

private:
    std::size_t position() const { return static_cast<std::size_t>(cursor_ - out_.data()); }
    void rebase(std::size_t position) {
        cursor_ = out_.data() + position;
        limit_ = out_.data() + out_.size();
    }
    void grow(std::size_t size) {
        const std::size_t at = position();
        out_.resize(size);
        rebase(at);
    }

    Bytes& out_;
    std::size_t start_;
    std::uint8_t* cursor_;
    std::uint8_t* limit_;
};

unsigned decode_long(BitReader& in, const Huffman& table) {
    const std::uint64_t bits = in.peek();
    std::uint32_t code = reverse_bits(static_cast<std::uint32_t>(bits & table.mask), table.fast_bits);
    for (unsigned length = table.fast_bits + 1; length <= 15; ++length) {
        code = (code << 1) | static_cast<std::uint32_t>((bits >> (length - 1)) & 1);
        const std::uint32_t index = code - table.first[length];
        if (index < table.counts[length]) {
            in.consume(length);
            return table.sorted[table.offsets[length] + index];
        }
    }
    return no_symbol;
}

// The next symbol, or `no_symbol`. Needs at least 15 buffered bits.
inline unsigned decode_symbol(BitReader& in, const Huffman& table) {
    const unsigned entry = table.fast[in.peek() & table.mask];
    if (entry != 0) [[likely]] {
        in.consume(entry & 15);
        return entry >> 4;
    }
    return decode_long(in, table);
}

// A failure detected while padding was in use is reported as the truncation it follows.
std::unexpected<Error> fail_at(const BitReader& in, const char* message) {
    return fail(invalid(in.overran() ? truncated_message : message));
}

Status decode_block(BitReader& in, const Huffman& literals, const Huffman& distances, Output& out) {
    for (;;) {
        in.refill();
        unsigned symbol = decode_symbol(in, literals);
        if (symbol == no_symbol) return fail_at(in, "invalid huffman code");
        if (in.overran()) return fail(invalid(truncated_message));
        if (symbol < 256) {
            out.literal(static_cast<std::uint8_t>(symbol));
            continue;
        }
        if (symbol == 256) return {};
        symbol -= 257;
        if (symbol >= 29) return fail(invalid("invalid length code"));
        const std::size_t length = length_base[symbol] + in.take(length_extra[symbol]);
        const unsigned distance_symbol = decode_symbol(in, distances);
        if (distance_symbol == no_symbol) return fail_at(in, "invalid huffman code");
        if (distance_symbol >= 30) return fail_at(in, "invalid distance code");
        const std::size_t distance = distance_base[distance_symbol] + in.take(distance_extra[distance_symbol]);
        if (in.overran()) return fail(invalid(truncated_message));
        if (distance > out.produced()) return fail(invalid("distance reaches before the start of output"));
        out.match(distance, length);
    }
}

Status stored_block(BitReader& in, Output& out) {
    if (!in.align_to_byte() || in.remaining() < 4) return fail(invalid(truncated_message));
    const std::uint8_t* header = in.position();
    const std::uint16_t length = le16(header);
    if ((length ^ le16(header + 2)) != 0xFFFF) return fail(invalid("stored block length check failed"));
    in.skip(4);
    if (in.remaining() < length) return fail(invalid(truncated_message));
    out.copy(in.position(), length);
    in.skip(length);
    return {};
}

struct DynamicTables {
    Huffman code_lengths;
    Huffman literals;
    Huffman distances;
};

DynamicTables& thread_tables() {
    thread_local std::unique_ptr<DynamicTables> tables;
    if (!tables) tables = std::make_unique<DynamicTables>();
    return *tables;
}

Status read_dynamic_tables(BitReader& in, DynamicTables& tables) {
    in.refill();
    const unsigned literal_count = in.take(5) + 257;
    const unsigned distance_count = in.take(5) + 1;
    const unsigned code_length_count = in.take(4) + 4;
    if (literal_count > 286 || distance_count > 30) return fail_at(in, "too many literal or distance codes");

    std::uint8_t code_length_lengths[19] = {};
    std::array<std::uint16_t, 16> counts{};
    for (unsigned i = 0; i < code_length_count; ++i) {
        in.refill();
        const auto length = static_cast<std::uint8_t>(in.take(3));
        code_length_lengths[code_length_order[i]] = length;
        ++counts[length];
    }
    if (auto built = build_counted(tables.code_lengths, code_length_lengths, counts, code_length_fast_bits); !built)
        return fail_at(in, "over-subscribed huffman code");

    std::uint8_t lengths[286 + 30];
    std::array<std::uint16_t, 16> literal_counts{};
    std::array<std::uint16_t, 16> distance_counts{};
    const unsigned total = literal_count + distance_count;
    unsigned filled = 0;
    auto put = [&](std::uint8_t length, unsigned times) {
        for (; times > 0; --times, ++filled) {
            lengths[filled] = length;
            ++(filled < literal_count ? literal_counts : distance_counts)[length];
        }
    };
    while (filled < total) {
        in.refill();
        const unsigned symbol = decode_symbol(in, tables.code_lengths);
        if (symbol == no_symbol) return fail_at(in, "invalid huffman code");
        if (symbol < 16) {
            put(static_cast<std::uint8_t>(symbol), 1);
            continue;
        }
        std::uint8_t value = 0;
        unsigned times;
        if (symbol == 16) {
            if (filled == 0) return fail_at(in, "code length repeat with no previous length");
            value = lengths[filled - 1];
            times = 3 + in.take(2);
        } else if (symbol == 17) {
            times = 3 + in.take(3);
        } else if (symbol == 18) {
            times = 11 + in.take(7);
        } else {
            return fail_at(in, "invalid code length symbol");
        }
        if (filled + times > total) return fail_at(in, "code length repeat runs past the table");
        put(value, times);
    }
    if (in.overran()) return fail(invalid(truncated_message));
    if (lengths[256] == 0) return fail(invalid("no end-of-block code"));
    if (auto built = build_counted(tables.literals, std::span(lengths, literal_count), literal_counts,
                                   literal_fast_bits);
        !built)
        return built;
    return build_counted(tables.distances, std::span(lengths + literal_count, distance_count), distance_counts,
                         distance_fast_bits);
}

}  // namespace

Error invalid(const char* message) { return Error::inflate(message); }

Status build_counted(Huffman& table, std::span<const std::uint8_t> lengths, std::array<std::uint16_t, 16> counts,
                     unsigned fast_bits) {
    counts[0] = 0;
    int left = 1;
    std::uint32_t code = 0;
    std::uint16_t offset = 0;
    std::array<std::uint32_t, 16> next{};
    for (unsigned length = 1; length <= 15; ++length) {
        left = 2 * left - counts[length];
        if (left < 0) return fail(invalid("over-subscribed huffman code"));
        code = 2 * (code + counts[length - 1]);
        table.first[length] = code;
        next[length] = code;
        table.offsets[length] = offset;
        if (length > fast_bits) offset = static_cast<std::uint16_t>(offset + counts[length]);
    }
    table.counts = counts;
    table.fast_bits = fast_bits;
    table.mask = (1u << fast_bits) - 1;
    std::fill_n(table.fast.begin(), std::size_t{1} << fast_bits, std::uint16_t{0});

    std::array<std::uint16_t, 16> placed{};
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
        const unsigned length = lengths[symbol];
        if (length == 0) continue;
        if (length > fast_bits) {
            table.sorted[table.offsets[length] + placed[length]++] = static_cast<std::uint16_t>(symbol);
            continue;
        }
        const auto entry = static_cast<std::uint16_t>(length + 16 * symbol);
        for (std::uint32_t slot = reverse_bits(next[length]++, length); slot <= table.mask; slot += 1u << length)
            table.fast[slot] = entry;
    }
    return {};
}

const FixedCodes& fixed_codes() {
    static const FixedCodes codes = [] {
        FixedCodes built;
        std::uint8_t lengths[288];
        std::array<std::uint16_t, 16> counts{};
        for (unsigned s = 0; s < 288; ++s) {
            lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
            ++counts[lengths[s]];
        }
        (void)build_counted(built.literal, lengths, counts, literal_fast_bits);
        std::uint8_t distance_lengths[30];
        std::fill_n(distance_lengths, 30, std::uint8_t{5});
        std::array<std::uint16_t, 16> distance_counts{};
        distance_counts[5] = 30;
        (void)build_counted(built.distance, distance_lengths, distance_counts, distance_fast_bits);
        return built;
    }();
    return codes;
}

Status inflate(ByteView input, std::uint64_t expected_size, Bytes& out) {
    const std::uint64_t hint = std::min<std::uint64_t>(expected_size, std::uint64_t{input.size()} * 1032 + 64);
    Output output(out, static_cast<std::size_t>(std::max<std::uint64_t>(hint, 64) + 64));
    BitReader in(input);
    for (;;) {
        in.refill();
        const bool final_block = in.take(1) != 0;
        const unsigned type = in.take(2);
        if (in.overran()) return fail(invalid(truncated_message));
        Status done;
        switch (type) {
            case 0: done = stored_block(in, output); break;
            case 1: done = decode_block(in, fixed_codes().literal, fixed_codes().distance, output); break;
            case 2: {
                DynamicTables& tables = thread_tables();
                done = read_dynamic_tables(in, tables);
                if (done) done = decode_block(in, tables.literals, tables.distances, output);
                break;
            }
            default: return fail(invalid("reserved deflate block type"));
        }
        if (!done) return done;
        if (final_block) return {};
    }
}

}  // namespace velmora::core
