// A full event pass of the lenient reader over the corpus's slide parts,
// against pugixml parsing the same bytes, in the same run: MB/s and events/s.
//   xml_bench [corpus-dir] [seconds-per-parser]
#include <pugixml.hpp>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/xml.hpp"
#include "core/zip.hpp"
#include "throughput.hpp"

using namespace velmora::core;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> slide_parts(const fs::path& root) {
    std::vector<std::string> parts;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (!item.is_regular_file()) continue;
        auto archive = Archive::open_path(item.path().string());
        if (!archive) continue;
        for (const Entry& entry : archive->entries()) {
            if (!entry.name.starts_with("ppt/slides/slide") || !entry.name.ends_with(".xml")) continue;
            Bytes bytes;
            if (!archive->read(entry, bytes)) continue;
            std::string text(bytes.begin(), bytes.end());
            if (xml::well_formed(text)) parts.push_back(std::move(text));
        }
    }
    return parts;
}

std::size_t event_pass(const std::string& text) {
    xml::Reader reader(text);
    std::size_t events = 0;
    for (;;) {
        const xml::Event event = reader.next();
        if (event.kind == xml::Event::Kind::eof || event.kind == xml::Event::Kind::error) return events;
        ++events;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path root = argc > 1 ? argv[1] : VELMORA_CORPUS_DIR;
    const double seconds = argc > 2 ? std::stod(argv[2]) : 3.0;
    const auto parts = slide_parts(root);
    std::size_t total = 0, events = 0;
    for (const auto& part : parts) total += part.size(), events += event_pass(part);
    std::printf("%zu slide parts, %.1f MB, %zu events\n", parts.size(), total / 1e6, events);

    volatile std::size_t sink = 0;
    const auto size = [](const std::string& part) { return part.size(); };
    const double ours = throughput(parts, seconds, size, [&](const std::string& part) { sink = sink + event_pass(part); });
    std::string buffer;
    const double pugi = throughput(parts, seconds, size, [&](const std::string& part) {
        buffer.assign(part);  // parsed in place, as pugixml does fastest
        pugi::xml_document document;
        sink = sink + document.load_buffer_inplace(buffer.data(), buffer.size()).status;
    });
    const double events_per_second = ours * 1e6 / static_cast<double>(total) * static_cast<double>(events);
    std::printf("velmora (lenient events)  %8.1f MB/s  %6.1f M events/s\n", ours, events_per_second / 1e6);
    std::printf("pugixml (parse_default)   %8.1f MB/s   velmora/pugixml %.2f\n", pugi, ours / pugi);
}
