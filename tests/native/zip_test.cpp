#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "core/crc32.hpp"
#include "core/zip.hpp"
#include "fixtures.hpp"

#include <zlib.h>

namespace velmora::testing {
namespace {

using core::Archive;

Archive open_memory(const Bytes& bytes) {
    auto archive = Archive::open(std::make_shared<core::MemorySource>(bytes));
    if (!archive) throw std::runtime_error(archive.error().to_string());
    return std::move(*archive);
}

std::string open_error(const Bytes& bytes) {
    auto archive = Archive::open(std::make_shared<core::MemorySource>(bytes));
    return archive ? "opened" : archive.error().to_string();
}

std::string read_text(const Archive& archive, std::string_view name) {
    const core::Entry* entry = archive.find(name);
    if (!entry) return "<absent>";
    Bytes out;
    auto read = archive.read(*entry, out);
    return read ? text_of(out) : read.error().to_string();
}

std::vector<ZipItem> two_items() {
    return {{.name = "a.xml", .data = bytes_of("<a>first</a>"), .deflate = true},
            {.name = "b/c.txt", .data = bytes_of("second, stored")}};
}

void expect_two_items(const Archive& archive) {
    EXPECT_EQ(read_text(archive, "a.xml"), "<a>first</a>");
    EXPECT_EQ(read_text(archive, "b/c.txt"), "second, stored");
}

TEST(Archive, ReadsAPlainArchive) {
    const BuiltZip zip = build_zip(two_items(), {.comment = "hi"});
    const Archive archive = open_memory(zip.bytes);
    ASSERT_EQ(archive.entries().size(), 2u);
    expect_two_items(archive);
    EXPECT_EQ(text_of(archive.comment()), "hi");
    EXPECT_EQ(archive.end_record_offset(), zip.end_offset);
    EXPECT_EQ(archive.declared_directory_offset(), zip.directory_offset);
    EXPECT_EQ(archive.declared_entry_count(), 2u);
    EXPECT_EQ(archive.shift(), 0);
    EXPECT_EQ(archive.unaccounted_bytes(), 0u);
    EXPECT_FALSE(archive.zip64() || archive.reconstructed() || archive.directory_incomplete());
    EXPECT_TRUE(archive.tail_window().empty());
    EXPECT_EQ(archive.entries()[1].central_record_offset, zip.directory_offset + 46 + 5);
}

TEST(Archive, PrefixedArchiveIsShifted) {
    const BuiltZip zip = build_zip(two_items(), {.prefix = Bytes(100, 'j')});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_EQ(archive.shift(), 100);
    EXPECT_EQ(archive.entries()[0].local_header_offset, 0u);
    expect_two_items(archive);
}

TEST(Archive, CommentHoldingAnEndSignatureIsSkipped) {
    const std::string comment = std::string("PK\x05\x06", 4) + std::string(30, 'c');
    const BuiltZip zip = build_zip(two_items(), {.comment = comment});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_EQ(archive.end_record_offset(), zip.end_offset);
    EXPECT_EQ(text_of(archive.comment()), comment);
    expect_two_items(archive);
}

TEST(Archive, AppendedBytesAreUnaccounted) {
    const BuiltZip zip = build_zip(two_items(), {.comment = "c", .appended = Bytes(37, 0xAB)});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_EQ(archive.unaccounted_bytes(), 37u);
    EXPECT_EQ(text_of(archive.comment()), "c");
    expect_two_items(archive);
}

TEST(Archive, CommentCutShortByTheEndOfFile) {
    BuiltZip zip = build_zip(two_items(), {.comment = "a long comment"});
    zip.bytes.resize(zip.bytes.size() - 5);
    const Archive archive = open_memory(zip.bytes);
    EXPECT_EQ(text_of(archive.comment()), "a long co");
    expect_two_items(archive);
}

TEST(Archive, CutDirectoryIsRebuiltFromLocalHeaders) {
    std::vector<ZipItem> items = two_items();
    items.push_back({.name = "d1.bin", .data = bytes_of("described, signed"), .deflate = true, .descriptor = true});
    items.push_back({.name = "d2.bin",
                     .data = bytes_of("described, unsigned"),
                     .descriptor = true,
                     .signed_descriptor = false});
    items.push_back({.name = "last.txt", .data = bytes_of("last")});
    BuiltZip zip = build_zip(items);
    zip.bytes.resize(zip.directory_offset + 20);
    const Archive archive = open_memory(zip.bytes);
    EXPECT_TRUE(archive.reconstructed());
    ASSERT_EQ(archive.entries().size(), 5u);
    expect_two_items(archive);
    EXPECT_EQ(read_text(archive, "d1.bin"), "described, signed");
    EXPECT_EQ(read_text(archive, "d2.bin"), "described, unsigned");
    EXPECT_EQ(read_text(archive, "last.txt"), "last");
    EXPECT_EQ(archive.entries()[2].crc32, core::crc32(bytes_of("described, signed")));
    EXPECT_EQ(archive.declared_entry_count(), 5u);
    EXPECT_EQ(archive.end_record_offset(), 0u);
    EXPECT_TRUE(archive.comment().empty());
    EXPECT_TRUE(archive.entries()[0].extra_ids.empty());
}

TEST(Archive, DescriptorThatDoesNotEndAtTheBoundaryIsSkipped) {
    // Junk between the descriptor and the next header: the entry is not recovered.
    std::vector<ZipItem> items = {{.name = "d.bin", .data = bytes_of("data"), .descriptor = true}};
    BuiltZip first = build_zip(items);
    Bytes bytes(first.bytes.begin(), first.bytes.begin() + static_cast<std::ptrdiff_t>(first.directory_offset));
    bytes.push_back('!');
    const BuiltZip second = build_zip({{.name = "e.txt", .data = bytes_of("e")}});
    bytes.insert(bytes.end(), second.bytes.begin(), second.bytes.begin() + 40);
    const Archive archive = open_memory(bytes);
    ASSERT_EQ(archive.entries().size(), 1u);
    EXPECT_EQ(archive.entries()[0].name, "e.txt");
}

TEST(Archive, WhatIsNotAnArchive) {
    Bytes empty_name_header;
    put32(empty_name_header, 0x04034B50);
    empty_name_header.resize(30 + 16, 0);
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"zeros", Bytes(5000, 0)},
        {"text", bytes_of("just some text, no archive here")},
        {"local header with an empty name", empty_name_header},
    };
    for (const auto& c : cases) EXPECT_EQ(open_error(c.bytes), "not a zip archive") << c.what;
}

