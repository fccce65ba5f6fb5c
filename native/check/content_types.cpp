// Content-type rules over the parsed [Content_Types].xml stream.
#include <string>

#include "core/opc.hpp"
#include "core/quote.hpp"
#include "core/utf8.hpp"
#include "groups.hpp"

namespace velmora::check {
namespace {

constexpr std::string_view relationships_type = "application/vnd.openxmlformats-package.relationships+xml";
const std::string content_types_part = "/[Content_Types].xml";

bool is_unicode_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// `text` without Unicode white space at either end.
std::string_view trim_unicode(std::string_view text) {
    while (!text.empty()) {
        const auto [c, length] = core::decode_code_point(text, 0);
        if (!is_unicode_space(c)) break;
        text.remove_prefix(length);
    }
    while (!text.empty()) {
        std::size_t start = text.size() - 1;
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        const auto [c, length] = core::decode_code_point(text, start);
        if (!is_unicode_space(c) || start + length != text.size()) break;
        text.remove_suffix(length);
    }
    return text;
}

bool is_token(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) return false;
    }
    return true;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && core::opc::ascii_lowercase(a) == core::opc::ascii_lowercase(b);
}

bool is_relationships_part(std::string_view name) { return core::opc::source_of_rels(name).has_value(); }

}  // namespace

// type/subtype, both tokens; parameters after ';' are not examined.
bool is_media_type(std::string_view text) {
    const std::string_view essence = trim_unicode(text.substr(0, text.find(';')));
    const std::size_t slash = essence.find('/');
    return slash != std::string_view::npos && is_token(essence.substr(0, slash)) &&
           is_token(essence.substr(slash + 1));
}

void check_content_types(core::Package& package, Sink& sink) {
    const core::ParsedContentTypes& parsed = package.content_types();
    if (package.defects().content_types_missing || parsed.parse_error || parsed.read_error) return;
    const core::opc::ContentTypes& types = parsed.types;
    const auto push = [&sink](const Rule& rule, std::string message, std::string part = content_types_part) {
        sink.push(Finding(rule, std::move(message)).in_part(std::move(part)));
    };
    using core::quoted;

    if (types.wrong_root) push(CTY005, "root element is not Types in the content types namespace");
    for (const core::opc::Problem& problem : types.problems)
        sink.push(Finding(CTY005, problem.message).in_part(content_types_part).at("byte " + std::to_string(problem.offset)));
    for (std::size_t index : types.duplicate_defaults)
        push(CTY002, "second Default for extension " + types.defaults[index].first);
    for (std::size_t index : types.duplicate_overrides)
        push(CTY003, "second Override for " + types.overrides[index].first);

    for (const auto& [extension, content_type] : types.defaults) {
        if (extension.find_first_of("./") != std::string::npos) push(CTY008, "Default extension " + quoted(extension));
        if (!is_media_type(content_type))
            push(CTY006, "Default for " + quoted(extension) + " has content type " + quoted(content_type));
        if (same_ignoring_case(extension, "rels") && !same_ignoring_case(content_type, relationships_type))
            push(CTY007, "Default for rels is " + content_type);
    }
    for (const auto& [name, content_type] : types.overrides) {
        if (!is_media_type(content_type)) push(CTY006, "Override has content type " + quoted(content_type), name);
        if (!package.has(name)) push(CTY004, "Override names a part that does not exist", name);
        if (is_relationships_part(name) && !same_ignoring_case(content_type, relationships_type))
            push(CTY007, "Relationships part declared as " + content_type, name);
    }
    for (const core::Part& part : package.parts()) {
        if (!is_relationships_part(part.name) && !package.content_type_of(part.name))
            push(CTY001, "no Default or Override gives this part a content type", part.name);
    }
}

}  // namespace velmora::check
