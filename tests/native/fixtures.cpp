#include "fixtures.hpp"

#include <fstream>
#include <stdexcept>
#include <unistd.h>
#include <zlib.h>

#include "core/crc32.hpp"

namespace velmora::testing {

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }
std::string text_of(core::ByteView bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes zlib_deflate(core::ByteView data, int level, int strategy) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&stream, data.size()));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

bool zlib_inflate(core::ByteView data, std::uint64_t expected, Bytes& out) {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) return false;
    out.assign(std::max<std::uint64_t>(expected, 64), 0);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    int status;
    do {
        if (stream.total_out == out.size()) out.resize(out.size() * 2);
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
        status = inflate(&stream, Z_NO_FLUSH);
    } while (status == Z_OK || (status == Z_BUF_ERROR && stream.avail_out == 0));
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return status == Z_STREAM_END;
}

void put16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void put32(Bytes& out, std::uint32_t value) {
    put16(out, static_cast<std::uint16_t>(value));
    put16(out, static_cast<std::uint16_t>(value >> 16));
}
void put64(Bytes& out, std::uint64_t value) {
    put32(out, static_cast<std::uint32_t>(value));
    put32(out, static_cast<std::uint32_t>(value >> 32));
}

BuiltZip build_zip(const std::vector<ZipItem>& items, const ZipLayout& layout) {
    Bytes body;
    Bytes directory;
    for (const ZipItem& item : items) {
        const Bytes stored = item.deflate ? zlib_deflate(item.data) : item.data;
        const std::uint16_t method = item.method != 0xFFFF ? item.method : item.deflate ? 8 : 0;
        const std::uint16_t flags = static_cast<std::uint16_t>(item.flags | (item.descriptor ? 8 : 0));
        const std::uint32_t crc = core::crc32(item.data);
        const auto compressed = static_cast<std::uint32_t>(stored.size());
        const auto uncompressed = static_cast<std::uint32_t>(item.data.size());
        const auto offset = static_cast<std::uint32_t>(body.size());

        put32(body, 0x04034B50);
        put16(body, 20);
        put16(body, flags);
        put16(body, method);
        put32(body, 0);
        put32(body, item.descriptor ? 0 : crc);
        put32(body, item.descriptor ? 0 : compressed);
        put32(body, item.descriptor ? 0 : uncompressed);
        put16(body, static_cast<std::uint16_t>(item.name.size()));
        put16(body, 0);
        body.insert(body.end(), item.name.begin(), item.name.end());
        body.insert(body.end(), stored.begin(), stored.end());
        if (item.descriptor) {
            if (item.signed_descriptor) put32(body, 0x08074B50);
            put32(body, crc);
            put32(body, compressed);
            put32(body, uncompressed);
        }

        Bytes extra;
        if (item.zip64_extra) {
            put16(extra, 1);
            put16(extra, 24);
            put64(extra, uncompressed);
            put64(extra, compressed);
            put64(extra, offset);
        }
        put32(directory, 0x02014B50);
        put16(directory, 20);
        put16(directory, item.zip64_extra ? 45 : 20);
        put16(directory, flags);
        put16(directory, method);
        put32(directory, 0);
        put32(directory, crc);
        put32(directory, item.zip64_extra ? 0xFFFFFFFF : item.defer_central_sizes ? 0 : compressed);
        put32(directory, item.zip64_extra ? 0xFFFFFFFF : uncompressed);
        put16(directory, static_cast<std::uint16_t>(item.name.size()));
        put16(directory, static_cast<std::uint16_t>(extra.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, item.zip64_extra ? 0xFFFFFFFF : offset);
        directory.insert(directory.end(), item.name.begin(), item.name.end());
        directory.insert(directory.end(), extra.begin(), extra.end());
    }

    BuiltZip built;
    built.directory_offset = layout.prefix.size() + body.size();
    const std::uint64_t count = static_cast<std::uint64_t>(static_cast<std::int64_t>(items.size()) +
                                                           layout.declared_count_delta);
    Bytes out = layout.prefix;
    out.insert(out.end(), body.begin(), body.end());
    out.insert(out.end(), directory.begin(), directory.end());
    if (layout.zip64) {
        const std::uint64_t record_offset = body.size() + directory.size();
        put32(out, 0x06064B50);
        put64(out, 44);
        put16(out, 45);
        put16(out, 45);
        put32(out, 0);
        put32(out, 0);
        put64(out, count);
        put64(out, count);
        put64(out, directory.size());
        put64(out, body.size());
        put32(out, 0x07064B50);
        put32(out, 0);
        put64(out, record_offset);
        put32(out, 1);
    }
    built.end_offset = out.size();
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, layout.zip64 ? 0xFFFF : static_cast<std::uint16_t>(count));
    put16(out, layout.zip64 ? 0xFFFF : static_cast<std::uint16_t>(count));
    put32(out, layout.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(directory.size()));
    put32(out, layout.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(body.size()));
    put16(out, static_cast<std::uint16_t>(layout.comment.size()));
    out.insert(out.end(), layout.comment.begin(), layout.comment.end());
    out.insert(out.end(), layout.appended.begin(), layout.appended.end());
    built.bytes = std::move(out);
    return built;
}

