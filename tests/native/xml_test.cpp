#include <gtest/gtest.h>

#include "core/xml.hpp"

namespace velmora::core::xml {
namespace {

constexpr std::string_view pml_t = "http://schemas.openxmlformats.org/presentationml/2006/main";
constexpr std::string_view pml_s = "http://purl.oclc.org/ooxml/presentationml/main";

// Every event as a line: "<ns:qualified", "<ns:qualified/" (self-closing),
// ">qualified", "text", "[cdata]", "eof", "error: message @offset".
std::vector<std::string> events(std::string_view input, bool checking = false) {
    Reader reader(input, checking);
    std::vector<std::string> lines;
    for (;;) {
        const Event e = reader.next();
        switch (e.kind) {
            case Event::Kind::start:
                lines.push_back("<" + std::to_string(e.name.ns) + ":" + e.name.qualified() +
                                (e.self_closing() ? "/" : ""));
                break;
            case Event::Kind::end: lines.push_back(">" + e.name.qualified()); break;
            case Event::Kind::text:
                lines.push_back(e.cdata() ? "[" + std::string(e.raw) + "]" : std::string(e.raw));
                break;
            case Event::Kind::eof: lines.push_back("eof"); return lines;
            case Event::Kind::error:
                lines.push_back("error: " + std::string(e.message()) + " @" + std::to_string(e.offset));
                return lines;
        }
    }
}

std::string last_event(std::string_view input, bool checking) { return events(input, checking).back(); }

TEST(XmlReader, EventSequences) {
    const struct {
        std::string input;
        std::vector<std::string> expected;
    } cases[] = {
        {"<a/>", {"<0:a/", ">a", "eof"}},
        {"\xEF\xBB\xBF<a/>", {"<0:a/", ">a", "eof"}},
        {"<?xml version=\"1.0\"?>\n<!-- c --><a>x<b>y</b><![CDATA[<z>]]></a>\n",
         {"<0:a", "x", "<0:b", "y", ">b", "[<z>]", ">a", "eof"}},
        {"<p:sld xmlns:p=\"" + std::string(pml_t) + "\"><p:cSld/></p:sld>", {"<1:p:sld", "<1:p:cSld/", ">p:cSld", ">p:sld", "eof"}},
        {"<sld xmlns=\"" + std::string(pml_s) + "\"><x xmlns=\"\"/></sld>", {"<1:sld", "<0:x/", ">x", ">sld", "eof"}},
        {"<a xmlns:o=\"urn:one\" xmlns:t=\"urn:two\"><o:x/><t:y/></a>", {"<0:a", "<20:o:x/", ">o:x", "<20:t:y/", ">t:y", ">a", "eof"}},
        {"<u:a/>", {"<0:u:a/", ">u:a", "eof"}},
        {"<xml:a/>", {"<17:xml:a/", ">xml:a", "eof"}},
        {"<a></ a >", {"<0:a", ">a", "eof"}},
        {"<a b='x>y' c=\"/>\"/>", {"<0:a/", ">a", "eof"}},
        {"<a b=\"<\"/>", {"<0:a/", ">a", "eof"}},
        {"<a>\n</a>\n\t ", {"<0:a", "\n", ">a", "eof"}},
    };
    for (const auto& c : cases) EXPECT_EQ(events(c.input), c.expected) << c.input;
}

TEST(XmlReader, PrefixScopesEndWithTheirElement) {
    const std::string input = "<r><a xmlns:p=\"" + std::string(pml_t) + "\"><p:x/></a><p:y/><p:z xmlns:p=\"urn:z\"/></r>";
    EXPECT_EQ(events(input), (std::vector<std::string>{"<0:r", "<0:a", "<1:p:x/", ">p:x", ">a", "<0:p:y/", ">p:y",
                                                       "<20:p:z/", ">p:z", ">r", "eof"}));
}

TEST(XmlReader, FormFlags) {
    const std::string strict_input = "<p:a xmlns:p=\"" + std::string(pml_s) + "\"/>";
    Reader strict(strict_input);
    EXPECT_EQ(strict.next().name.ns, presentationml);
    EXPECT_TRUE(strict.saw_strict());
    EXPECT_FALSE(strict.saw_transitional());
    const std::string transitional_input = "<p:a xmlns:p=\"" + std::string(pml_t) + "\" xmlns:x=\"urn:x\"/>";
    Reader transitional(transitional_input);
    EXPECT_EQ(transitional.next().name.ns, presentationml);
    EXPECT_TRUE(transitional.saw_transitional());
    EXPECT_FALSE(transitional.saw_strict());
    EXPECT_EQ(transitional.other_uris(), std::vector<std::string_view>{"urn:x"});
}

// The same document in both modes: lenient verdict, checking verdict.
TEST(XmlReader, ErrorsInBothModes) {
    const struct {
        std::string input;
        std::string lenient;
        std::string checking;
    } cases[] = {
        {"", "eof", "eof"},
        {"<a>", "error: unexpected end of document inside an element @3", "error: unexpected end of document inside an element @3"},
        {"<a>x</b>", "error: end tag does not match the open element @4", "error: end tag does not match the open element @4"},
        {"</a>", "error: end tag without a start tag @0", "error: end tag without a start tag @0"},
        {"<a></a", "error: unterminated end tag @3", "error: unterminated end tag @3"},
        {"<a><", "error: unterminated tag @3", "error: unterminated tag @3"},
        {"<a b=\"1", "error: unterminated attribute value @5", "error: unterminated attribute value @5"},
        {"<a b=1></a>", "eof", "error: attribute value must be quoted @5"},
        {"<a /x></a>", "eof", "error: '/' must be followed by '>' @3"},
        {"<a b='1' c='", "error: unterminated attribute value @11", "error: unterminated attribute value @11"},
        {"<a b", "error: unterminated start tag @4", "error: unterminated start tag @4"},
        {"<a b></a>", "eof", "error: attribute without a value @4"},
        {"<a b=\"<\"/>", "eof", "error: '<' is not allowed in an attribute value @6"},
        {"< a/>", "error: element name expected @1", "error: element name expected @1"},
        {"<!DOCTYPE a><a/>", "error: DTD declarations are not allowed in package parts @0",
         "error: DTD declarations are not allowed in package parts @0"},
        {"<!ELEMENT a><a/>", "error: unrecognized markup declaration @0", "error: unrecognized markup declaration @0"},
        {"<a><!-- x </a>", "error: unterminated comment @3", "error: unterminated comment @3"},
        {"<a><![CDATA[ x </a>", "error: unterminated CDATA section @3", "error: unterminated CDATA section @3"},
        {"<?xml version=\"1.0\"", "error: unterminated processing instruction @0", "error: unterminated processing instruction @0"},
        {"<a/>junk", "error: text outside the root element @4", "error: text outside the root element @4"},
        {"junk<a/>", "error: text outside the root element @0", "error: text outside the root element @0"},
        {"<a/><![CDATA[x]]>", "error: text outside the root element @4", "error: text outside the root element @4"},
        {"<a/><b/>", "eof", "error: more than one root element @4"},
        {"<u:a/>", "eof", "error: undeclared namespace prefix @1"},
        {"<1a/>", "eof", "error: invalid element name @1"},
        {"<a:/>", "eof", "error: invalid element name @1"},
        {"<a>x\x01y</a>", "eof", "error: character not allowed in XML @4"},
        {"<a>x]]>y</a>", "eof", "error: ']]>' is not allowed in character data @4"},
        {"<a xmlns='u:1' xmlns='u:2'/>", "eof", "error: duplicate default namespace declaration @0"},
        {"<a xmlns:p='u:1' xmlns:p='u:2'/>", "eof", "error: duplicate namespace declaration @0"},
        {"<a b = \"1\"/>", "eof", "eof"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(last_event(c.input, false), c.lenient) << "lenient: " << c.input;
        EXPECT_EQ(last_event(c.input, true), c.checking) << "checking: " << c.input;
    }
}

TEST(XmlReader, WellFormed) {
    EXPECT_TRUE(well_formed("<?xml version=\"1.0\"?><a><b/>text</a>"));
    EXPECT_EQ(well_formed("  <!-- only a comment -->  ").error(), (XmlError{"no root element", 27}));
    EXPECT_EQ(well_formed("<u:a/>").error(), (XmlError{"undeclared namespace prefix", 1}));
}

TEST(XmlReader, Attributes) {
    const std::string input =
        "<p:a xmlns:p=\"" + std::string(pml_t) + "\" id = '7' p:name=\"n&amp;m\" xml:lang=\"en\" u:z=\"q\"/>";
    Reader reader(input);
    const Event start = reader.next();
    std::vector<std::string> seen;
    for (const Attr& attr : reader.attrs(start))
        seen.push_back(std::to_string(attr.name.ns) + ":" + attr.name.qualified() + "=" + std::string(attr.value));
    EXPECT_EQ(seen, (std::vector<std::string>{"0:xmlns:p=" + std::string(pml_t), "0:id=7", "1:p:name=n&amp;m",
                                              "17:xml:lang=en", "0:u:z=q"}));
    EXPECT_EQ(reader.attr(start, no_namespace, "id"), "7");
    EXPECT_EQ(reader.attr(start, presentationml, "name"), "n&amp;m");
    EXPECT_EQ(reader.attr(start, no_namespace, "name"), std::nullopt);
}

TEST(XmlReader, DefaultNamespaceDoesNotApplyToAttributes) {
    const std::string input = "<a xmlns=\"" + std::string(pml_t) + "\" b=\"1\"/>";
    Reader reader(input);
    const Event start = reader.next();
    EXPECT_EQ(start.name.ns, presentationml);
    EXPECT_EQ(reader.attr(start, no_namespace, "b"), "1");
}

TEST(XmlReader, Decoding) {
    const struct {
        std::string_view raw;
        std::string text;       // unescape_into
        std::string attribute;  // unescape_attr
    } cases[] = {
        {"a&amp;b &bogus; _x0041_", "a&b &bogus; A", "a&b &bogus; _x0041_"},
        {"&lt;&gt;&apos;&quot;", "<>'\"", "<>'\""},
        {"&#x1F600;&#65;", "\xF0\x9F\x98\x80" "A", "\xF0\x9F\x98\x80" "A"},
        {"&#xD800;&#x110000;&#;&#xZ;", "&#xD800;&#x110000;&#;&#xZ;", "&#xD800;&#x110000;&#;&#xZ;"},
        {"&amp", "&amp", "&amp"},
        {"&verylongentityname;", "&verylongentityname;", "&verylongentityname;"},
        {"_xD800_ _x004_ _x0041", "_xD800_ _x004_ _x0041", "_xD800_ _x004_ _x0041"},
        {"bad \xFF byte", "bad \xEF\xBF\xBD byte", "bad \xEF\xBF\xBD byte"},
    };
    for (const auto& c : cases) {
        std::string text;
        unescape_into(c.raw, text);
        EXPECT_EQ(text, c.text) << c.raw;
        EXPECT_EQ(unescape_attr(c.raw), c.attribute) << c.raw;
    }
    EXPECT_EQ(decode_entity("#0"), U'\0');
    EXPECT_EQ(decode_entity("nbsp"), std::nullopt);
}

TEST(XmlReader, TextContent) {
    Reader reader("<a>one &amp; <b>two</b><c/><![CDATA[ & three]]></a><!-- end -->");
    reader.next();
    std::string text;
    ASSERT_TRUE(reader.text_content(text));
    EXPECT_EQ(text, "one & two & three");
    EXPECT_EQ(reader.next().kind, Event::Kind::eof);

    Reader self_closing("<r><a/><b>x</b></r>");
    self_closing.next();
    self_closing.next();
    std::string nothing;
    ASSERT_TRUE(self_closing.text_content(nothing));
    EXPECT_EQ(nothing, "");
    EXPECT_EQ(self_closing.next().name.local(), "b");
}

TEST(XmlReader, SkipElement) {
    Reader reader("<r><a x='>'><b><c/><!-- </a> --><?pi </a>?><![CDATA[</a>]]></b ></a><d/></r>");
    reader.next();
    EXPECT_EQ(reader.next().name.local(), "a");
    ASSERT_TRUE(reader.skip_element());
    EXPECT_EQ(reader.depth(), 1u);
    const Event d = reader.next();
    EXPECT_EQ(d.name.local(), "d");
    ASSERT_TRUE(reader.skip_element());  // only the pending end
    EXPECT_EQ(reader.next().kind, Event::Kind::end);
    EXPECT_EQ(reader.next().kind, Event::Kind::eof);

    Reader top("<a/>");
    EXPECT_EQ(top.skip_element().error(), (XmlError{"nothing to skip", 0}));
    Reader cut("<r><a><b></a>");
    cut.next();
    cut.next();
    EXPECT_EQ(cut.skip_element().error(), (XmlError{"end tag does not match the open element", 9}));
    Reader open("<r><a><b>");
    open.next();
    open.next();
    EXPECT_EQ(open.skip_element().error(), (XmlError{"unexpected end of document inside an element", 9}));
}

TEST(XmlReader, HostileInputStaysLinear) {
    // Deep nesting, a huge attribute list and many prefixes sharing a first byte.
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<p:a xmlns:p='urn:x'>";
    EXPECT_EQ(last_event(deep, false), "error: unexpected end of document inside an element @" +
                                           std::to_string(deep.size()));
    std::string wide = "<a";
    for (int i = 0; i < 100000; ++i) wide += " xmlns:p" + std::to_string(i) + "='urn:" + std::to_string(i) + "'";
    wide += ">";
    for (int i = 0; i < 100000; ++i) wide += "<p0:b/>";
    wide += "</a>";
    EXPECT_EQ(last_event(wide, false), "eof");
    EXPECT_EQ(last_event(wide, true), "eof");
}

}  // namespace
}  // namespace velmora::core::xml