TEST(Archive, DuplicateNamesAreRecorded) {
    const BuiltZip zip = build_zip({{.name = "x", .data = bytes_of("one")},
                                    {.name = "y", .data = bytes_of("other")},
                                    {.name = "x", .data = bytes_of("two")}});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_EQ(archive.duplicates(), std::vector<std::size_t>{2});
    EXPECT_EQ(read_text(archive, "x"), "one");
}

TEST(Archive, UnreadableEntriesFailAloneWithTheirReason) {
    const BuiltZip zip = build_zip({{.name = "shrunk.bin", .data = bytes_of("abc"), .method = 12},
                                    {.name = "secret.bin", .data = bytes_of("abc"), .flags = 1},
                                    {.name = "fine.txt", .data = bytes_of("fine")}});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_EQ(read_text(archive, "shrunk.bin"), "unsupported: zip compression method 12 for shrunk.bin");
    EXPECT_EQ(read_text(archive, "secret.bin"), "unsupported: encrypted zip entry secret.bin");
    EXPECT_EQ(read_text(archive, "fine.txt"), "fine");
}

TEST(Archive, DeferredSizeReadsUpToTheNextHeader) {
    const BuiltZip zip = build_zip({{.name = "first.xml", .data = bytes_of("<deferred/>"), .defer_central_sizes = true},
                                    {.name = "second.xml", .data = bytes_of("<next/>"), .defer_central_sizes = true}});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_EQ(read_text(archive, "first.xml"), "<deferred/>");
    // The last one runs up to the central directory.
    EXPECT_EQ(read_text(archive, "second.xml"), "<next/>");
}

