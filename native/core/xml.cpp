#include "xml.hpp"

#include <cstring>
#include <utility>

#include "scan.hpp"
#include "utf8.hpp"

namespace velmora::core::xml {
namespace {

enum Form : std::uint8_t { no_form, transitional, strict };

struct KnownUri {
    std::string_view uri;
    std::uint16_t ns;
    Form form;
};

constexpr KnownUri known_uris[] = {
    {"http://schemas.openxmlformats.org/presentationml/2006/main", presentationml, transitional},
    {"http://purl.oclc.org/ooxml/presentationml/main", presentationml, strict},
    {"http://schemas.openxmlformats.org/drawingml/2006/main", drawingml, transitional},
    {"http://purl.oclc.org/ooxml/drawingml/main", drawingml, strict},
    {"http://schemas.openxmlformats.org/officeDocument/2006/relationships", relationships, transitional},
    {"http://purl.oclc.org/ooxml/officeDocument/relationships", relationships, strict},
    {"http://schemas.openxmlformats.org/package/2006/relationships", package_relationships, no_form},
    {"http://schemas.openxmlformats.org/package/2006/content-types", content_types, no_form},
    {"http://schemas.openxmlformats.org/markup-compatibility/2006", markup_compatibility, no_form},
    {"http://schemas.openxmlformats.org/package/2006/metadata/core-properties", core_properties, no_form},
    {"http://purl.org/dc/elements/1.1/", dublin_core, no_form},
    {"http://purl.org/dc/terms/", dublin_core_terms, no_form},
    {"http://www.w3.org/2001/XMLSchema-instance", schema_instance, no_form},
    {"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties", extended_properties, transitional},
    {"http://purl.oclc.org/ooxml/officeDocument/extendedProperties", extended_properties, strict},
    {"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes", variant_types, transitional},
    {"http://purl.oclc.org/ooxml/officeDocument/docPropsVTypes", variant_types, strict},
    {"http://schemas.openxmlformats.org/drawingml/2006/chart", chart, transitional},
    {"http://purl.oclc.org/ooxml/drawingml/chart", chart, strict},
    {"http://schemas.microsoft.com/office/drawing/2014/chartex", chartex, no_form},
    {"http://schemas.openxmlformats.org/drawingml/2006/diagram", diagram, transitional},
    {"http://purl.oclc.org/ooxml/drawingml/diagram", diagram, strict},
    {"http://schemas.openxmlformats.org/drawingml/2006/picture", picture, transitional},
    {"http://purl.oclc.org/ooxml/drawingml/picture", picture, strict},
    {"http://www.w3.org/XML/1998/namespace", xml_namespace, no_form},
    {"http://schemas.microsoft.com/office/powerpoint/2010/main", powerpoint_2010, no_form},
    {"http://schemas.microsoft.com/office/powerpoint/2018/8/main", powerpoint_2018, no_form},
};

constexpr std::string_view default_declaration = "xmlns";

inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool is_ascii_letter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// An XML name piece: starts with a letter, '_' or a non-ASCII byte; goes on
// with those, digits, '-' and '.'.
bool valid_name_piece(std::string_view piece) {
    if (piece.empty()) return false;
    const auto first = static_cast<unsigned char>(piece[0]);
    if (!is_ascii_letter(first) && first != '_' && first < 0x80) return false;
    for (unsigned char c : piece.substr(1))
        if (!is_ascii_letter(c) && !is_digit(c) && c != '-' && c != '.' && c != '_' && c < 0x80) return false;
    return true;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    return text;
}

int hex_value(unsigned char c) {
    if (is_digit(c)) return c - '0';
    c |= 0x20;
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool is_scalar(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// Decodes `raw` with references, and `_xHHHH_` escapes when `escapes` is set.
void decode(std::string_view raw, std::string& out, bool escapes) {
    std::size_t i = 0;
    const std::size_t n = raw.size();
    while (i < n) {
        std::size_t run = i;
        while (run < n && raw[run] != '&' && !(escapes && raw[run] == '_')) ++run;
        push_utf8_lossy(out, raw.substr(i, run - i));
        i = run;
        if (i == n) break;
        if (raw[i] == '&') {
            const std::size_t semicolon = raw.substr(i + 1, 12).find(';');
            if (semicolon != std::string_view::npos) {
                if (auto c = decode_entity(raw.substr(i + 1, semicolon))) {
                    push_code_point(*c, out);
                    i += semicolon + 2;
                    continue;
                }
            }
            out.push_back('&');
            ++i;
            continue;
        }
        // _xHHHH_
        if (n - i >= 7 && raw[i + 1] == 'x' && raw[i + 6] == '_') {
            char32_t c = 0;
            bool hex = true;
            for (std::size_t k = 2; k < 6 && hex; ++k) {
                const int v = hex_value(static_cast<unsigned char>(raw[i + k]));
                hex = v >= 0;
                c = c * 16 + static_cast<char32_t>(v);
            }
            if (hex && is_scalar(c)) {
                push_code_point(c, out);
                i += 7;
                continue;
            }
        }
        out.push_back('_');
        ++i;
    }
}

}  // namespace

Name::Name(std::string_view raw) : text_(raw.data()), size_(static_cast<std::uint32_t>(raw.size())) {
    const char* const colon = find_byte(raw.data(), raw.data() + raw.size(), ':');
    if (colon != raw.data() + raw.size()) local_offset_ = static_cast<std::uint32_t>(colon - raw.data()) + 1;
}

std::string Name::qualified() const {
    std::string out;
    if (has_colon()) {
        push_utf8_lossy(out, prefix());
        out.push_back(':');
    }
    push_utf8_lossy(out, local());
    return out;
}

std::optional<char32_t> decode_entity(std::string_view body) {
    if (body == "lt") return U'<';
    if (body == "gt") return U'>';
    if (body == "amp") return U'&';
    if (body == "apos") return U'\'';
    if (body == "quot") return U'"';
    if (body.size() < 2 || body[0] != '#') return std::nullopt;
    const bool hex = body[1] == 'x';
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    char32_t value = 0;
    for (unsigned char c : digits) {
        const int v = hex ? hex_value(c) : is_digit(c) ? c - '0' : -1;
        if (v < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<char32_t>(v);
    }
    if (!is_scalar(value)) return std::nullopt;
    return value;
}

std::string unescape_attr(std::string_view raw) {
    std::string out;
    decode(raw, out, false);
    return out;
}

void unescape_into(std::string_view raw, std::string& out) { decode(raw, out, true); }

void push_lossy(std::string_view bytes, std::string& out) { push_utf8_lossy(out, bytes); }

void Attrs::iterator::advance() {
    std::size_t i = 0;
    while (i < rest_.size() && is_space(rest_[i])) ++i;
    const std::size_t equals = rest_.find('=', i);
    if (i == rest_.size() || equals == std::string_view::npos) {
        done_ = true;
        return;
    }
    const std::string_view name = trim(rest_.substr(i, equals - i));
    std::size_t at = equals + 1;
    while (at < rest_.size() && is_space(rest_[at])) ++at;
    if (at == rest_.size() || (rest_[at] != '"' && rest_[at] != '\'')) {
        done_ = true;
        return;
    }
    const std::size_t close = rest_.find(rest_[at], at + 1);
    if (close == std::string_view::npos) {
        done_ = true;
        return;
    }
    current_.value = rest_.substr(at + 1, close - at - 1);
    rest_.remove_prefix(close + 1);
    current_.name = Name(name);
    if (!current_.name.prefix().empty()) {
        if (auto bound = reader_->lookup_prefix(current_.name.prefix())) {
            current_.name.ns = bound->ns;
            current_.name.uri_index = bound->uri_index;
        }
    }
}

Reader::Reader(std::string_view bytes, bool checking)
    : input_(bytes), pos_(bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0), checking_(checking) {
    prefix_cache_.fill(-1);
    open_.reserve(16);
    bindings_.reserve(8);
}

void Reader::fail(Event& event, const char* message, std::size_t offset) {
    event.kind = Event::Kind::error;
    event.raw = message;
    event.offset = offset;
}

inline const Reader::Binding* Reader::find_binding(std::string_view prefix) const {
    const std::int32_t cached = prefix_cache_[static_cast<unsigned char>(prefix[0])];
    if (cached >= 0 && same_bytes(bindings_[static_cast<std::size_t>(cached)].prefix, prefix))
        return &bindings_[static_cast<std::size_t>(cached)];
    if (newest_binding_.empty()) return nullptr;
    const auto newest = newest_binding_.find(prefix);
    return newest == newest_binding_.end() ? nullptr : &bindings_[static_cast<std::size_t>(newest->second)];
}

std::optional<Name> Reader::lookup_prefix(std::string_view prefix) const {
    if (prefix.empty()) return std::nullopt;
    Name name;
    if (const Binding* binding = find_binding(prefix)) {
        name.ns = binding->ns;
        name.uri_index = binding->uri_index;
        return name;
    }
    if (prefix != "xml") return std::nullopt;
    name.ns = xml_namespace;
    return name;
}

void Reader::bind(std::string_view prefix, std::string_view uri) {
    std::uint16_t ns = no_namespace;
    std::uint32_t uri_index = 0;
    if (!uri.empty()) {
        ns = other_namespace;
        for (const KnownUri& known : known_uris) {
            if (known.uri != uri) continue;
            ns = known.ns;
            saw_transitional_ |= known.form == transitional;
            saw_strict_ |= known.form == strict;
            break;
        }
        if (ns == other_namespace) {
            const auto [slot, added] =
                other_uri_index_.try_emplace(uri, static_cast<std::uint32_t>(other_uris_.size()));
            if (added) other_uris_.push_back(uri);
            uri_index = slot->second;
        }
    }
    const auto index = static_cast<std::int32_t>(bindings_.size());
    Binding binding{prefix, ns, uri_index, -1, -1, default_ns_, default_uri_index_};
    if (prefix.empty()) {
        default_ns_ = ns;
        default_uri_index_ = uri_index;
    } else {
        std::int32_t& cache = prefix_cache_[static_cast<unsigned char>(prefix[0])];
        binding.shadowed_cache = cache;
        cache = index;
        auto [newest, added] = newest_binding_.try_emplace(prefix, index);
        if (!added) binding.shadowed_newest = std::exchange(newest->second, index);
    }
    bindings_.push_back(binding);
}

XmlStatus Reader::declare_namespaces(std::string_view attrs, std::size_t offset) {
    bool declared_default = false;
    const std::size_t first = bindings_.size();
    for (const Attr& attr : Attrs(this, attrs)) {
        std::string_view prefix;
        if (!attr.name.has_colon() && attr.name.local() == default_declaration) {
            if (checking_ && declared_default)
                return std::unexpected(XmlError{"duplicate default namespace declaration", offset});
            declared_default = true;
        } else if (attr.name.prefix() == default_declaration) {
            prefix = attr.name.local();
            if (checking_) {
                const auto newest = newest_binding_.find(prefix);
                if (newest != newest_binding_.end() && static_cast<std::size_t>(newest->second) >= first)
                    return std::unexpected(XmlError{"duplicate namespace declaration", offset});
            }
            if (prefix.empty()) continue;
        } else {
            continue;
        }
        bind(prefix, attr.value);
    }
    return {};
}

void Reader::pop_element() {
    const std::size_t keep = open_.back().bindings_before;
    while (bindings_.size() > keep) {
        const Binding& binding = bindings_.back();
        if (binding.prefix.empty()) {
            default_ns_ = binding.shadowed_default_ns;
            default_uri_index_ = binding.shadowed_default_uri_index;
        } else {
            prefix_cache_[static_cast<unsigned char>(binding.prefix[0])] = binding.shadowed_cache;
            if (binding.shadowed_newest >= 0)
                newest_binding_[binding.prefix] = binding.shadowed_newest;
            else
                newest_binding_.erase(binding.prefix);
        }
        bindings_.pop_back();
    }
    open_.pop_back();
    if (open_.empty()) root_closed_ = true;
}

std::optional<XmlError> Reader::check_text(std::size_t from, std::size_t to) const {
    for (std::size_t i = from; i < to; ++i) {
        const auto c = static_cast<unsigned char>(input_[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return XmlError{"character not allowed in XML", i};
        if (c == ']' && input_.substr(i, 3) == "]]>" && i + 3 <= to)
            return XmlError{"']]>' is not allowed in character data", i};
    }
    return std::nullopt;
}

XmlResult<std::size_t> Reader::skip_markup(std::size_t at) const {
    const std::string_view rest = input_.substr(at);
    auto past = [&](std::string_view terminator, std::size_t from, const char* message) -> XmlResult<std::size_t> {
        const std::size_t found = input_.find(terminator, at + from);
        if (found == std::string_view::npos) return std::unexpected(XmlError{message, at});
        return found + terminator.size();
    };
    if (rest.starts_with("<?")) return past("?>", 2, "unterminated processing instruction");
    if (rest.starts_with("<!--")) return past("-->", 4, "unterminated comment");
    if (rest.starts_with("<![CDATA[")) return past("]]>", 9, "unterminated CDATA section");
    if (rest.starts_with("<!DOCTYPE"))
        return std::unexpected(XmlError{"DTD declarations are not allowed in package parts", at});
    return std::unexpected(XmlError{"unrecognized markup declaration", at});
}

XmlResult<std::size_t> Reader::match_end_tag(std::size_t at) const {
    const std::size_t name_start = at + 2;
    if (!open_.empty()) {
        const std::string_view expected = open_.back().name.raw();
        if (input_.size() - name_start > expected.size() && input_[name_start + expected.size()] == '>' &&
            same_bytes(input_.substr(name_start, expected.size()), expected))
            return name_start + expected.size() + 1;
    }
    return match_end_tag_generally(at);
}

XmlResult<std::size_t> Reader::match_end_tag_generally(std::size_t at) const {
    const std::size_t name_start = at + 2;
    const std::size_t close = input_.find('>', name_start);
    if (close == std::string_view::npos) return std::unexpected(XmlError{"unterminated end tag", at});
    if (open_.empty()) return std::unexpected(XmlError{"end tag without a start tag", at});
    if (trim(input_.substr(name_start, close - name_start)) != open_.back().name.raw())
        return std::unexpected(XmlError{"end tag does not match the open element", at});
    return close + 1;
}

XmlResult<Reader::TagEnd> Reader::careful_tag_end(std::size_t from) const {
    const std::string_view s = input_;
    const std::size_t n = s.size();
    std::size_t i = from;
    const auto unterminated = std::unexpected(XmlError{"unterminated start tag", n});
    for (;;) {
        while (i < n && is_space(s[i])) ++i;
        if (i >= n) return unterminated;
        if (s[i] == '>') return TagEnd{i, i + 1, false};
        if (s[i] == '/') {
            if (i + 1 >= n) return unterminated;
            if (s[i + 1] != '>') return std::unexpected(XmlError{"'/' must be followed by '>'", i});
            return TagEnd{i, i + 2, true};
        }
        while (i < n && !is_space(s[i]) && s[i] != '=' && s[i] != '/' && s[i] != '>') ++i;
        while (i < n && is_space(s[i])) ++i;
        if (i >= n) return unterminated;
        if (s[i] != '=') {
            if (checking_) return std::unexpected(XmlError{"attribute without a value", i});
            continue;
        }
        ++i;
        while (i < n && is_space(s[i])) ++i;
        if (i >= n) return unterminated;
        const char quote = s[i];
        if (quote != '"' && quote != '\'') return std::unexpected(XmlError{"attribute value must be quoted", i});
        const std::size_t close = s.find(quote, i + 1);
        if (close == std::string_view::npos) return std::unexpected(XmlError{"unterminated attribute value", i});
        if (checking_) {
            const std::size_t lt = s.substr(0, close).find('<', i + 1);
            if (lt != std::string_view::npos)
                return std::unexpected(XmlError{"'<' is not allowed in an attribute value", lt});
        }
        i = close + 1;
    }
}

XmlResult<Reader::StartTagScan> Reader::scan_start_tag(std::size_t name_start) const {
    const char* const s = input_.data();
    const std::size_t n = input_.size();
    std::size_t name_end = n;
    bool name_found = false;
    if (!checking_) {
        // Sixteen bytes at a time, in one pass: the end of the name, then the
        // first '>' outside quotes. Blocks without single quotes find it
        // branch-free from the double-quote parity; others walk their quotes
        // and '>' in order.
        char quote = 0;
        bool maybe_xmlns = false;
        for (std::size_t block = name_start; block < n; block += 16) {
            const TagBlock stops =
                n - block >= 20 ? tag_block(s + block, !name_found) : tag_block_tail(s + block, n - block);
            unsigned live = 0xFFFF;  // the bits after the name
            if (!name_found) {
                if (stops.separator == 0) continue;
                const unsigned at = static_cast<unsigned>(__builtin_ctz(stops.separator));
                name_end = block + at;
                name_found = true;
                live &= ~((1u << at) - 1);
            }
            maybe_xmlns |= (stops.xmlns_candidate & live) != 0;
            const unsigned greater = stops.greater & live;
            const unsigned double_quote = stops.double_quote & live;
            const unsigned single_quote = stops.single_quote & live;
            auto found = [&](std::size_t i) {
                const bool self_closing = i > name_end && s[i - 1] == '/';
                return StartTagScan{name_end, TagEnd{self_closing ? i - 1 : i, i + 1, self_closing}, maybe_xmlns};
            };
            if (single_quote == 0 && quote != '\'') {
                const unsigned parity = prefix_xor16(double_quote);  // bit 15: an odd number of quotes
                const unsigned inside = parity ^ (quote == '"' ? 0xFFFFu : 0u);
                const unsigned outside = greater & ~inside;
                if (outside != 0) return found(block + static_cast<std::size_t>(__builtin_ctz(outside)));
                if (parity & 0x8000) quote = quote == '"' ? 0 : '"';
                continue;
            }
            for (unsigned mask = greater | double_quote | single_quote; mask != 0; mask &= mask - 1) {
                const std::size_t i = block + static_cast<std::size_t>(__builtin_ctz(mask));
                const char c = s[i];
                if (quote != 0) {
                    if (c == quote) quote = 0;
                } else if (c == '>') {
                    return found(i);
                } else {
                    quote = c;
                }
            }
        }
    }
    return scan_start_tag_carefully(name_start, name_found ? name_end : std::string_view::npos);
}

XmlResult<Reader::StartTagScan> Reader::scan_start_tag_carefully(std::size_t name_start, std::size_t name_end) const {
    const std::size_t n = input_.size();
    if (name_end == std::string_view::npos) {
        name_end = name_start;
        while (name_end < n && std::string_view(" \t\r\n/>").find(input_[name_end]) == std::string_view::npos)
            ++name_end;
    }
    if (name_end == name_start) return StartTagScan{name_end, {}, false};  // the caller reports it
    auto tag = careful_tag_end(name_end);
    if (!tag) return std::unexpected(tag.error());
    return StartTagScan{name_end, *tag, true};
}

void Reader::start_tag(Event& event) {
    const std::size_t lt = pos_;
    const std::size_t name_start = lt + 1;
    auto scanned = scan_start_tag(name_start);
    if (!scanned) return fail(event, scanned.error().message, scanned.error().offset);
    const std::size_t name_end = scanned->name_end;
    const TagEnd* const tag = &scanned->end;
    if (name_end == name_start) return fail(event, "element name expected", name_start);
    const std::string_view raw_name = input_.substr(name_start, name_end - name_start);

    // Built in a local, so that it can live in registers: copying it from
    // memory just after its narrow fields were stored would stall.
    Name name(raw_name);
    if (checking_) {
        if (!valid_name_piece(name.local()) || (name.has_colon() && !valid_name_piece(name.prefix())))
            return fail(event, "invalid element name", name_start);
        if (root_closed_ && open_.empty()) return fail(event, "more than one root element", lt);
    }
    event.kind = Event::Kind::start;
    event.offset = lt;
    event.flag = tag->self_closing;
    event.raw = input_.substr(name_end, tag->attrs_end - name_end);

    const std::size_t bindings_before = bindings_.size();
    if (scanned->maybe_xmlns && contains_xmlns(event.raw)) {
        if (auto declared = declare_namespaces(event.raw, lt); !declared)
            return fail(event, declared.error().message, declared.error().offset);
    }
    const std::string_view prefix = name.prefix();
    if (prefix.empty()) {
        name.ns = default_ns_;
        name.uri_index = default_uri_index_;
    } else if (const Binding* binding = find_binding(prefix)) {
        name.ns = binding->ns;
        name.uri_index = binding->uri_index;
    } else if (prefix == "xml") {
        name.ns = xml_namespace;
    } else if (checking_) {
        return fail(event, "undeclared namespace prefix", name_start);
    }
    event.name = name;
    open_.push_back({name, bindings_before});
    saw_root_ = true;
    pending_end_ = tag->self_closing;
    pos_ = tag->after;
}

void Reader::end_event(Event& event) const {
    event.kind = Event::Kind::end;
    event.name = open_.back().name;
}

void Reader::end_tag(Event& event) {
    auto after = match_end_tag(pos_);
    if (!after) return fail(event, after.error().message, after.error().offset);
    end_event(event);
    pop_element();
    pos_ = *after;
}

Event Reader::next() {
    // Kept small for the common events; everything else is in next_other.
    Event event;
    if (pending_end_) {
        pending_end_ = false;
        end_event(event);
        pop_element();
        return event;
    }
    if (input_.size() - pos_ >= 2 && input_[pos_] == '<') {
        const char next_byte = input_[pos_ + 1];
        if (next_byte == '/') {
            end_tag(event);
            return event;
        }
        if (next_byte != '!' && next_byte != '?') {
            start_tag(event);
            return event;
        }
    }
    next_other(event);
    return event;
}

void Reader::next_other(Event& event) {
    const char* const base = input_.data();
    const std::size_t n = input_.size();
    for (;;) {
        if (pos_ >= n) {
            if (!open_.empty()) fail(event, "unexpected end of document inside an element", n);
            return;
        }
        if (input_[pos_] != '<') {
            const std::size_t start = pos_;
            const auto end = static_cast<std::size_t>(
                static_cast<const char*>(std::memchr(base + start, '<', n - start) ?: base + n) - base);
            if (open_.empty()) {
                for (std::size_t i = start; i < end; ++i)
                    if (!is_space(input_[i])) return fail(event, "text outside the root element", i);
                pos_ = end;
                continue;
            }
            if (checking_) {
                if (auto bad = check_text(start, end)) return fail(event, bad->message, bad->offset);
            }
            pos_ = end;
            event.kind = Event::Kind::text;
            event.raw = input_.substr(start, end - start);
            return;
        }
        if (pos_ + 1 >= n) return fail(event, "unterminated tag", pos_);
        const char next_byte = input_[pos_ + 1];
        if (next_byte == '/') return end_tag(event);
        if (next_byte != '!' && next_byte != '?') return start_tag(event);
        auto end = skip_markup(pos_);
        if (!end) return fail(event, end.error().message, end.error().offset);
        if (input_.compare(pos_, 9, "<![CDATA[") == 0) {
            if (open_.empty()) return fail(event, "text outside the root element", pos_);
            const std::size_t start = pos_ + 9;
            const std::size_t stop = *end - 3;
            if (checking_) {
                for (std::size_t i = start; i < stop; ++i) {
                    const auto c = static_cast<unsigned char>(input_[i]);
                    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                        return fail(event, "character not allowed in XML", i);
                }
            }
            pos_ = *end;
            event.kind = Event::Kind::text;
            event.raw = input_.substr(start, stop - start);
            event.flag = true;
            return;
        }
        pos_ = *end;
    }
}

std::optional<std::string_view> Reader::attr(const Event& start, std::uint16_t namespace_number,
                                             std::string_view local) const {
    for (const Attr& attr : attrs(start))
        if (attr.name.ns == namespace_number && attr.name.local() == local) return attr.value;
    return std::nullopt;
}

XmlStatus Reader::text_content(std::string& out) {
    std::size_t nested = 0;
    for (;;) {
        const Event event = next();
        switch (event.kind) {
            case Event::Kind::start: ++nested; break;
            case Event::Kind::end:
                if (nested == 0) return {};
                --nested;
                break;
            case Event::Kind::text:
                if (event.cdata())
                    push_lossy(event.raw, out);
                else
                    unescape_into(event.raw, out);
                break;
            case Event::Kind::eof: return {};
            case Event::Kind::error: return std::unexpected(event.error());
        }
    }
}

XmlStatus Reader::skip_element() {
    if (pending_end_) {
        pending_end_ = false;
        pop_element();
        return {};
    }
    if (open_.empty()) return std::unexpected(XmlError{"nothing to skip", pos_});
    const std::size_t parent_depth = open_.size() - 1;
    const std::size_t n = input_.size();
    while (open_.size() > parent_depth) {
        const std::size_t lt = input_.find('<', pos_);
        if (lt == std::string_view::npos)
            return std::unexpected(XmlError{"unexpected end of document inside an element", n});
        pos_ = lt;
        if (lt + 1 >= n) return std::unexpected(XmlError{"unterminated tag", lt});
        const char next_byte = input_[lt + 1];
        if (next_byte == '/') {
            auto after = match_end_tag(lt);
            if (!after) return std::unexpected(after.error());
            pop_element();
            pos_ = *after;
        } else if (next_byte == '!' || next_byte == '?') {
            auto end = skip_markup(lt);
            if (!end) return std::unexpected(end.error());
            pos_ = *end;
        } else {
            auto scanned = scan_start_tag(lt + 1);
            if (!scanned) return std::unexpected(scanned.error());
            const std::size_t name_end = scanned->name_end;
            if (name_end == lt + 1) return std::unexpected(XmlError{"element name expected", lt + 1});
            if (!scanned->end.self_closing)
                open_.push_back({Name::unsplit(input_.substr(lt + 1, name_end - lt - 1)), bindings_.size()});
            pos_ = scanned->end.after;
        }
    }
    return {};
}

XmlStatus well_formed(std::string_view bytes) {
    Reader reader(bytes, true);
    for (;;) {
        const Event event = reader.next();
        if (event.kind == Event::Kind::error) return std::unexpected(event.error());
        if (event.kind == Event::Kind::eof) {
            if (!reader.saw_root()) return std::unexpected(XmlError{"no root element", bytes.size()});
            return {};
        }
    }
}

}  // namespace velmora::core::xml
