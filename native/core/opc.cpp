#include "opc.hpp"

#include <cstdio>

#include "mc.hpp"

namespace velmora::core::opc {
namespace {

bool is_unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

bool allowed_unencoded(unsigned char c) {
    if (c >= 0x80 || is_unreserved(c)) return true;
    switch (c) {
        case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+':
        case ',': case ':': case ';': case '=': case '@':
            return true;
        default:
            return false;
    }
}

int hex_digit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c |= 0x20;
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// A character in single quotes, escaped the way a debugging print shows it.
std::string quoted_character(char character) {
    const auto c = static_cast<unsigned char>(character);
    switch (c) {
        case '\t': return "'\\t'";
        case '\r': return "'\\r'";
        case '\n': return "'\\n'";
        case '\0': return "'\\0'";
        case '\'': return "'\\''";
        case '\\': return "'\\\\'";
        default: break;
    }
    if (c < 0x20 || c == 0x7F) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "'\\u{%x}'", c);
        return buffer;
    }
    return std::string("'") + character + "'";
}

std::expected<void, PartNameError> validate_segment(std::string_view segment) {
    using Kind = PartNameError::Kind;
    if (segment.empty()) return std::unexpected(PartNameError{Kind::empty_segment});
    if (segment.back() == '.') return std::unexpected(PartNameError{Kind::segment_ends_with_dot});
    for (std::size_t i = 0; i < segment.size(); ++i) {
        const auto c = static_cast<unsigned char>(segment[i]);
        if (c == '%') {
            const bool two_follow = i + 2 < segment.size();
            const int high = two_follow ? hex_digit(static_cast<unsigned char>(segment[i + 1])) : -1;
            const int low = two_follow ? hex_digit(static_cast<unsigned char>(segment[i + 2])) : -1;
            if (high < 0 || low < 0) return std::unexpected(PartNameError{Kind::bad_percent_escape});
            const auto decoded = static_cast<unsigned char>(high * 16 + low);
            if (decoded == '/' || decoded == '\\') return std::unexpected(PartNameError{Kind::encoded_slash});
            if (is_unreserved(decoded)) return std::unexpected(PartNameError{Kind::encoded_unreserved});
            i += 2;
            continue;
        }
        if (!allowed_unencoded(c)) return std::unexpected(PartNameError{Kind::must_be_encoded, segment[i]});
    }
    return {};
}

// Reads every root element's children with `handler(reader, start)`, noting a
// root that is not `root_local` in `root_ns`.
template <class Handler>
xml::XmlStatus read_children_of_root(std::string_view bytes, std::uint16_t root_ns, std::string_view root_local,
                                     bool& wrong_root, Handler&& handler) {
    xml::Reader reader(bytes);
    for (;;) {
        const xml::Event event = reader.next();
        switch (event.kind) {
            case xml::Event::Kind::error: return std::unexpected(event.error());
            case xml::Event::Kind::eof: return {};
            case xml::Event::Kind::start: {
                if (!event.name.is(root_ns, root_local)) wrong_root = true;
                if (auto read = xml::children_inner(reader, handler, false); !read) return read;
                break;
            }
            default: break;
        }
    }
}

std::optional<std::string> decoded_attr(const xml::Reader& reader, const xml::Event& start, std::string_view name) {
    const auto raw = reader.attr(start, xml::no_namespace, name);
    if (!raw) return std::nullopt;
    return xml::unescape_attr(*raw);
}

// Adds `key` to `index` unless present, when `position` becomes a duplicate.
void index_key(NameIndex& index, std::string key, std::size_t position, std::vector<std::size_t>& duplicates) {
    if (!index.try_emplace(std::move(key), position).second) duplicates.push_back(position);
}

}  // namespace

std::string PartNameError::to_string() const {
    switch (kind) {
        case Kind::empty_name: return "empty part name";
        case Kind::no_leading_slash: return "part name does not start with '/'";
        case Kind::empty_segment: return "empty segment";
        case Kind::trailing_slash: return "trailing '/'";
        case Kind::segment_ends_with_dot: return "segment ends with '.'";
        case Kind::must_be_encoded: return "character " + quoted_character(character) + " must be percent-encoded";
        case Kind::bad_percent_escape: return "'%' not followed by two hex digits";
        case Kind::encoded_slash: return "percent-encoded slash";
        case Kind::encoded_unreserved: return "percent-encoded unreserved character";
    }
    return {};
}

std::expected<void, PartNameError> validate_part_name(std::string_view name) {
    using Kind = PartNameError::Kind;
    if (name.empty()) return std::unexpected(PartNameError{Kind::empty_name});
    if (name.front() != '/') return std::unexpected(PartNameError{Kind::no_leading_slash});
    if (name.back() == '/') return std::unexpected(PartNameError{Kind::trailing_slash});
    std::string_view rest = name.substr(1);
    for (;;) {
        const std::size_t slash = rest.find('/');
        if (auto valid = validate_segment(rest.substr(0, slash)); !valid) return valid;
        if (slash == std::string_view::npos) return {};
        rest.remove_prefix(slash + 1);
    }
}

std::optional<std::string_view> extension(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    const std::string_view segment = slash == std::string_view::npos ? name : name.substr(slash + 1);
    const std::size_t dot = segment.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    return segment.substr(dot + 1);
}

