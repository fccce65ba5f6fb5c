// Every real deck of the corpus: the archive opens or fails with one of the
// reader's own texts, and every entry zlib can inflate decodes to exactly
// zlib's bytes with the CRC-32 the archive records.
#include <gtest/gtest.h>

#include <regex>

#include "core/crc32.hpp"
#include "core/zip.hpp"
#include "fixtures.hpp"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> corpus_files() {
    std::vector<fs::path> files;
    const fs::path root = corpus_dir();
    if (!fs::is_directory(root)) return files;
    for (const auto& item : fs::recursive_directory_iterator(root))
        if (item.is_regular_file() && item.path().filename() != "README.md") files.push_back(item.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The texts an opening failure may have.
bool known_open_failure(const std::string& text) {
    static const std::regex forms(
        "not a zip archive|io: .+|zip: (end record needs a Zip64 record that is missing|"
        "zip64 end of central directory record not found) at offset [0-9]+");
    return std::regex_match(text, forms);
}

bool known_read_failure(const std::string& text) {
    static const std::regex forms(
        "inflate: .+|unsupported: (encrypted zip entry .*|zip compression method [0-9]+ for .*)|"
        "zip: (local header out of bounds|bad local header signature|read past the end of the archive|"
        "data of .* runs past the end of the archive) at offset [0-9]+");
    return std::regex_match(text, forms);
}

TEST(Corpus, EntriesAgreeWithZlib) {
    const auto files = corpus_files();
    if (files.empty()) GTEST_SKIP() << "corpus absent: " << corpus_dir();
    std::size_t archives = 0, compared = 0;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        auto archive = core::Archive::open_path(path.string());
        if (!archive) {
            EXPECT_TRUE(known_open_failure(archive.error().to_string())) << archive.error().to_string();
            continue;
        }
        ++archives;
        for (const core::Entry& entry : archive->entries()) {
            Bytes ours;
            auto read = archive->read(entry, ours);
            Bytes stored;
            const bool have_stored = archive->read_raw(entry, stored).has_value();
            Bytes expected;
            const bool zlib_ok = entry.method == 8 && !entry.encrypted() && have_stored &&
                                 zlib_inflate(stored, entry.uncompressed_size, expected);
            if (zlib_ok) {
                ASSERT_TRUE(read) << entry.name << ": " << read.error().to_string();
                ASSERT_EQ(ours, expected) << entry.name;
                ++compared;
            }
            if (read && (zlib_ok || entry.method == 0) && !archive->reconstructed()) {
                EXPECT_EQ(core::crc32(ours), entry.crc32) << entry.name;
            }
            if (!read) {
                EXPECT_TRUE(known_read_failure(read.error().to_string())) << read.error().to_string();
            }
        }
    }
    EXPECT_GT(archives, 50u);
    EXPECT_GT(compared, 1000u);
}

}  // namespace
}  // namespace velmora::testing
