// A namespace-aware pull reader over XML bytes in place. Names, text and
// attribute values are views into the input, decoded only on request.
// Lenient mode (the default) fails only on structural damage; checking mode
// adds the well-formedness and namespace checks the verifier needs.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace velmora::core::xml {

// Namespace numbers. Transitional and Strict forms of a vocabulary share one.
enum Namespace : std::uint16_t {
    no_namespace = 0,
    presentationml = 1,
    drawingml = 2,
    relationships = 3,
    package_relationships = 4,
    content_types = 5,
    markup_compatibility = 6,
    core_properties = 7,
    dublin_core = 8,
    dublin_core_terms = 9,
    schema_instance = 10,
    extended_properties = 11,
    variant_types = 12,
    chart = 13,
    chartex = 14,
    diagram = 15,
    picture = 16,
    xml_namespace = 17,
    powerpoint_2010 = 18,
    powerpoint_2018 = 19,
    other_namespace = 20,
};

// The name of an element or attribute as written, with its namespace. Kept
// small (one pointer and four numbers) because every event carries one.
class Name {
public:
    Name() = default;
    // A raw qualified name, split at its first ':'.
    explicit Name(std::string_view raw);
    // A raw name that is never split, for elements that are only skipped.
    static Name unsplit(std::string_view raw) {
        Name name;
        name.text_ = raw.data();
        name.size_ = static_cast<std::uint32_t>(raw.size());
        return name;
    }

    std::string_view prefix() const { return {text_, local_offset_ ? local_offset_ - 1 : 0}; }
    std::string_view local() const { return {text_ + local_offset_, size_ - local_offset_}; }
    bool has_colon() const { return local_offset_ != 0; }
    // prefix:local exactly as written.
    std::string_view raw() const { return {text_, size_}; }
    // prefix:local (or local alone) as UTF-8.
    std::string qualified() const;
    bool is(std::uint16_t namespace_number, std::string_view local_name) const {
        return ns == namespace_number && local() == local_name;
    }

    std::uint32_t uri_index = 0;  // which other URI, for other_namespace
    std::uint16_t ns = no_namespace;

private:
    const char* text_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t local_offset_ = 0;  // 0 without a colon, else just past it
};

struct XmlError {
    const char* message;
    std::size_t offset;
    bool operator==(const XmlError& other) const {
        return offset == other.offset && std::string_view(message) == other.message;
    }
};

template <class T>
using XmlResult = std::expected<T, XmlError>;
using XmlStatus = XmlResult<void>;

struct Event {
    enum class Kind : std::uint8_t { start, end, text, eof, error };

    Name name;               // start, end
    std::string_view raw;    // start: the attribute text; text: the bytes; error: the message
    std::size_t offset = 0;  // start: its '<'; error: where the problem is
    Kind kind = Kind::eof;
    bool flag = false;       // start: self-closing; text: a CDATA section

    bool self_closing() const { return flag; }
    bool cdata() const { return flag; }
    const char* message() const { return raw.data(); }
    XmlError error() const { return {raw.data(), offset}; }
};

struct Attr {
    Name name;
    std::string_view value;  // raw, between the quotes
};

class Reader;

// The attributes of a start tag, in document order (declarations included).
class Attrs {
public:
    class iterator {
    public:
        iterator(const Reader* reader, std::string_view rest) : reader_(reader), rest_(rest) { advance(); }
        const Attr& operator*() const { return current_; }
        const Attr* operator->() const { return &current_; }
        iterator& operator++() {
            advance();
            return *this;
        }
        bool operator==(std::default_sentinel_t) const { return done_; }

    private:
        void advance();
        const Reader* reader_;
        std::string_view rest_;
        Attr current_;
        bool done_ = false;
    };

    Attrs(const Reader* reader, std::string_view raw) : reader_(reader), raw_(raw) {}
    iterator begin() const { return {reader_, raw_}; }
    std::default_sentinel_t end() const { return {}; }

private:
    const Reader* reader_;
    std::string_view raw_;
};

class Reader {
public:
    explicit Reader(std::string_view bytes, bool checking = false);
    // The reader keeps views into its input, so the input must outlive it.
    template <class Temporary>
        requires std::is_same_v<Temporary, std::string>
    explicit Reader(Temporary&& bytes, bool checking = false) = delete;

    Event next();

    // The raw value of the first attribute of `start` in `namespace_number` named `local`.
    std::optional<std::string_view> attr(const Event& start, std::uint16_t namespace_number,
                                         std::string_view local) const;
    Attrs attrs(const Event& start) const { return {this, start.raw}; }

