#include <gtest/gtest.h>

#include "core/package.hpp"
#include "fixtures.hpp"

namespace velmora::testing {
namespace {

using core::Package;

constexpr std::string_view content_types =
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";

Package package_of(const std::vector<std::pair<std::string, std::string>>& items) {
    std::vector<ZipItem> zip_items;
    for (const auto& [name, data] : items) zip_items.push_back({.name = name, .data = bytes_of(data), .deflate = true});
    auto package = Package::from_bytes(build_zip(zip_items).bytes);
    if (!package) throw std::runtime_error(package.error().to_string());
    return std::move(*package);
}

std::vector<std::string> part_names(const Package& package) {
    std::vector<std::string> names;
    for (const auto& part : package.parts()) names.push_back(part.name);
    return names;
}

std::string read(Package& package, std::string_view name) {
    auto bytes = package.read_part(name);
    return bytes ? text_of(**bytes) : bytes.error().to_string();
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(Package, CollisionsKeepTheFirstSpelling) {
    Package package = package_of({{"[Content_Types].xml", std::string(content_types)}, {"a.xml", "first"},
                                  {"A.XML", "second"}, {"a.xml", "exact duplicate"}});
    EXPECT_EQ(part_names(package), std::vector<std::string>{"/a.xml"});
    EXPECT_EQ(package.defects().collisions, (Pairs{{"/a.xml", "/A.XML"}}));
    EXPECT_TRUE(package.has("/A.xml"));
    EXPECT_FALSE(package.has("a.xml"));
    EXPECT_EQ(read(package, "/A.XML"), "first");
    EXPECT_EQ(read(package, "/nope.xml"), "missing part: /nope.xml");
}

TEST(Package, PiecesAreJoined) {
    Package package = package_of({{"x.xml/[1].piece", "-two-"}, {"x.xml/[0].piece", "one"},
                                  {"x.xml/[2].last.piece", "three"}, {"plain.xml", "p"}});
    EXPECT_EQ(part_names(package), (std::vector<std::string>{"/plain.xml", "/x.xml"}));
    EXPECT_EQ(read(package, "/x.xml"), "one-two-three");
    EXPECT_EQ(package.parts()[1].pieces.size(), 3u);
}

TEST(Package, IncompletePieceGroups) {
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> items;
    } cases[] = {
        {"missing [1]", {{"x.xml/[0].piece", "a"}, {"x.xml/[2].last.piece", "c"}}},
        {"last on [1]", {{"x.xml/[0].piece", "a"}, {"x.xml/[1].last.piece", "b"}, {"x.xml/[2].last.piece", "c"}}},
        {"no last", {{"x.xml/[0].piece", "a"}, {"x.xml/[1].piece", "b"}}},
        {"repeated number", {{"x.xml/[0].piece", "a"}, {"x.xml/[0].last.piece", "b"}}},
        {"absurd number", {{"x.xml/[0].piece", "a"}, {"x.xml/[99999999999999999999999].last.piece", "b"}}},
    };
    for (const auto& c : cases) {
        Package package = package_of(c.items);
        EXPECT_TRUE(package.parts().empty()) << c.what;
        EXPECT_EQ(package.defects().incomplete_pieces, std::vector<std::string>{"/x.xml"}) << c.what;
    }
    // Not piece names: ordinary parts.
    Package ordinary = package_of({{"x/[01].piece", "a"}, {"x/[+1].piece", "b"}, {"x/[1]piece", "c"}});
    EXPECT_EQ(part_names(ordinary), (std::vector<std::string>{"/x/[01].piece", "/x/[+1].piece", "/x/[1]piece"}));
}

TEST(Package, ContentTypesStream) {
    Package odd_case = package_of({{"[content_types].XML", std::string(content_types)}, {"a.xml", ""}});
    EXPECT_EQ(odd_case.defects().content_types_case, "[content_types].XML");
    EXPECT_FALSE(odd_case.defects().content_types_missing);
    EXPECT_EQ(odd_case.content_type_of("/a.xml"), "application/xml");
    EXPECT_EQ(part_names(odd_case), std::vector<std::string>{"/a.xml"});

    Package missing = package_of({{"a.xml", ""}});
    EXPECT_TRUE(missing.defects().content_types_missing);
    EXPECT_EQ(missing.content_type_of("/a.xml"), std::nullopt);

    Package broken = package_of({{"[Content_Types].xml", "<Types><Default></Types>"}});
    EXPECT_EQ(broken.defects().content_types_error, (core::xml::XmlError{"end tag does not match the open element", 16}));
    EXPECT_EQ(broken.content_type_of("/a.xml"), std::nullopt);

    // UTF-16 like any other XML of the package.
    std::string utf16 = "\xFF\xFE";
    for (char c : content_types) utf16 += std::string{c, '\0'};
    Package wide = package_of({{"[Content_Types].xml", utf16}});
    EXPECT_EQ(wide.content_type_of("/b.XML"), "application/xml");

    std::vector<ZipItem> unreadable = {{.name = "[Content_Types].xml", .data = bytes_of("x"), .method = 12}};
    auto package = Package::from_bytes(build_zip(unreadable).bytes);
    ASSERT_TRUE(package);
    EXPECT_EQ(package->defects().content_types_unreadable, "unsupported: zip compression method 12 for [Content_Types].xml");
}

TEST(Package, DirectoriesAndInvalidNames) {
    Package package = package_of({{"ppt/", ""}, {"ppt/a.xml", "a"}, {"ppt/Slide 1.xml", "spaced"}});
    EXPECT_EQ(package.defects().directories, std::vector<std::string>{"ppt/"});
    EXPECT_EQ(part_names(package), (std::vector<std::string>{"/ppt/a.xml", "/ppt/Slide 1.xml"}));
    ASSERT_EQ(package.defects().invalid_names.size(), 1u);
    EXPECT_EQ(package.defects().invalid_names[0].first, "/ppt/Slide 1.xml");
    EXPECT_EQ(package.defects().invalid_names[0].second.to_string(), "character ' ' must be percent-encoded");
    EXPECT_EQ(read(package, "/ppt/Slide 1.xml"), "spaced");
}

TEST(Package, DerivablePairsBeyondNeighbours) {
    // Sorted: /a, /a-b, /a/b, /a/b/c, /b: /a/b is no neighbour of /a.
    Package package = package_of({{"b", ""}, {"a/b/c", ""}, {"a-b", ""}, {"a/b", ""}, {"A", ""}});
    EXPECT_EQ(package.defects().derivable, (Pairs{{"/a/b", "/A"}, {"/a/b/c", "/A"}, {"/a/b/c", "/a/b"}}));
}

TEST(Package, Utf16PartsAreTranscodedUnlessRaw) {
    const std::string utf16 = std::string("\xFF\xFE<\0a\0/\0>\0", 10);
    Package package = package_of({{"s.xml", utf16}});
    EXPECT_EQ(read(package, "/s.xml"), "<a/>");
    Bytes raw;
    ASSERT_TRUE(package.read_part_bytes("/S.XML", raw));
    EXPECT_EQ(text_of(raw), utf16);
    Bytes into;
    ASSERT_TRUE(package.read_part_into("/s.xml", into));
    EXPECT_EQ(text_of(into), "<a/>");
}

TEST(Package, Relationships) {
    const std::string rels =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"t/doc\" Target=\"ppt/presentation.xml\"/>"
        "<Relationship Id=\"rId2\" Type=\"t/web\" Target=\"http://x\" TargetMode=\"External\"/></Relationships>";
    Package package = package_of({{"_rels/.rels", rels}, {"ppt/presentation.xml", "<p/>"},
                                  {"ppt/_rels/presentation.xml.rels", "<Relationships><oops></Relationships>"}});
    auto root = package.rels("/");
    ASSERT_TRUE(root);
    EXPECT_EQ((*root)->relationships.size(), 2u);
    EXPECT_EQ(package.rels("/")->get(), root->get());  // cached
    EXPECT_EQ(package.resolve("/", "rId1").value(), "/ppt/presentation.xml");
    EXPECT_EQ(package.resolve("/", "rId2").value(), std::nullopt);
    EXPECT_EQ(package.resolve("/", "rId9").value(), std::nullopt);
    auto none = package.rels("/ppt/slides/slide1.xml");
    ASSERT_TRUE(none);
    EXPECT_TRUE((*none)->relationships.empty());
    EXPECT_EQ((*none)->source, "/ppt/slides/slide1.xml");
    auto broken = package.rels("/ppt/presentation.xml");
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().to_string(),
              "xml in /ppt/_rels/presentation.xml.rels at byte 21: end tag does not match the open element");
}

TEST(Package, CompoundFilesAreRefused) {
    Bytes compound = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    compound.resize(600, 0);
    EXPECT_EQ(Package::from_bytes(compound).error().to_string(),
              "compound file: a legacy .ppt or an encrypted package, not an ECMA-376 package");
    // Even when the compound file holds an archive of its own.
    Bytes with_archive = compound;
    const Bytes inner = build_zip({{.name = "a.xml", .data = bytes_of("x")}}).bytes;
    with_archive.insert(with_archive.end(), inner.begin(), inner.end());
    const TempFile file(with_archive);
    EXPECT_EQ(Package::open_path(file.path()).error().kind(), core::Error::Kind::CompoundFile);
    const TempFile text(bytes_of("plain text"));
    EXPECT_EQ(Package::open_path(text.path()).error().to_string(), "not a zip archive");
}

TEST(Package, HandlesShareDataButNotCaches) {
    Package package = package_of({{"a.xml", "aaa"}});
    Package other = package.handle();
    auto first = package.read_part("/a.xml");
    auto second = other.read_part("/a.xml");
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->get(), second->get());
    EXPECT_EQ(**first, **second);
    EXPECT_EQ(&package.defects(), &other.defects());
}

TEST(Package, ThousandsOfPartsIndexQuickly) {
    std::vector<std::pair<std::string, std::string>> items;
    for (int i = 0; i < 20000; ++i) items.emplace_back("p/" + std::to_string(i) + "/x.xml", "");
    for (int i = 0; i < 2000; ++i) items.emplace_back("P/" + std::to_string(i) + "/X.XML", "");
    for (int i = 0; i < 2000; ++i) items.emplace_back("big.xml/[" + std::to_string(i * 7919 % 2000) + "].piece", "");
    Package package = package_of(items);
    EXPECT_EQ(package.parts().size(), 20000u);
    EXPECT_EQ(package.defects().collisions.size(), 2000u);
    EXPECT_EQ(package.defects().incomplete_pieces, std::vector<std::string>{"/big.xml"});
}

}  // namespace
}  // namespace velmora::testing
