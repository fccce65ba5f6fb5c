// Container rules: the facts the archive reader and the package index
// recorded, and the CRC-32 of the parts that are read as XML.
#include <string>

#include "core/crc32.hpp"
#include "core/opc.hpp"
#include "groups.hpp"

namespace velmora::check {
namespace {

constexpr std::uint16_t descriptor_flag = 8;
constexpr std::uint16_t utf8_name_flag = 0x800;
constexpr std::uint32_t saturated = 0xFFFFFFFF;
const std::string content_types_part = "/[Content_Types].xml";

std::string item_part(const core::Entry& entry) { return "/" + entry.name; }

// The labels of the fields in which an entry's local header differs from
// its central directory record.
std::string local_header_differences(const core::Entry& entry, const core::LocalHeader& local) {
    std::string labels;
    auto differs = [&labels](bool different, const char* label) {
        if (!different) return;
        if (!labels.empty()) labels += ", ";
        labels += label;
    };
    differs(local.method != entry.method, "compression method");
    differs((local.flags & ~descriptor_flag) != (entry.flags & ~descriptor_flag), "general purpose flags");
    differs(local.raw_name != entry.raw_name, "file name");
    if (!entry.has_data_descriptor()) {
        differs(local.crc32 != entry.crc32, "crc-32");
        differs(local.compressed_size != saturated && local.compressed_size != entry.compressed_size,
                "compressed size");
        differs(local.uncompressed_size != saturated && local.uncompressed_size != entry.uncompressed_size,
                "uncompressed size");
    }
    return labels;
}

void check_entry(const core::Archive& archive, const core::Entry& entry, Sink& sink) {
    const auto push = [&](const Rule& rule, std::string message) {
        sink.push(Finding(rule, std::move(message)).in_part(item_part(entry)));
    };
    if (entry.method != 0 && entry.method != 8) push(ZIP001, "compression method " + std::to_string(entry.method));
    if (entry.encrypted()) push(ZIP002, "entry is encrypted");
    if (entry.version_needed > 45)
        push(ZIP009, "version needed to extract is " + std::to_string(entry.version_needed / 10) + "." +
                         std::to_string(entry.version_needed % 10));
    for (std::uint8_t byte : entry.raw_name) {
        if (byte >= 0x80) {
            push(ZIP010, "item name contains non-ASCII bytes");
            break;
        }
    }
    if (entry.flags & utf8_name_flag) push(ZIP011, "UTF-8 name flag is set");
    if (archive.reconstructed()) return;
    auto local = archive.local_header(entry);
    if (!local) {
        push(ZIP007, "local header unreadable: " + local.error().to_string());
        return;
    }
    if (const std::string labels = local_header_differences(entry, *local); !labels.empty())
        push(ZIP007, "local header differs from the central directory in: " + labels);
}

}  // namespace

void check_container(core::Package& package, Sink& sink) {
    const core::Archive& archive = package.archive();
    if (archive.reconstructed()) {
        sink.push(Finding(ZIP004, "no central directory; entries were recovered by scanning local file headers"));
    } else if (archive.directory_incomplete()) {
        sink.push(Finding(ZIP004, "central directory declares " + std::to_string(archive.declared_entry_count()) +
                                      " entries but only " + std::to_string(archive.entries().size()) +
                                      " were readable"));
    }
    if (archive.shift() != 0)
        sink.push(Finding(ZIP003, std::to_string(archive.shift()) +
                                      " byte(s) precede the archive; every offset had to be shifted"));
    for (const core::Entry& entry : archive.entries()) check_entry(archive, entry, sink);
    for (std::size_t index : archive.duplicates())
        sink.push(Finding(ZIP005, "item name repeats an earlier item's name").in_part(item_part(archive.entries()[index])));

    const core::PackageDefects& defects = package.defects();
    for (const std::string& directory : defects.directories)
        sink.push(Finding(ZIP006, "directory entry in a package").in_part("/" + directory));
    for (const auto& [name, error] : defects.invalid_names) sink.push(Finding(OPC001, error.to_string()).in_part(name));
    for (const auto& [kept, dropped] : defects.collisions)
        sink.push(Finding(OPC002, "equivalent to " + kept).in_part(dropped));
    for (const auto& [longer, shorter] : defects.derivable)
        sink.push(Finding(OPC003, "derivable from " + shorter).in_part(longer));
    for (const std::string& name : defects.incomplete_pieces)
        sink.push(Finding(OPC007, "piece sequence has gaps or no single .last piece; not a part").in_part(name));
    if (defects.content_types_missing) sink.push(Finding(OPC004, "[Content_Types].xml is missing"));
    if (defects.content_types_case)
        sink.push(Finding(OPC005, "content types stream is named " + *defects.content_types_case));
    if (defects.content_types_error)
        sink.push(Finding(OPC006, std::string(defects.content_types_error->message) + " at byte " +
                                      std::to_string(defects.content_types_error->offset))
                      .in_part(content_types_part));
    if (defects.content_types_unreadable)
        sink.push(Finding(OPC006, "content types stream could not be read: " + *defects.content_types_unreadable)
                      .in_part(content_types_part));
}

void check_crc(core::Package& package, Sink& sink) {
    const core::Archive& archive = package.archive();
    core::Bytes bytes;
    for (const core::Part& part : package.parts()) {
        const auto content_type = package.content_type_of(part.name);
        const bool xml_type = content_type && (content_type->ends_with("+xml") || content_type->ends_with("/xml"));
        if (!xml_type && !part.name.ends_with(".rels")) continue;
        sink.count_part();
        const std::vector<std::size_t> single{part.entry};
        for (std::size_t index : part.pieces.empty() ? single : part.pieces) {
            const core::Entry& entry = archive.entries()[index];
            if (auto read = archive.read(entry, bytes); !read) {
                sink.push(Finding(ZIP008, "part could not be read: " + read.error().to_string()).in_part(part.name));
            } else if (core::crc32(bytes) != entry.crc32) {
                sink.push(Finding(ZIP008, "decompressed data of " + entry.name + " does not match the recorded CRC-32")
                              .in_part(part.name));
            }
        }
    }
}

}  // namespace velmora::check
