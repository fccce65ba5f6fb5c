#include <gtest/gtest.h>

#include "core/error.hpp"

namespace velmora::core {
namespace {

TEST(Error, EveryKindHasItsTextForm) {
    const struct {
        Error error;
        const char* text;
    } cases[] = {
        {Error::io("read past end of archive"), "io: read past end of archive"},
        {Error::not_zip(), "not a zip archive"},
        {Error::compound_file(), "compound file: a legacy .ppt or an encrypted package, not an ECMA-376 package"},
        {Error::no_powerpoint_stream(), "compound file holds no PowerPoint Document stream"},
        {Error::encrypted("agile encryption"), "encrypted: agile encryption"},
        {Error::zip("bad local header signature", 1234), "zip: bad local header signature at offset 1234"},
        {Error::unsupported("zip compression method 12 for a"), "unsupported: zip compression method 12 for a"},
        {Error::inflate("invalid huffman code"), "inflate: invalid huffman code"},
        {Error::xml("/ppt/slides/slide1.xml", 17, "mismatched end tag"),
         "xml in /ppt/slides/slide1.xml at byte 17: mismatched end tag"},
        {Error::missing_part("/ppt/presentation.xml"), "missing part: /ppt/presentation.xml"},
        {Error::missing_relationship("rId7", "/ppt/slides/slide2.xml"),
         "missing relationship rId7 in /ppt/slides/slide2.xml"},
        {Error::not_presentation(), "not a presentation package"},
        {Error::slide_not_found(42), "slide 42 not found"},
        {Error::message("ppt: persist directory is empty"), "ppt: persist directory is empty"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.to_string(), c.text);
    EXPECT_EQ(Error::io_errno(2).to_string(), "io: No such file or directory");
}

}  // namespace
}  // namespace velmora::core
