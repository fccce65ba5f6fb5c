// Decompresses every deflated entry of the corpus with velmora's decoder,
// zlib and libdeflate in the same run, and prints MB/s of output and ratios.
//   inflate_bench [corpus-dir] [seconds-per-decoder]
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "core/inflate.hpp"
#include "throughput.hpp"
#include "core/zip.hpp"

using namespace velmora::core;
namespace fs = std::filesystem;

namespace {

struct Stream {
    Bytes compressed;
    std::size_t size;
};

std::vector<Stream> corpus_streams(const fs::path& root) {
    std::vector<Stream> streams;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (!item.is_regular_file()) continue;
        auto archive = Archive::open_path(item.path().string());
        if (!archive || archive->reconstructed()) continue;
        for (const Entry& entry : archive->entries()) {
            Bytes raw, plain;
            if (entry.method != 8 || !archive->read_raw(entry, raw) || !archive->read(entry, plain)) continue;
            if (plain.size() != entry.uncompressed_size) continue;
            streams.push_back({std::move(raw), plain.size()});
        }
    }
    return streams;
}

using Decoder = std::function<bool(const Stream&, Bytes&)>;

// MB/s of output.
double measure(const std::vector<Stream>& streams, const Decoder& decode, double seconds) {
    Bytes out;
    return throughput(
        streams, seconds, [](const Stream& s) { return s.size; },
        [&](const Stream& s) {
            out.clear();
            if (!decode(s, out)) std::fprintf(stderr, "decoder failed\n");
        });
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path root = argc > 1 ? argv[1] : VELMORA_CORPUS_DIR;
    const double seconds = argc > 2 ? std::stod(argv[2]) : 3.0;
    const auto streams = corpus_streams(root);
    std::size_t in = 0, out_total = 0;
    for (const auto& s : streams) in += s.compressed.size(), out_total += s.size;
    std::printf("%zu deflated entries, %.1f MB compressed, %.1f MB decompressed\n", streams.size(), in / 1e6,
                out_total / 1e6);

    const Decoder velmora = [](const Stream& s, Bytes& out) { return inflate(s.compressed, s.size, out).has_value(); };
    const Decoder zlib = [](const Stream& s, Bytes& out) {
        out.resize(s.size);
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef*>(s.compressed.data());
        z.avail_in = static_cast<uInt>(s.compressed.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int status = ::inflate(&z, Z_FINISH);
        inflateEnd(&z);
        return status == Z_STREAM_END || s.size == 0;
    };
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    const Decoder libdeflate = [decompressor](const Stream& s, Bytes& out) {
        out.resize(s.size);
        return libdeflate_deflate_decompress(decompressor, s.compressed.data(), s.compressed.size(), out.data(),
                                             out.size(), nullptr) == LIBDEFLATE_SUCCESS;
    };

    const double ours = measure(streams, velmora, seconds);
    const double theirs = measure(streams, zlib, seconds);
    const double fastest = measure(streams, libdeflate, seconds);
    libdeflate_free_decompressor(decompressor);
    std::printf("velmora     %8.1f MB/s\n", ours);
    std::printf("zlib        %8.1f MB/s   velmora/zlib       %.2f\n", theirs, ours / theirs);
    std::printf("libdeflate  %8.1f MB/s   velmora/libdeflate %.2f\n", fastest, ours / fastest);
}
