#include "mc.hpp"

#include <algorithm>

namespace velmora::core::xml {
namespace {

// Alternate content nested deeper than this is left to the handler as a plain
// element, so hostile nesting cannot exhaust the stack.
constexpr std::size_t max_alternate_content_depth = 256;

// Closes every element at or below `depth` that a handler left open.
XmlStatus skip_to_depth(Reader& reader, std::size_t depth) {
    while (reader.depth() >= depth) {
        if (auto skipped = reader.skip_element(); !skipped) return skipped;
    }
    return {};
}

// Walks the branches of an mc:AlternateContent: the first Choice whose
// requirements are understood, or a Fallback met before any such Choice,
// has its children given to `handler`; every other branch is skipped.
XmlStatus alternate_content(Reader& reader, ChildHandler handler) {
    bool taken = false;
    return children_inner(
        reader,
        [&](Reader& inner, const Event& branch) -> XmlStatus {
            if (taken || branch.name.ns != markup_compatibility) return {};
            const bool choice = branch.name.local() == "Choice";
            if (!choice && branch.name.local() != "Fallback") return {};
            if (choice && !requires_understood(inner, branch)) return {};
            taken = true;
            return children_inner(inner, handler, true);
        },
        false);
}

}  // namespace

bool requires_understood(const Reader& reader, const Event& choice) {
    const auto requires_value = reader.attr(choice, no_namespace, "Requires");
    if (!requires_value) return false;
    std::string_view rest = *requires_value;
    bool any = false;
    for (;;) {
        const std::size_t start = rest.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const std::size_t end = std::min(rest.find_first_of(" \t\r\n"), rest.size());
        const auto bound = reader.lookup_prefix(rest.substr(0, end));
        if (!bound || bound->ns < presentationml || bound->ns > xml_namespace) return false;
        any = true;
        rest.remove_prefix(end);
    }
    return any;
}

XmlStatus children_inner(Reader& reader, ChildHandler handler, bool apply_alternate_content) {
    const std::size_t child_depth = reader.depth() + 1;
    for (;;) {
        const Event event = reader.next();
        switch (event.kind) {
            case Event::Kind::start: {
                const bool alternate = apply_alternate_content && reader.depth() <= max_alternate_content_depth &&
                                       event.name.is(markup_compatibility, "AlternateContent");
                const XmlStatus status = alternate ? alternate_content(reader, handler) : handler(reader, event);
                if (!status) return status;
                if (auto skipped = skip_to_depth(reader, child_depth); !skipped) return skipped;
                break;
            }
            case Event::Kind::end:
            case Event::Kind::eof: return {};
            case Event::Kind::error: return std::unexpected(event.error());
            case Event::Kind::text: break;
        }
    }
}

}  // namespace velmora::core::xml
