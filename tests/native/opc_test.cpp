#include <gtest/gtest.h>

#include "core/opc.hpp"

namespace velmora::core::opc {
namespace {

std::string validation(std::string_view name) {
    auto valid = validate_part_name(name);
    return valid ? "ok" : valid.error().to_string();
}

TEST(PartNames, Validation) {
    const struct {
        std::string name;
        std::string expected;
    } cases[] = {
        {"/ppt/slides/slide1.xml", "ok"},
        {"/ppt/m\xC3\xA9\x64ia/\xE5\x9B\xBE.png", "ok"},
        {"/a/!$&'()*+,;=@:_~-.x/%20", "ok"},
        {"", "empty part name"},
        {"ppt/a.xml", "part name does not start with '/'"},
        {"/ppt/slides/", "trailing '/'"},
        {"/", "trailing '/'"},
        {"/ppt//a.xml", "empty segment"},
        {"/ppt/a.", "segment ends with '.'"},
        {"/ppt/./a", "segment ends with '.'"},
        {"/ppt/Slide 1.xml", "character ' ' must be percent-encoded"},
        {"/a\\b", "character '\\\\' must be percent-encoded"},
        {"/a\"b", "character '\"' must be percent-encoded"},
        {"/a\tb", "character '\\t' must be percent-encoded"},
        {"/a\x01" "b", "character '\\u{1}' must be percent-encoded"},
        {"/a?b", "character '?' must be percent-encoded"},
        {"/ppt/%2Fx.xml", "percent-encoded slash"},
        {"/ppt/%5cx.xml", "percent-encoded slash"},
        {"/ppt/%41.xml", "percent-encoded unreserved character"},
        {"/ppt/%7e.xml", "percent-encoded unreserved character"},
        {"/ppt/%4.xml", "'%' not followed by two hex digits"},
        {"/ppt/a%", "'%' not followed by two hex digits"},
        {"/ppt/a%2", "'%' not followed by two hex digits"},
    };
    for (const auto& c : cases) EXPECT_EQ(validation(c.name), c.expected) << c.name;
}

TEST(PartNames, Extensions) {
    EXPECT_EQ(extension("/ppt/slides/slide1.xml"), "xml");
    EXPECT_EQ(extension("/a.b/c"), std::nullopt);
    EXPECT_EQ(extension("/a/b."), "");
    EXPECT_EQ(extension("/a/b.tar.GZ"), "GZ");
    EXPECT_EQ(extension("[Content_Types].xml"), "xml");
}

TEST(PartNames, RelationshipsParts) {
    EXPECT_EQ(rels_part_name("/"), "/_rels/.rels");
    EXPECT_EQ(rels_part_name(""), "/_rels/.rels");
    EXPECT_EQ(rels_part_name("/ppt/slides/slide1.xml"), "/ppt/slides/_rels/slide1.xml.rels");
    EXPECT_EQ(rels_part_name("/presentation.xml"), "/_rels/presentation.xml.rels");
    EXPECT_EQ(rels_part_name("loose.xml"), "/_rels/loose.xml.rels");

    EXPECT_EQ(source_of_rels("/_rels/.rels"), "/");
    EXPECT_EQ(source_of_rels("/ppt/_rels/presentation.xml.rels"), "/ppt/presentation.xml");
    EXPECT_EQ(source_of_rels("/_rels/a.xml.rels"), "/a.xml");
    EXPECT_EQ(source_of_rels("/ppt/_rels/.rels"), std::nullopt);
    EXPECT_EQ(source_of_rels("/ppt/rels/a.xml.rels"), std::nullopt);
    EXPECT_EQ(source_of_rels("/ppt/_rels/a.xml"), std::nullopt);
    EXPECT_EQ(source_of_rels("a.rels"), std::nullopt);
}

TEST(PartNames, TargetResolution) {
    const struct {
        std::string source;
        std::string target;
        std::string expected;
    } cases[] = {
        {"/ppt/slides/slide1.xml", "../media/image1.png", "/ppt/media/image1.png"},
        {"/ppt/slides/slide1.xml", "..\\..\\..\\x.xml", "/x.xml"},
        {"/ppt/slides/slide1.xml", "slide2.xml#frag", "/ppt/slides/slide2.xml"},
        {"/ppt/slides/slide1.xml", "slide2.xml?q=1#f", "/ppt/slides/slide2.xml"},
        {"/ppt/slides/slide1.xml", "/ppt/./a//b.xml", "/ppt/a/b.xml"},
        {"/ppt/slides/slide1.xml", "\\root.xml", "/root.xml"},
        {"/", "ppt/presentation.xml", "/ppt/presentation.xml"},
        {"/ppt/presentation.xml", "", "/ppt"},
        {"/ppt/presentation.xml", "..", "/"},
        {"/a.xml", "%20b.xml", "/%20b.xml"},
    };
    for (const auto& c : cases) EXPECT_EQ(resolve_target(c.source, c.target), c.expected) << c.target;
}

constexpr std::string_view rels_header =
    "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";

TEST(RelationshipsPart, Parse) {
    const std::string input = std::string(rels_header) +
                              "<Relationship Id=\"rId1\" Type=\"t/slide\" Target=\"slides/slide1.xml\"/>"
                              "<Relationship Id=\"rId2\" Type=\"t/link\" Target=\"http://x.org/?a=1&amp;b=2\" TargetMode=\"External\"/>"
                              "<Relationship Id=\"rId1\" Type=\"t/dup\" Target=\"dup.xml\"/>"
                              "<Relationship Id=\"rId3\" Type=\"t/x\"/>"
                              "<Relationship Id=\"rId4\" Type=\"t/m\" Target=\"m.xml\" TargetMode=\"external\"><child/></Relationship>"
                              "<Other/>"
                              "</Relationships>";
    auto parsed = Relationships::parse("/ppt/presentation.xml", input);
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->wrong_root);
    ASSERT_EQ(parsed->relationships.size(), 4u);
    EXPECT_EQ(parsed->relationships[1].target, "http://x.org/?a=1&b=2");
    EXPECT_TRUE(parsed->relationships[1].external);
    EXPECT_FALSE(parsed->relationships[3].external);
    EXPECT_EQ(parsed->duplicate_ids, std::vector<std::size_t>{2});
    EXPECT_EQ(parsed->get("rId1")->type, "t/slide");
    EXPECT_EQ(parsed->get("RID1"), nullptr);
    EXPECT_EQ(parsed->resolve(*parsed->get("rId1")), "/ppt/slides/slide1.xml");
    EXPECT_EQ(parsed->resolve(*parsed->get("rId2")), std::nullopt);
    const std::size_t missing = input.find("<Relationship Id=\"rId3\"");
    const std::size_t bad_mode = input.find("<Relationship Id=\"rId4\"");
    const std::size_t other = input.find("<Other/>");
    EXPECT_EQ(parsed->problems, (std::vector<Problem>{{"Relationship without Id, Type or Target", missing},
                                                      {"TargetMode is neither Internal nor External", bad_mode},
                                                      {"unexpected element in a Relationships part", other}}));
    EXPECT_EQ(parsed->relationships[0].offset, rels_header.size());
}

TEST(RelationshipsPart, WrongRootStillYieldsRelationships) {
    const std::string input = "<r:Relationships xmlns:r=\"urn:other\"><r:Relationship Id=\"a\" Type=\"t\" Target=\"x\"/></r:Relationships>";
    auto parsed = Relationships::parse("/", input);
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->wrong_root);
    ASSERT_EQ(parsed->relationships.size(), 1u);
    EXPECT_EQ(parsed->resolve(parsed->relationships[0]), "/x");
}

