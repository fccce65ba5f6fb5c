// Open Packaging Conventions: part names, relationships parts and the
// content types stream, parsed tolerantly with their problems recorded.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hash.hpp"
#include "xml.hpp"

namespace velmora::core::opc {

struct PartNameError {
    enum class Kind : std::uint8_t {
        empty_name,
        no_leading_slash,
        empty_segment,
        trailing_slash,
        segment_ends_with_dot,
        must_be_encoded,
        bad_percent_escape,
        encoded_slash,
        encoded_unreserved,
    };
    Kind kind;
    char character = 0;  // the character that must be percent-encoded

    std::string to_string() const;
    bool operator==(const PartNameError&) const = default;
};

std::expected<void, PartNameError> validate_part_name(std::string_view name);

// The text after the last '.' of the last segment; nothing without a '.'.
std::optional<std::string_view> extension(std::string_view name);
// The relationships part of a source part ("/" or "" for the package).
std::string rels_part_name(std::string_view source);
// The source part of a relationships part name; nothing when it is not one.
std::optional<std::string> source_of_rels(std::string_view name);
// The part name an internal target designates, relative to `source`.
std::string resolve_target(std::string_view source, std::string_view target);

std::string ascii_lowercase(std::string_view text);

// A recorded irregularity of a parsed part, at a byte offset.
struct Problem {
    const char* message;
    std::size_t offset;
    bool operator==(const Problem& other) const {
        return offset == other.offset && std::string_view(message) == other.message;
    }
};

struct Relationship {
    std::string id;
    std::string type;
    std::string target;
    bool external = false;
    std::size_t offset = 0;
};

using NameIndex = std::unordered_map<std::string, std::size_t, SmallHash, std::equal_to<>>;

struct Relationships {
    std::string source;
    std::vector<Relationship> relationships;
    NameIndex id_index;
    std::vector<std::size_t> duplicate_ids;
    std::vector<Problem> problems;
    bool wrong_root = false;

    static xml::XmlResult<Relationships> parse(std::string source, std::string_view bytes);
    const Relationship* get(std::string_view id) const;
    // Nothing for an external relationship.
    std::optional<std::string> resolve(const Relationship& relationship) const;
};

struct ContentTypes {
    std::vector<std::pair<std::string, std::string>> defaults;   // extension, content type
    std::vector<std::pair<std::string, std::string>> overrides;  // part name, content type
    NameIndex default_index;   // lowercased extension
    NameIndex override_index;  // lowercased part name
    std::vector<std::size_t> duplicate_defaults;
    std::vector<std::size_t> duplicate_overrides;
    std::vector<Problem> problems;
    bool wrong_root = false;

    static xml::XmlResult<ContentTypes> parse(std::string_view bytes);
    std::optional<std::string_view> content_type_of(std::string_view part_name) const;
};

}  // namespace velmora::core::opc