std::string rels_part_name(std::string_view source) {
    if (source.empty() || source == "/") return "/_rels/.rels";
    const std::size_t slash = source.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : source.substr(0, slash);
    const std::string_view file = slash == std::string_view::npos ? source : source.substr(slash + 1);
    return std::string(folder) + "/_rels/" + std::string(file) + ".rels";
}

std::optional<std::string> source_of_rels(std::string_view name) {
    constexpr std::string_view suffix = ".rels";
    constexpr std::string_view rels_folder = "/_rels";
    if (!name.ends_with(suffix)) return std::nullopt;
    const std::string_view stem = name.substr(0, name.size() - suffix.size());
    const std::size_t slash = stem.rfind('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view folder = stem.substr(0, slash);
    const std::string_view file = stem.substr(slash + 1);
    if (!folder.ends_with(rels_folder)) return std::nullopt;
    if (file.empty()) {
        if (name == "/_rels/.rels") return std::string("/");
        return std::nullopt;
    }
    return std::string(folder.substr(0, folder.size() - rels_folder.size())) + "/" + std::string(file);
}

std::string resolve_target(std::string_view source, std::string_view target) {
    target = target.substr(0, target.find_first_of("?#"));
    std::string path;
    if (!target.starts_with('/') && !target.starts_with('\\')) {
        const std::size_t slash = source.rfind('/');
        if (slash != std::string_view::npos) path = source.substr(0, slash + 1);
    }
    path += target;
    for (char& c : path)
        if (c == '\\') c = '/';

    std::vector<std::string_view> kept;
    std::string_view rest = path;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
        } else if (!segment.empty() && segment != ".") {
            kept.push_back(segment);
        }
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    if (kept.empty()) return "/";
    std::string resolved;
    for (std::string_view segment : kept) {
        resolved.push_back('/');
        resolved.append(segment);
    }
    return resolved;
}

std::string ascii_lowercase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return lower;
}

xml::XmlResult<Relationships> Relationships::parse(std::string source, std::string_view bytes) {
    Relationships parsed;
    parsed.source = std::move(source);
    auto read = read_children_of_root(
        bytes, xml::package_relationships, "Relationships", parsed.wrong_root,
        [&](xml::Reader& reader, const xml::Event& start) -> xml::XmlStatus {
            if (start.name.local() != "Relationship") {
                parsed.problems.push_back({"unexpected element in a Relationships part", start.offset});
                return {};
            }
            auto id = decoded_attr(reader, start, "Id");
            auto type = decoded_attr(reader, start, "Type");
            auto target = decoded_attr(reader, start, "Target");
            if (!id || !type || !target) {
                parsed.problems.push_back({"Relationship without Id, Type or Target", start.offset});
                return {};
            }
            Relationship relationship{std::move(*id), std::move(*type), std::move(*target), false, start.offset};
            if (auto mode = decoded_attr(reader, start, "TargetMode")) {
                relationship.external = *mode == "External";
                if (*mode != "Internal" && *mode != "External")
                    parsed.problems.push_back({"TargetMode is neither Internal nor External", start.offset});
            }
            index_key(parsed.id_index, relationship.id, parsed.relationships.size(), parsed.duplicate_ids);
            parsed.relationships.push_back(std::move(relationship));
            return {};
        });
    if (!read) return std::unexpected(read.error());
    return parsed;
}

const Relationship* Relationships::get(std::string_view id) const {
    const auto found = id_index.find(id);
    return found == id_index.end() ? nullptr : &relationships[found->second];
}

std::optional<std::string> Relationships::resolve(const Relationship& relationship) const {
    if (relationship.external) return std::nullopt;
    return resolve_target(source, relationship.target);
}

xml::XmlResult<ContentTypes> ContentTypes::parse(std::string_view bytes) {
    ContentTypes parsed;
    auto read = read_children_of_root(
        bytes, xml::content_types, "Types", parsed.wrong_root,
        [&](xml::Reader& reader, const xml::Event& start) -> xml::XmlStatus {
            const bool is_default = start.name.local() == "Default";
            if (!is_default && start.name.local() != "Override") {
                parsed.problems.push_back({"unexpected element in the content types stream", start.offset});
                return {};
            }
            auto key = decoded_attr(reader, start, is_default ? "Extension" : "PartName");
            auto content_type = decoded_attr(reader, start, "ContentType");
            if (!key || !content_type) {
                parsed.problems.push_back({is_default ? "Default element without Extension or ContentType"
                                                      : "Override element without PartName or ContentType",
                                           start.offset});
                return {};
            }
            auto& entries = is_default ? parsed.defaults : parsed.overrides;
            index_key(is_default ? parsed.default_index : parsed.override_index, ascii_lowercase(*key),
                      entries.size(), is_default ? parsed.duplicate_defaults : parsed.duplicate_overrides);
            entries.emplace_back(std::move(*key), std::move(*content_type));
            return {};
        });
    if (!read) return std::unexpected(read.error());
    return parsed;
}

std::optional<std::string_view> ContentTypes::content_type_of(std::string_view part_name) const {
    if (const auto found = override_index.find(ascii_lowercase(part_name)); found != override_index.end())
        return overrides[found->second].second;
    const auto ext = extension(part_name);
    if (!ext) return std::nullopt;
    if (const auto found = default_index.find(ascii_lowercase(*ext)); found != default_index.end())
        return defaults[found->second].second;
    return std::nullopt;
}

}  // namespace velmora::core::opc
