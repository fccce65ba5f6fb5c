// An Open Packaging Conventions package over an opened archive: part names,
// parts stored as pieces, the content types stream, and every irregularity
// recorded as a defect instead of failing.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "opc.hpp"
#include "zip.hpp"

namespace velmora::core {

struct Part {
    std::string name;                // "/" + the archive item name (before "/[" for pieces)
    std::vector<std::size_t> pieces;  // archive entries of the pieces, in piece order
    std::size_t entry = 0;           // the archive entry of a plain part

    // The entry whose declared sizes stand for the part: its own, or its first piece's.
    std::size_t first_entry() const { return pieces.empty() ? entry : pieces.front(); }
};

struct PackageDefects {
    bool content_types_missing = false;
    std::optional<std::string> content_types_case;
    std::optional<xml::XmlError> content_types_error;
    std::optional<std::string> content_types_unreadable;
    std::vector<std::pair<std::string, opc::PartNameError>> invalid_names;
    std::vector<std::pair<std::string, std::string>> collisions;  // kept, dropped
    std::vector<std::pair<std::string, std::string>> derivable;   // longer, shorter
    std::vector<std::string> directories;
    std::vector<std::string> incomplete_pieces;
};

// The content types stream, parsed once, with why it could not be.
struct ParsedContentTypes {
    opc::ContentTypes types;
    std::optional<xml::XmlError> parse_error;
    std::optional<std::string> read_error;
};

// A handle onto shared, immutable package data, with caches of its own. Use
// one handle per thread; `handle()` gives another over the same data.
class Package {
public:
    // Refuses compound files, then opens and indexes the archive.
    static Result<Package> from_bytes(Bytes bytes);
    static Result<Package> open_path(const std::string& path);
    static Package from_archive(Archive archive);

    // Another handle over the same data, with empty caches.
    Package handle() const { return Package(shared_); }

    const Archive& archive() const;
    // Plain parts in archive order, then assembled piece groups.
    const std::vector<Part>& parts() const;
    std::optional<std::size_t> part_index(std::string_view name) const;
    bool has(std::string_view name) const { return part_index(name).has_value(); }

    // Decompressed bytes, UTF-16 transcoded, cached in this handle.
    Result<std::shared_ptr<const Bytes>> read_part(std::string_view name);
    // The same, into `out`, uncached.
    Status read_part_into(std::string_view name, Bytes& out) const;
    // Decompressed bytes exactly as stored, uncached.
    Status read_part_bytes(std::string_view name, Bytes& out) const;

    // The relationships of a part, or of the package for "/", cached.
    Result<std::shared_ptr<const opc::Relationships>> rels(std::string_view source);
    // The part an internal relationship points at; nothing when unknown or external.
    Result<std::optional<std::string>> resolve(std::string_view source, std::string_view id);

    std::optional<std::string_view> content_type_of(std::string_view name) const;
    const ParsedContentTypes& content_types() const;
    const PackageDefects& defects() const;

private:
    struct Shared;
    explicit Package(std::shared_ptr<const Shared> shared) : shared_(std::move(shared)) {}

    Status read_stored(const Part& part, Bytes& out) const;

    std::shared_ptr<const Shared> shared_;
    std::unordered_map<std::size_t, std::shared_ptr<const Bytes>> part_cache_;
    std::unordered_map<std::string, std::shared_ptr<const opc::Relationships>, SmallHash, std::equal_to<>>
        rels_cache_;
};

// Whether bytes begin with the compound-file signature D0 CF 11 E0.
bool is_compound_file(ByteView bytes);

}  // namespace velmora::core
