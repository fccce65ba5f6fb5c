// Decodes arbitrary bytes as raw DEFLATE; the first two bytes pick the
// declared size, so absurd and too-small sizes are both exercised.
#include "core/inflate.hpp"

using namespace velmora::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint64_t declared = std::uint64_t{le16(data)} << (data[0] % 40);
    Bytes out;
    (void)inflate(ByteView(data + 2, size - 2), declared, out);
    return 0;
}
