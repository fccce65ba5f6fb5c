// Tolerant ZIP archive reading: finds the end record behind junk, follows
// shifted offsets, rebuilds a lost directory from local headers, and records
// every irregularity as a fact instead of failing.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "bytes.hpp"
#include "error.hpp"
#include "hash.hpp"
#include "source.hpp"

namespace velmora::core {

struct Entry {
    std::string name;  // decoded as UTF-8, invalid sequences as U+FFFD
    Bytes raw_name;
    std::vector<std::uint16_t> extra_ids;
    std::uint64_t compressed_size = 0;
    std::uint64_t uncompressed_size = 0;
    std::uint64_t local_header_offset = 0;  // as declared, before the shift
    std::uint64_t central_record_offset = 0;
    std::uint32_t crc32 = 0;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint16_t version_needed = 0;
    bool has_comment = false;

    bool encrypted() const { return flags & 1; }
    bool has_data_descriptor() const { return flags & 8; }
};

struct LocalHeader {
    Bytes raw_name;
    std::uint64_t data_offset = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressed_size = 0;
    std::uint32_t uncompressed_size = 0;
    std::uint16_t version_needed = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t extra_length = 0;
};

class Archive {
public:
    static Result<Archive> open_path(const std::string& path);
    static Result<Archive> open(SourcePtr source);

    // The entry's uncompressed bytes replace the contents of `out`.
    Status read(const Entry& entry, Bytes& out) const;
    // The entry's stored bytes replace the contents of `out`.
    Status read_raw(const Entry& entry, Bytes& out) const;
    // A view of the entry's stored bytes, possibly inside `scratch`.
    Result<ByteView> raw_slice(const Entry& entry, Bytes& scratch) const;
    Result<LocalHeader> local_header(const Entry& entry) const;
    // Any absolute range, possibly inside `scratch`.
    Result<ByteView> locate(std::uint64_t offset, std::uint64_t length, Bytes& scratch) const;

    // The entry named exactly `name`, the first of that name.
    const Entry* find(std::string_view name) const;

    const SourcePtr& source() const { return source_; }
    const std::vector<Entry>& entries() const { return entries_; }
    const std::vector<std::size_t>& duplicates() const { return duplicates_; }
    const Bytes& comment() const { return comment_; }
    std::uint64_t length() const { return length_; }
    std::uint64_t end_record_offset() const { return end_record_offset_; }
    std::int64_t shift() const { return shift_; }
    std::uint64_t declared_directory_offset() const { return declared_directory_offset_; }
    std::uint64_t declared_directory_size() const { return declared_directory_size_; }
    std::uint64_t declared_entry_count() const { return declared_entry_count_; }
    std::uint64_t unaccounted_bytes() const { return unaccounted_bytes_; }
    bool zip64() const { return zip64_; }
    bool directory_incomplete() const { return directory_incomplete_; }
    bool reconstructed() const { return reconstructed_; }
    const Bytes& tail_window() const { return tail_window_; }
    std::uint64_t tail_window_offset() const { return tail_window_offset_; }

    // Where a declared offset really is.
    std::uint64_t shifted(std::uint64_t declared) const { return declared + static_cast<std::uint64_t>(shift_); }

private:
    explicit Archive(SourcePtr source) : source_(std::move(source)), length_(source_->len()) {}

    static Result<Archive> reconstruct(SourcePtr source);
    Result<ByteView> locate_range(std::uint64_t offset, std::uint64_t length, Bytes& scratch) const;
    // Where the data of a deferred-size entry at `position` ends.
    std::uint64_t next_boundary(std::uint64_t position) const;
    void index_names();

    SourcePtr source_;
    std::vector<Entry> entries_;
    std::vector<std::size_t> duplicates_;
    std::unordered_map<std::string, std::size_t, SmallHash, std::equal_to<>> name_index_;
    std::vector<std::uint64_t> header_positions_;  // sorted, shifted
    Bytes comment_;
    std::uint64_t length_ = 0;
    std::uint64_t end_record_offset_ = 0;
    std::int64_t shift_ = 0;
    std::uint64_t declared_directory_offset_ = 0;
    std::uint64_t declared_directory_size_ = 0;
    std::uint64_t declared_entry_count_ = 0;
    std::uint64_t unaccounted_bytes_ = 0;
    bool zip64_ = false;
    bool directory_incomplete_ = false;
    bool reconstructed_ = false;
    Bytes tail_window_;
    std::uint64_t tail_window_offset_ = 0;
};

}  // namespace velmora::core
