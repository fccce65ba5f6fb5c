// Reads arbitrary bytes as XML every way the parsers do: an event pass in
// each mode with attributes and text decoded, a children walk that mixes
// reading text, skipping and descending, and the relationships and content
// types parsers.
#include <string>

#include "core/mc.hpp"
#include "core/opc.hpp"
#include "core/utf16.hpp"
#include "core/xml.hpp"

using namespace velmora::core;

namespace {

void event_pass(std::string_view text, bool checking) {
    xml::Reader reader(text, checking);
    std::string decoded;
    for (;;) {
        const xml::Event event = reader.next();
        if (event.kind == xml::Event::Kind::eof || event.kind == xml::Event::Kind::error) return;
        if (event.kind == xml::Event::Kind::start) {
            for (const xml::Attr& attr : reader.attrs(event)) decoded += xml::unescape_attr(attr.value);
            (void)event.name.qualified();
        } else if (event.kind == xml::Event::Kind::text) {
            xml::unescape_into(event.raw, decoded);
        }
        if (decoded.size() > 1 << 16) decoded.clear();
    }
}

xml::XmlStatus walk(xml::Reader& reader, std::size_t depth) {
    return xml::children_inner(reader, [depth](xml::Reader& inner, const xml::Event& start) -> xml::XmlStatus {
        switch (start.name.local().size() % 3) {
            case 0: {
                std::string text;
                return inner.text_content(text);
            }
            case 1: return depth < 64 ? walk(inner, depth + 1) : xml::XmlStatus{};
            default: return {};
        }
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    event_pass(text, false);
    event_pass(text, true);
    (void)xml::well_formed(text);
    {
        xml::Reader reader(text);
        if (reader.next().kind == xml::Event::Kind::start) (void)walk(reader, 0);
    }
    if (auto relationships = opc::Relationships::parse("/ppt/slides/slide1.xml", text)) {
        for (const auto& relationship : relationships->relationships) (void)relationships->resolve(relationship);
    }
    if (auto types = opc::ContentTypes::parse(text)) (void)types->content_type_of("/ppt/slides/slide1.xml");
    if (auto utf8 = utf16_xml_to_utf8(text)) (void)xml::well_formed(*utf8);
    (void)opc::validate_part_name(text);
    (void)opc::resolve_target("/ppt/slides/slide1.xml", text);
    return 0;
}
