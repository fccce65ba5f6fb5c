// Opens arbitrary bytes as an archive and reads every entry, raw and decoded,
// with its local header.
#include <memory>

#include "core/zip.hpp"

using namespace velmora::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto archive = Archive::open(std::make_shared<MemorySource>(Bytes(data, data + size)));
    if (!archive) return 0;
    Bytes out;
    for (const Entry& entry : archive->entries()) {
        (void)archive->read(entry, out);
        (void)archive->read_raw(entry, out);
        (void)archive->local_header(entry);
    }
    return 0;
}
