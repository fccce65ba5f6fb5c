#include <gtest/gtest.h>

#include "core/mc.hpp"
#include "core/utf16.hpp"

namespace velmora::core::xml {
namespace {

constexpr const char* declarations =
    " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
    " xmlns:p14=\"http://schemas.microsoft.com/office/powerpoint/2010/main\""
    " xmlns:cx=\"http://schemas.microsoft.com/office/drawing/2014/chartex\""
    " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"";

// The local names of the children the walk gives the handler, in order.
std::string visited(const std::string& body) {
    const std::string input = std::string("<root") + declarations + ">" + body + "</root>";
    Reader reader(input);
    reader.next();
    std::string seen;
    auto walked = children_inner(reader, [&](Reader&, const Event& start) -> XmlStatus {
        seen += std::string(start.name.local()) + " ";
        return {};
    });
    if (!walked) return std::string("error: ") + walked.error().message;
    if (reader.next().kind != Event::Kind::eof) return "not at the end";
    return seen;
}

TEST(ChildrenWalk, AlternateContent) {
    const struct {
        const char* what;
        std::string body;
        std::string expected;
    } cases[] = {
        {"plain children, text between", "<a/>x<b><c/></b>", "a b "},
        {"PowerPoint 2010 choice falls back",
         "<mc:AlternateContent><mc:Choice Requires=\"p14\"><new/></mc:Choice><mc:Fallback><old/></mc:Fallback></mc:AlternateContent>",
         "old "},
        {"chart-extension choice is taken",
         "<mc:AlternateContent><mc:Choice Requires=\"cx\"><new/></mc:Choice><mc:Fallback><old/></mc:Fallback></mc:AlternateContent>",
         "new "},
        {"first qualifying choice wins",
         "<mc:AlternateContent><mc:Choice Requires=\"a\"><one/></mc:Choice><mc:Choice Requires=\"cx a\"><two/></mc:Choice></mc:AlternateContent>",
         "one "},
        {"one unknown prefix spoils the choice",
         "<mc:AlternateContent><mc:Choice Requires=\"a p14\"><new/></mc:Choice><mc:Fallback><old/></mc:Fallback></mc:AlternateContent>",
         "old "},
        {"undeclared prefix is not understood",
         "<mc:AlternateContent><mc:Choice Requires=\"zz\"><new/></mc:Choice><mc:Fallback><old/></mc:Fallback></mc:AlternateContent>",
         "old "},
        {"no Requires, blank Requires",
         "<mc:AlternateContent><mc:Choice><x/></mc:Choice><mc:Choice Requires=\" \"><y/></mc:Choice></mc:AlternateContent>",
         ""},
        {"fallback first is taken first",
         "<mc:AlternateContent><mc:Fallback><old/></mc:Fallback><mc:Choice Requires=\"a\"><new/></mc:Choice></mc:AlternateContent>",
         "old "},
        {"nested inside a choice",
         "<mc:AlternateContent><mc:Choice Requires=\"xml\"><mc:AlternateContent><mc:Choice Requires=\"p14\"><x/></mc:Choice>"
         "<mc:Fallback><inner/></mc:Fallback></mc:AlternateContent><after/></mc:Choice></mc:AlternateContent><last/>",
         "inner after last "},
        {"self-closing alternate content", "<mc:AlternateContent/><z/>", "z "},
    };
    for (const auto& c : cases) EXPECT_EQ(visited(c.body), c.expected) << c.what;
}

TEST(ChildrenWalk, HandlerReadsAsDeepAsItLikes) {
    const std::string input = "<r><a><b><c>deep</c></b><b2/></a><d>text</d></r>";
    Reader reader(input);
    reader.next();
    std::vector<std::string> texts;
    auto walked = children_inner(reader, [&](Reader& inner, const Event& start) -> XmlStatus {
        if (start.name.local() == "d") {
            std::string text;
            if (auto read = inner.text_content(text); !read) return read;
            texts.push_back(text);
        } else {
            inner.next();  // into <b>, then leave it half read
            inner.next();
        }
        return {};
    });
    ASSERT_TRUE(walked);
    EXPECT_EQ(texts, std::vector<std::string>{"text"});
    EXPECT_EQ(reader.next().kind, Event::Kind::eof);
}

TEST(ChildrenWalk, ErrorsStopTheWalk) {
    const std::string broken = "<r><a></b></r>";
    Reader reader(broken);
    reader.next();
    auto walked = children_inner(reader, [](Reader&, const Event&) -> XmlStatus { return {}; });
    EXPECT_EQ(walked.error(), (XmlError{"end tag does not match the open element", 6}));

    const std::string fine = "<r><a/><b/></r>";
    Reader second(fine);
    second.next();
    int calls = 0;
    auto stopped = children_inner(second, [&](Reader&, const Event& start) -> XmlStatus {
        ++calls;
        return std::unexpected(XmlError{"handler says no", start.offset});
    });
    EXPECT_EQ(stopped.error(), (XmlError{"handler says no", 3}));
    EXPECT_EQ(calls, 1);
}

TEST(ChildrenWalk, DeepAlternateContentDoesNotExhaustTheStack) {
    std::string input = std::string("<root") + declarations + ">";
    for (int i = 0; i < 50000; ++i) input += "<mc:AlternateContent><mc:Choice Requires=\"a\">";
    input += "<x/>";
    for (int i = 0; i < 50000; ++i) input += "</mc:Choice></mc:AlternateContent>";
    input += "</root>";
    Reader reader(input);
    reader.next();
    auto walked = children_inner(reader, [](Reader&, const Event&) -> XmlStatus { return {}; });
    EXPECT_TRUE(walked);
}

TEST(Utf16, Transcoding) {
    using namespace std::string_literals;
    const struct {
        const char* what;
        std::string input;
        std::optional<std::string> expected;
    } cases[] = {
        {"LE with mark, odd trailing byte", "\xFF\xFE<\0a\0/\0>\0\x01"s, "<a/>"},
        {"BE with mark", "\xFE\xFF\0<\0b\0>"s, "<b>"},
        {"LE without mark", "<\0?\0x\0"s, "<?x"},
        {"BE without mark", "\0<\0?\0x"s, "<?x"},
        {"UTF-8 is not UTF-16", "<?xm"s, std::nullopt},
        {"too short", "<"s, std::nullopt},
        {"no mark, three bytes", "<\0?"s, std::nullopt},
        {"surrogate pair", "\xFF\xFE\x3D\xD8\x00\xDE"s, "\xF0\x9F\x98\x80"},
        {"lone low surrogate", "\xFF\xFE\x00\xDCx\0"s, "\xEF\xBF\xBDx"},
        {"high surrogate then a letter", "\xFF\xFE\x3D\xD8x\0"s, "\xEF\xBF\xBDx"},
        {"high surrogate at the end", "\xFF\xFEx\0\x3D\xD8"s, "x\xEF\xBF\xBD"},
        {"two-byte and three-byte characters", "\xFF\xFE\xE9\x00\xAC\x20"s, "\xC3\xA9\xE2\x82\xAC"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf16_xml_to_utf8(c.input), c.expected) << c.what;
}

}  // namespace
}  // namespace velmora::core::xml