TEST(RelationshipsPart, BrokenXmlFails) {
    const std::string input = std::string(rels_header) + "<Relationship Id=\"a\" Type=\"t\" Target=\"x\"></Relationships>";
    auto parsed = Relationships::parse("/", input);
    ASSERT_FALSE(parsed);
    EXPECT_STREQ(parsed.error().message, "end tag does not match the open element");
}

TEST(ContentTypesStream, ParseAndLookUp) {
    const std::string input =
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Default Extension=\"XML\" ContentType=\"text/xml\"/>"
        "<Default Extension=\"png\"/>"
        "<Override PartName=\"/ppt/a.xml\" ContentType=\"type/a\"/>"
        "<Override PartName=\"/PPT/A.XML\" ContentType=\"type/upper\"/>"
        "<Override ContentType=\"type/none\"/>"
        "<Bogus/>"
        "</Types>";
    auto parsed = ContentTypes::parse(input);
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->wrong_root);
    EXPECT_EQ(parsed->defaults.size(), 2u);
    EXPECT_EQ(parsed->overrides.size(), 2u);
    EXPECT_EQ(parsed->duplicate_defaults, std::vector<std::size_t>{1});
    EXPECT_EQ(parsed->duplicate_overrides, std::vector<std::size_t>{1});
    EXPECT_EQ(parsed->overrides[1].first, "/PPT/A.XML");
    EXPECT_EQ(parsed->content_type_of("/Ppt/A.xml"), "type/a");
    EXPECT_EQ(parsed->content_type_of("/x.XML"), "application/xml");
    EXPECT_EQ(parsed->content_type_of("/x.png"), std::nullopt);
    EXPECT_EQ(parsed->content_type_of("/noext"), std::nullopt);
    ASSERT_EQ(parsed->problems.size(), 3u);
    EXPECT_STREQ(parsed->problems[0].message, "Default element without Extension or ContentType");
    EXPECT_STREQ(parsed->problems[1].message, "Override element without PartName or ContentType");
    EXPECT_STREQ(parsed->problems[2].message, "unexpected element in the content types stream");
}

TEST(ContentTypesStream, WrongRoot) {
    auto parsed = ContentTypes::parse("<Types><Default Extension=\"a\" ContentType=\"b\"/></Types>");
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->wrong_root);
    EXPECT_EQ(parsed->content_type_of("/x.a"), "b");
}

}  // namespace
}  // namespace velmora::core::opc