TEST(Archive, EmptyArchive) {
    const BuiltZip zip = build_zip({});
    ASSERT_EQ(zip.bytes.size(), 22u);
    const Archive archive = open_memory(zip.bytes);
    EXPECT_TRUE(archive.entries().empty());
    EXPECT_FALSE(archive.directory_incomplete());
}

TEST(Archive, Zip64Records) {
    std::vector<ZipItem> items = two_items();
    items[1].zip64_extra = true;
    const BuiltZip zip = build_zip(items, {.zip64 = true});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_TRUE(archive.zip64());
    EXPECT_EQ(archive.declared_entry_count(), 2u);
    EXPECT_EQ(archive.entries()[1].extra_ids, std::vector<std::uint16_t>{1});
    EXPECT_EQ(archive.entries()[1].uncompressed_size, 14u);
    expect_two_items(archive);
}

TEST(Archive, Zip64RecordFoundBesideTheLocatorWhenShifted) {
    const BuiltZip zip = build_zip(two_items(), {.prefix = Bytes(64, 'p'), .zip64 = true});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_EQ(archive.shift(), 64);
    expect_two_items(archive);
}

TEST(Archive, StructuralFailures) {
    const BuiltZip zip64 = build_zip(two_items(), {.zip64 = true});
    const std::uint64_t locator = zip64.end_offset - 20;

    Bytes no_locator = zip64.bytes;
    no_locator[locator] = 'X';
    Bytes no_record = zip64.bytes;
    no_record[locator - 56] = 'X';

    const struct {
        const char* what;
        Bytes bytes;
        std::string message;
    } cases[] = {
        {"zip64 needed, no locator", no_locator,
         "zip: end record needs a Zip64 record that is missing at offset " + std::to_string(zip64.end_offset)},
        {"locator without a record", no_record,
         "zip: zip64 end of central directory record not found at offset " + std::to_string(locator - 56)},
    };
    for (const auto& c : cases) EXPECT_EQ(open_error(c.bytes), c.message) << c.what;
}

TEST(Archive, ShortDirectoryIsIncomplete) {
    const BuiltZip zip = build_zip(two_items(), {.declared_count_delta = 3});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_TRUE(archive.directory_incomplete());
    EXPECT_EQ(archive.entries().size(), 2u);
    EXPECT_EQ(archive.declared_entry_count(), 5u);
}

TEST(Archive, ReadingStopsAtTheDeclaredCount) {
    const BuiltZip zip = build_zip(two_items(), {.declared_count_delta = -1});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_FALSE(archive.directory_incomplete());
    ASSERT_EQ(archive.entries().size(), 1u);
}

TEST(Archive, DamagedEntriesGiveLocatedErrors) {
    BuiltZip zip = build_zip(two_items());
    Bytes bad_signature = zip.bytes;
    bad_signature[0] = 'Q';
    const Archive archive = open_memory(bad_signature);
    EXPECT_EQ(read_text(archive, "a.xml"), "zip: bad local header signature at offset 0");
    EXPECT_EQ(read_text(archive, "b/c.txt"), "second, stored");

    auto header = archive.local_header(archive.entries()[0]);
    ASSERT_FALSE(header);
    EXPECT_EQ(header.error().to_string(), "zip: bad local header signature at offset 0");

    // A directory record that points beyond the archive, and one whose data runs past the end.
    Bytes far = build_zip({{.name = "far", .data = bytes_of("x"), .zip64_extra = true}}).bytes;
    const Bytes offset_value = [] { Bytes v; put64(v, 65535); return v; }();
    std::copy(offset_value.begin(), offset_value.end(), far.end() - 22 - 8);  // the Zip64 block's offset
    const Archive far_archive = open_memory(far);
    EXPECT_EQ(read_text(far_archive, "far"), "zip: local header out of bounds at offset 65535");

    Bytes long_data = build_zip({{.name = "long", .data = bytes_of("xyz")}}).bytes;
    long_data[long_data.size() - 22 - 4 - 46 + 20] = 200;  // compressed size in the directory
    const Archive long_archive = open_memory(long_data);
    EXPECT_EQ(read_text(long_archive, "long"), "zip: data of long runs past the end of the archive at offset 34");
}

