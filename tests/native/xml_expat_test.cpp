// Checking mode against expat (with namespace processing): both must agree
// on well-formed or not for the XML parts of the corpus and for damaged
// copies of them. Principled differences, never produced by the damage
// below: expat also checks entity references, attribute names and their
// uniqueness, comment and processing-instruction syntax, the XML
// declaration and character encoding; this reader refuses every DTD and
// accepts whitespace between "</" and the end-tag name.
#include <gtest/gtest.h>

#include <expat.h>

#include <random>

#include "core/utf16.hpp"
#include "core/xml.hpp"
#include "core/zip.hpp"
#include "fixtures.hpp"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

bool expat_well_formed(std::string_view text) {
    XML_Parser parser = XML_ParserCreateNS("UTF-8", '\x01');
    const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
}

// The XML declaration, if any, is one expat accepts; this reader never reads it.
bool declaration_is_sound(std::string_view text) {
    if (!text.starts_with("<?xml")) return true;
    const std::size_t end = text.find("?>");
    return end != std::string_view::npos && expat_well_formed(std::string(text.substr(0, end + 2)) + "<r/>");
}

bool ours_well_formed(std::string_view text) { return core::xml::well_formed(text).has_value(); }

struct Disagreement {
    std::string where;
    std::string verdicts;
};

// The XML parts of every archive in the corpus, UTF-16 ones transcoded.
std::vector<std::pair<std::string, std::string>> corpus_xml_parts() {
    std::vector<std::pair<std::string, std::string>> parts;
    const fs::path root = corpus_dir();
    if (!fs::is_directory(root)) return parts;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (!item.is_regular_file()) continue;
        auto archive = core::Archive::open_path(item.path().string());
        if (!archive) continue;
        for (const core::Entry& entry : archive->entries()) {
            if (!entry.name.ends_with(".xml") && !entry.name.ends_with(".rels")) continue;
            Bytes bytes;
            if (!archive->read(entry, bytes)) continue;
            std::string text(bytes.begin(), bytes.end());
            if (auto utf8 = core::utf16_xml_to_utf8(text)) {
                text = std::move(*utf8);
                // The declaration still names UTF-16; expat would believe it.
                if (text.starts_with("<?xml")) text.erase(0, text.find("?>") + 2);
            }
            if (text.find("<!DOCTYPE") != std::string::npos || !declaration_is_sound(text)) continue;
            parts.emplace_back(item.path().filename().string() + ":" + entry.name, std::move(text));
        }
    }
    return parts;
}

// Damaged copies: cut short, and one structural character after the XML
// declaration replaced by a space or dropped.
std::vector<std::string> damaged_copies(const std::string& text, std::mt19937& random) {
    std::vector<std::string> copies;
    if (text.empty()) return copies;
    for (int i = 0; i < 3; ++i) copies.push_back(text.substr(0, random() % text.size()));
    // Not inside the XML declaration, which expat checks and this reader skips.
    const std::size_t body = text.starts_with("<?xml") ? text.find("?>") + 2 : 0;
    std::vector<std::size_t> structural;
    for (std::size_t i = body; i < text.size(); ++i)
        if (std::string_view("<>/\"'=").find(text[i]) != std::string_view::npos) structural.push_back(i);
    for (int i = 0; i < 4 && !structural.empty(); ++i) {
        const std::size_t at = structural[random() % structural.size()];
        std::string copy = text;
        if (i % 2)
            copy[at] = ' ';
        else
            copy.erase(at, 1);
        copies.push_back(std::move(copy));
    }
    return copies;
}

TEST(XmlAgainstExpat, CorpusPartsAndDamagedCopies) {
    const auto parts = corpus_xml_parts();
    if (parts.empty()) GTEST_SKIP() << "corpus absent: " << corpus_dir();
    std::mt19937 random(2024);
    std::vector<Disagreement> disagreements;
    std::size_t documents = 0, malformed = 0;
    auto compare = [&](const std::string& where, const std::string& text) {
        ++documents;
        const bool ours = ours_well_formed(text);
        const bool theirs = expat_well_formed(text);
        malformed += !theirs;
        if (ours != theirs) {
            auto error = core::xml::well_formed(text);
            disagreements.push_back(
                {where, std::string("ours ") + (ours ? "ok" : error.error().message) + ", expat " +
                            (theirs ? "ok" : "refuses")});
        }
    };
    for (const auto& [where, text] : parts) {
        compare(where, text);
        if (text.size() > 200000) continue;
        int copy = 0;
        for (const std::string& damaged : damaged_copies(text, random))
            compare(where + " copy " + std::to_string(copy++), damaged);
    }
    for (std::size_t i = 0; i < disagreements.size() && i < 20; ++i)
        ADD_FAILURE() << disagreements[i].where << ": " << disagreements[i].verdicts;
    EXPECT_TRUE(disagreements.empty()) << disagreements.size() << " of " << documents << " disagree";
    EXPECT_GT(malformed, 1000u);
}

// Small malformed documents, one for each check of checking mode.
TEST(XmlAgainstExpat, HandWrittenDocuments) {
    const char* documents[] = {
        "<a/>", "<a>x</a>", "<a></a >", "<a b = '1'/>", "<p:a xmlns:p='urn:p'><p:b/></p:a>",
        "", "   ", "<a>", "<a>x</b>", "</a>", "<a></a", "<a><", "<a b=\"1", "<a b=1/>", "<a /x>", "<a b/>",
        "<a b='<'/>", "< a/>", "<!ELEMENT a><a/>", "<a><!-- x </a>", "<a><![CDATA[ x </a>",
        "<?pi x", "<a/>junk", "junk<a/>", "<a/><![CDATA[x]]>", "<a/><b/>", "<u:a/>", "<1a/>", "<a:/>", "<:a/>",
        "<a>x\x01y</a>", "<a>x]]>y</a>", "<a xmlns='u:1' xmlns='u:2'/>", "<a xmlns:p='u:1' xmlns:p='u:2'/>",
        "<a><![CDATA[\x02]]></a>", "<a b='1' c='2'/>", "<a/><!-- after -->\n",
    };
    for (const char* document : documents)
        EXPECT_EQ(ours_well_formed(document), expat_well_formed(document)) << document;
}

}  // namespace
}  // namespace velmora::testing