    // Right after a start: appends the decoded text up to the matching end
    // (nested elements' text included) and consumes that end.
    XmlStatus text_content(std::string& out);
    // Right after a start: skips to just after its end.
    XmlStatus skip_element();

    // The namespace a prefix is bound to in the current scope (`xml` is
    // always bound); nothing when unbound.
    std::optional<Name> lookup_prefix(std::string_view prefix) const;

    std::size_t depth() const { return open_.size(); }
    bool saw_root() const { return saw_root_; }
    bool saw_transitional() const { return saw_transitional_; }
    bool saw_strict() const { return saw_strict_; }
    const std::vector<std::string_view>& other_uris() const { return other_uris_; }

private:
    // An open element: what its End event needs, and the bindings to drop.
    struct Open {
        Name name;
        std::size_t bindings_before;
    };
    // A namespace declaration in scope, with what it shadows, restored when
    // its element closes.
    struct Binding {
        std::string_view prefix;  // empty for a default declaration
        std::uint16_t ns;
        std::uint32_t uri_index;
        std::int32_t shadowed_cache;   // the first-byte cache slot's previous value
        std::int32_t shadowed_newest;  // the previous newest binding of this prefix, or -1
        std::uint16_t shadowed_default_ns;
        std::uint32_t shadowed_default_uri_index;
    };
    struct TagEnd {
        std::size_t attrs_end;  // where the attribute text stops
        std::size_t after;      // just past '>'
        bool self_closing;
    };
    struct StartTagScan {
        std::size_t name_end;
        TagEnd end;
        bool maybe_xmlns;  // the attribute text may declare namespaces
    };

    // Each fills the event next() returns, so it is built in place.
    static void fail(Event& event, const char* message, std::size_t offset);
    void start_tag(Event& event);
    void end_tag(Event& event);
    void end_event(Event& event) const;
    // Text, comments, processing instructions, CDATA and the end of input.
    [[gnu::noinline]] void next_other(Event& event);
    // The name and the end of the start tag whose name begins at `name_start`.
    XmlResult<StartTagScan> scan_start_tag(std::size_t name_start) const;
    // Checking mode, and lenient tags with an unclosed quote or no '>';
    // `name_end` is npos when the name's end is not yet known.
    [[gnu::noinline]] XmlResult<StartTagScan> scan_start_tag_carefully(std::size_t name_start,
                                                                       std::size_t name_end) const;
    XmlResult<TagEnd> careful_tag_end(std::size_t from) const;
    XmlStatus declare_namespaces(std::string_view attrs, std::size_t offset);
    void bind(std::string_view prefix, std::string_view uri);
    // The newest binding of a non-empty prefix, or null.
    const Binding* find_binding(std::string_view prefix) const;
    std::optional<XmlError> check_text(std::size_t from, std::size_t to) const;
    // Comments, processing instructions, CDATA: where they end.
    XmlResult<std::size_t> skip_markup(std::size_t at) const;
    // The end tag at `at` closes the innermost element: where it ends.
    XmlResult<std::size_t> match_end_tag(std::size_t at) const;
    // The end-tag rule when the tag is not exactly the innermost name and '>'.
    [[gnu::noinline]] XmlResult<std::size_t> match_end_tag_generally(std::size_t at) const;
    void pop_element();

    std::string_view input_;
    std::size_t pos_;
    bool checking_;
    bool pending_end_ = false;
    bool root_closed_ = false;
    bool saw_root_ = false;
    bool saw_transitional_ = false;
    bool saw_strict_ = false;
    std::vector<Open> open_;
    std::vector<Binding> bindings_;
    std::array<std::int32_t, 256> prefix_cache_;  // first byte -> newest binding, or -1
    std::uint16_t default_ns_ = no_namespace;
    std::uint32_t default_uri_index_ = 0;
    std::vector<std::string_view> other_uris_;
    std::unordered_map<std::string_view, std::uint32_t> other_uri_index_;
    std::unordered_map<std::string_view, std::int32_t> newest_binding_;  // prefix -> index in bindings_
};

// Decoded attribute value: entity and character references.
std::string unescape_attr(std::string_view raw);
// Appends decoded text: references and _xHHHH_ escapes.
void unescape_into(std::string_view raw, std::string& out);
// Appends bytes as UTF-8, invalid sequences as U+FFFD.
void push_lossy(std::string_view bytes, std::string& out);
// The code point of an entity reference body (between '&' and ';').
std::optional<char32_t> decode_entity(std::string_view body);

// Runs a checking reader to the end.
XmlStatus well_formed(std::string_view bytes);

}  // namespace velmora::core::xml