TEST(Archive, LocalHeaderFacts) {
    const BuiltZip zip = build_zip(two_items(), {.prefix = Bytes(10, 0)});
    const Archive archive = open_memory(zip.bytes);
    auto header = archive.local_header(archive.entries()[1]);
    ASSERT_TRUE(header);
    EXPECT_EQ(text_of(header->raw_name), "b/c.txt");
    EXPECT_EQ(header->uncompressed_size, 14u);
    EXPECT_EQ(header->method, 0);
    const std::uint64_t start = 10 + archive.entries()[1].local_header_offset + 30 + 7;
    EXPECT_EQ(header->data_offset, start);
}

TEST(Archive, InvalidUtf8NamesAreReplaced) {
    const BuiltZip zip = build_zip({{.name = "bad\xFF\xC3name", .data = bytes_of("v")}});
    const Archive archive = open_memory(zip.bytes);
    EXPECT_EQ(archive.entries()[0].name, "bad\xEF\xBF\xBD\xEF\xBF\xBDname");
    EXPECT_EQ(text_of(archive.entries()[0].raw_name), "bad\xFF\xC3name");
}

TEST(Archive, FileSourceMatchesMemory) {
    // Larger than the whole-file window, so reads come from the tail window and from the file.
    std::vector<ZipItem> items = two_items();
    Bytes big(400000);
    std::mt19937 random(5);
    for (auto& b : big) b = static_cast<std::uint8_t>(random());
    items.insert(items.begin(), {.name = "big.bin", .data = big, .deflate = true});
    items.push_back({.name = "deferred.txt", .data = bytes_of("deferred at end"), .defer_central_sizes = true});
    const BuiltZip zip = build_zip(items, {.prefix = Bytes(3, 'p')});
    const TempFile file(zip.bytes);
    auto archive = Archive::open_path(file.path());
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->tail_window().size(), 0x10800u);
    EXPECT_EQ(archive->shift(), 3);
    Bytes out;
    ASSERT_TRUE(archive->read(*archive->find("big.bin"), out));
    EXPECT_EQ(out, big);
    expect_two_items(*archive);
    EXPECT_EQ(read_text(*archive, "deferred.txt"), "deferred at end");
}

TEST(Archive, PathFailuresAreIoErrors) {
    auto missing = Archive::open_path("/nonexistent/velmora/deck.pptx");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().to_string(), "io: No such file or directory");
    auto with_nul = Archive::open_path(std::string("deck\0.pptx", 10));
    ASSERT_FALSE(with_nul);
    EXPECT_EQ(with_nul.error().kind(), core::Error::Kind::Io);
    auto directory = Archive::open_path("/tmp");
    ASSERT_FALSE(directory);
    EXPECT_EQ(directory.error().kind(), core::Error::Kind::Io);
}

TEST(Crc32, AgreesWithZlibAndChains) {
    Bytes data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    for (std::size_t n : {0, 1, 7, 8, 9, 1000}) {
        const core::ByteView view(data.data(), n);
        EXPECT_EQ(core::crc32(view), ::crc32(0, data.data(), static_cast<uInt>(n))) << n;
    }
    EXPECT_EQ(core::crc32(bytes_of("123456789")), 0xCBF43926u);
    const core::ByteView whole(data);
    EXPECT_EQ(core::crc32(whole.subspan(300), core::crc32(whole.first(300))), core::crc32(whole));
}

}  // namespace
}  // namespace velmora::testing