void BitWriter::bits(std::uint32_t value, unsigned count) {
    buffer_ |= std::uint64_t{value} << count_;
    count_ += count;
    while (count_ >= 8) {
        out_.push_back(static_cast<std::uint8_t>(buffer_));
        buffer_ >>= 8;
        count_ -= 8;
    }
}

void BitWriter::code(std::uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) bits((code >> i) & 1, 1);
}

void BitWriter::align() {
    if (count_ > 0) bits(0, 8 - count_);
}

void BitWriter::byte(std::uint8_t value) { bits(value, 8); }

Bytes BitWriter::finish() {
    align();
    return out_;
}

std::vector<std::uint32_t> canonical_codes(const std::vector<std::uint8_t>& lengths) {
    unsigned counts[16] = {};
    for (std::uint8_t length : lengths) ++counts[length];
    counts[0] = 0;
    std::uint32_t next[16] = {};
    std::uint32_t code = 0;
    for (unsigned length = 1; length < 16; ++length) {
        code = (code + counts[length - 1]) << 1;
        next[length] = code;
    }
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

void dynamic_header(BitWriter& out, bool final_block, unsigned literal_count, unsigned distance_count,
                    const std::vector<std::pair<unsigned, unsigned>>& symbols) {
    out.bits(final_block, 1);
    out.bits(2, 2);
    out.bits(literal_count - 257, 5);
    out.bits(distance_count - 1, 5);
    out.bits(15, 4);
    for (int i = 0; i < 19; ++i) out.bits(5, 3);
    static const unsigned extra_bits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
    for (auto [symbol, extra] : symbols) {
        out.code(symbol, 5);
        if (symbol < 19) out.bits(extra, extra_bits[symbol]);
    }
}

void dynamic_header(BitWriter& out, bool final_block, const std::vector<std::uint8_t>& literal_lengths,
                    const std::vector<std::uint8_t>& distance_lengths) {
    std::vector<std::pair<unsigned, unsigned>> symbols;
    for (std::uint8_t length : literal_lengths) symbols.emplace_back(length, 0);
    for (std::uint8_t length : distance_lengths) symbols.emplace_back(length, 0);
    dynamic_header(out, final_block, static_cast<unsigned>(literal_lengths.size()),
                   static_cast<unsigned>(distance_lengths.size()), symbols);
}

TempFile::TempFile(core::ByteView contents) {
    char name[] = "/tmp/velmora-test-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp");
    ::close(fd);
    path_ = name;
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(contents.data()),
                                                 static_cast<std::streamsize>(contents.size()));
}

TempFile::~TempFile() { std::filesystem::remove(path_); }

std::filesystem::path corpus_dir() {
    if (const char* dir = std::getenv("VELMORA_CORPUS")) return dir;
    return VELMORA_CORPUS_DIR;
}

}  // namespace velmora::testing
