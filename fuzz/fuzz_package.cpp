// Indexes arbitrary bytes as a package, reads everything it offers (the
// defects, every part, every part's relationships and content type), then
// runs the verifier over it.
#include "check/check.hpp"
#include "core/package.hpp"

using namespace velmora::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto package = Package::from_bytes(Bytes(data, data + size));
    if (!package) return 0;
    (void)package->defects();
    (void)package->rels("/");
    Bytes out;
    for (const Part& part : package->parts()) {
        (void)package->read_part(part.name);
        (void)package->read_part_bytes(part.name, out);
        (void)package->rels(part.name);
        (void)package->content_type_of(part.name);
    }
    (void)velmora::check::check(*package, velmora::check::CheckOptions{.max_findings = 50});
    return 0;
}
