#include "zip.hpp"

#include <algorithm>
#include <cstring>

#include "inflate.hpp"
#include "utf8.hpp"

namespace velmora::core {
namespace {

constexpr std::uint32_t local_signature = 0x04034B50;
constexpr std::uint32_t central_signature = 0x02014B50;
constexpr std::uint32_t end_signature = 0x06054B50;
constexpr std::uint32_t zip64_end_signature = 0x06064B50;
constexpr std::uint32_t zip64_locator_signature = 0x07064B50;
constexpr std::uint32_t descriptor_signature = 0x08074B50;

constexpr std::uint64_t whole_window_limit = 262144;
constexpr std::uint64_t tail_window_size = 0x10800;
constexpr std::size_t end_record_size = 22;
constexpr std::size_t zip64_locator_size = 20;
constexpr std::size_t zip64_end_record_size = 56;
constexpr std::size_t central_record_size = 46;
constexpr std::size_t local_header_size = 30;
// Room read beyond the name with a local header, for a typical extra field.
constexpr std::uint64_t local_header_slack = 94;

constexpr std::uint32_t max32 = 0xFFFFFFFF;

Bytes& thread_scratch() {
    thread_local Bytes scratch;
    return scratch;
}

std::string name_of(ByteView raw) { return utf8_lossy(as_chars(raw)); }

// The end record nearest the end of the window whose comment ends exactly at
// the window's end, else the nearest one at all.
std::optional<std::size_t> find_end_record(ByteView window) {
    if (window.size() < end_record_size) return std::nullopt;
    std::optional<std::size_t> nearest;
    for (std::size_t i = window.size() - end_record_size + 1; i-- > 0;) {
        if (window[i] != 0x50 || le32(window.data() + i) != end_signature) continue;
        if (!nearest) nearest = i;
        if (i + end_record_size + le16(window.data() + i + 20) == window.size()) return i;
    }
    return nearest;
}

// Reads the Zip64 block of a central record's extra field: each 64-bit value
// replaces its 32-bit field when that field is saturated.
void read_zip64_extra(ByteView block, std::uint32_t compressed32, std::uint32_t uncompressed32,
                      std::uint32_t offset32, Entry& entry) {
    std::size_t at = 0;
    auto take = [&](std::uint32_t field, std::uint64_t& target) {
        if (field != max32 || block.size() - at < 8) return;
        target = le64(block.data() + at);
        at += 8;
    };
    take(uncompressed32, entry.uncompressed_size);
    take(compressed32, entry.compressed_size);
    take(offset32, entry.local_header_offset);
}

void walk_extra_field(ByteView extra, std::uint32_t compressed32, std::uint32_t uncompressed32,
                      std::uint32_t offset32, Entry& entry) {
    std::size_t at = 0;
    while (extra.size() - at >= 4) {
        const std::uint16_t id = le16(extra.data() + at);
        const std::size_t declared = le16(extra.data() + at + 2);
        const std::size_t available = extra.size() - at - 4;
        const ByteView block = extra.subspan(at + 4, std::min(declared, available));
        entry.extra_ids.push_back(id);
        if (id == 0x0001) read_zip64_extra(block, compressed32, uncompressed32, offset32, entry);
        if (declared > available) break;
        at += 4 + declared;
    }
}

// Parses one central-directory record of `length` bytes at `record`.
Entry parse_central_record(const std::uint8_t* record, std::uint64_t absolute_offset) {
    Entry entry;
    const std::size_t name_length = le16(record + 28);
    const std::size_t extra_length = le16(record + 30);
    const std::size_t comment_length = le16(record + 32);
    entry.version_needed = le16(record + 6);
    entry.flags = le16(record + 8);
    entry.method = le16(record + 10);
    entry.crc32 = le32(record + 16);
    const std::uint32_t compressed32 = le32(record + 20);
    const std::uint32_t uncompressed32 = le32(record + 24);
    const std::uint32_t offset32 = le32(record + 42);
    entry.compressed_size = compressed32;
    entry.uncompressed_size = uncompressed32;
    entry.local_header_offset = offset32;
    entry.central_record_offset = absolute_offset;
    entry.has_comment = comment_length > 0;
    const std::uint8_t* name = record + central_record_size;
    entry.raw_name.assign(name, name + name_length);
    entry.name = name_of(entry.raw_name);
    walk_extra_field(ByteView(name + name_length, extra_length), compressed32, uncompressed32, offset32, entry);
    return entry;
}

// The data descriptor that ends exactly at `boundary`, for data starting at
// `data_start`: a signed 16-byte one, else an unsigned 12-byte one.
bool read_descriptor(ByteView all, std::uint64_t data_start, std::uint64_t boundary, Entry& entry) {
    const std::uint8_t* at = all.data();
    if (boundary >= data_start + 16 && le32(at + boundary - 16) == descriptor_signature &&
        le32(at + boundary - 8) == boundary - 16 - data_start) {
        entry.crc32 = le32(at + boundary - 12);
    } else if (boundary >= data_start + 12 && le32(at + boundary - 8) == boundary - 12 - data_start) {
        entry.crc32 = le32(at + boundary - 12);
    } else {
        return false;
    }
    entry.compressed_size = le32(at + boundary - 8);
    entry.uncompressed_size = le32(at + boundary - 4);
    return true;
}

std::uint64_t find_signature(ByteView all, std::uint64_t from, std::uint32_t signature) {
    char needle[4];
    std::memcpy(needle, &signature, 4);
    const std::string_view text = as_chars(all);
    const std::size_t at = from > text.size() ? std::string_view::npos : text.find(std::string_view(needle, 4), from);
    return at == std::string_view::npos ? all.size() : at;
}

}  // namespace

Result<Archive> Archive::open_path(const std::string& path) {
    auto source = FileSource::open(path);
    if (!source) return fail(source.error());
    return open(std::move(*source));
}

Result<Archive> Archive::open(SourcePtr source) {
    Archive archive(std::move(source));
    const std::uint64_t length = archive.length_;
    const std::uint64_t window_start = length <= whole_window_limit ? 0 : length - tail_window_size;

    ByteView window;
    if (auto bytes = archive.source_->as_bytes()) {
        window = bytes->subspan(window_start);
    } else {
        archive.tail_window_.resize(length - window_start);
        if (auto read = archive.source_->read_at(window_start, archive.tail_window_); !read)
            return fail(read.error());
        archive.tail_window_offset_ = window_start;
        window = archive.tail_window_;
    }

    const auto found = find_end_record(window);
    if (!found) return reconstruct(archive.source_);
    const std::size_t at = *found;
    const std::uint8_t* record = window.data() + at;
    const std::uint64_t end_offset = window_start + at;
    archive.end_record_offset_ = end_offset;
    std::uint64_t entry_count = le16(record + 10);
    std::uint64_t directory_size = le32(record + 12);
    std::uint64_t directory_offset = le32(record + 16);
    const std::size_t after_record = window.size() - at - end_record_size;
    const std::size_t comment_length = std::min<std::size_t>(le16(record + 20), after_record);
    archive.comment_.assign(record + end_record_size, record + end_record_size + comment_length);
    archive.unaccounted_bytes_ = after_record - comment_length;

    Bytes scratch;
    auto signature_at = [&](std::uint64_t offset, std::uint32_t signature) {
        auto bytes = archive.locate_range(offset, 4, scratch);
        return bytes && le32(bytes->data()) == signature;
    };

    // The directory runs up to the end record, or up to the Zip64 end record.
    std::uint64_t directory_end = end_offset;
    const bool zip64_required = entry_count == 0xFFFF || directory_size == max32 || directory_offset == max32;
    const bool has_locator =
        at >= zip64_locator_size && le32(record - zip64_locator_size) == zip64_locator_signature;
    if (zip64_required && !has_locator)
        return fail(Error::zip("end record needs a Zip64 record that is missing", end_offset));
    if (has_locator) {
        const std::uint64_t declared = le64(record - zip64_locator_size + 8);
        std::uint64_t position = declared;
        if (!signature_at(declared, zip64_end_signature)) {
            position = end_offset >= 76 ? end_offset - 76 : 0;
            if (!signature_at(position, zip64_end_signature))
                return fail(Error::zip("zip64 end of central directory record not found", declared));
            archive.shift_ = static_cast<std::int64_t>(position - declared);
        }
        auto zip64_record = archive.locate_range(position, zip64_end_record_size, scratch);
        if (!zip64_record) return fail(zip64_record.error());
        entry_count = le64(zip64_record->data() + 32);
        directory_size = le64(zip64_record->data() + 40);
        directory_offset = le64(zip64_record->data() + 48);
        archive.zip64_ = true;
        directory_end = position;
    }
    archive.declared_entry_count_ = entry_count;
    archive.declared_directory_size_ = directory_size;
    archive.declared_directory_offset_ = directory_offset;

    std::uint64_t directory_position = archive.shifted(directory_offset);
    if (directory_size != 0 && !signature_at(directory_position, central_signature)) {
        directory_position = directory_end >= directory_size ? directory_end - directory_size : 0;
        if (!signature_at(directory_position, central_signature)) return reconstruct(archive.source_);
        archive.shift_ = static_cast<std::int64_t>(directory_position - directory_offset);
    }

    const std::uint64_t space = directory_end > directory_position ? directory_end - directory_position : 0;
    auto directory = archive.locate_range(directory_position, std::min(directory_size, space), scratch);
    if (!directory) return fail(directory.error());
    const std::uint64_t declared_end = directory_position + directory_size;
    if (declared_end >= directory_position && directory_end > declared_end)
        archive.unaccounted_bytes_ += directory_end - declared_end;

    const ByteView records = *directory;
    archive.entries_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(entry_count, 65536)));
    std::size_t offset = 0;
    while (archive.entries_.size() < entry_count) {
        const std::size_t left = records.size() - offset;
        const std::uint8_t* p = records.data() + offset;
        if (left < central_record_size || le32(p) != central_signature) {
            archive.directory_incomplete_ = true;
            break;
        }
        const std::size_t full = central_record_size + le16(p + 28) + le16(p + 30) + le16(p + 32);
        if (full > left) {
            archive.directory_incomplete_ = true;
            break;
        }
        archive.entries_.push_back(parse_central_record(p, directory_position + offset));
        offset += full;
        if (records.size() - offset < central_record_size) {
            archive.directory_incomplete_ = archive.entries_.size() < entry_count;
            break;
        }
    }
    archive.index_names();
    return archive;
}

Result<Archive> Archive::reconstruct(SourcePtr source) {
    auto read = read_all(*source);
    if (!read) return fail(read.error());
    const Bytes& all = *read;
    const std::uint64_t size = all.size();
    Archive archive(std::move(source));

    for (std::uint64_t o = find_signature(all, 0, local_signature); o < size;) {
        const std::uint64_t next = find_signature(all, o + 1, local_signature);
        if (size - o < local_header_size) break;
        const std::uint8_t* header = all.data() + o;
        const std::size_t name_length = le16(header + 26);
        if (o + local_header_size + name_length > size) break;
        const std::uint64_t data_start = o + local_header_size + name_length + le16(header + 28);
        const std::uint8_t* name = header + local_header_size;
        const bool usable_name = name_length > 0 && std::memchr(name, 0, name_length) == nullptr;
        if (!usable_name || data_start > size) {
            o = next;
            continue;
        }
        Entry entry;
        entry.flags = le16(header + 6);
        if (entry.has_data_descriptor()) {
            const std::uint64_t boundary = next < size ? next : find_signature(all, data_start, central_signature);
            if (!read_descriptor(all, data_start, boundary, entry)) {
                o = next;
                continue;
            }
        } else {
            entry.crc32 = le32(header + 14);
            entry.compressed_size = le32(header + 18);
            entry.uncompressed_size = le32(header + 22);
        }
        entry.raw_name.assign(name, name + name_length);
        entry.name = name_of(entry.raw_name);
        entry.local_header_offset = o;
        entry.version_needed = le16(header + 4);
        entry.method = le16(header + 8);
        archive.entries_.push_back(std::move(entry));
        o = next;
    }
    if (archive.entries_.empty()) return fail(Error::not_zip());
    archive.reconstructed_ = true;
    archive.declared_entry_count_ = archive.entries_.size();
    archive.index_names();
    return archive;
}

void Archive::index_names() {
    name_index_.reserve(entries_.size());
    header_positions_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!name_index_.try_emplace(entries_[i].name, i).second) duplicates_.push_back(i);
        header_positions_.push_back(shifted(entries_[i].local_header_offset));
    }
    std::sort(header_positions_.begin(), header_positions_.end());
}

const Entry* Archive::find(std::string_view name) const {
    const auto found = name_index_.find(name);
    return found == name_index_.end() ? nullptr : &entries_[found->second];
}

Result<ByteView> Archive::locate_range(std::uint64_t offset, std::uint64_t length, Bytes& scratch) const {
    if (offset + length < offset || offset + length > length_) return fail(read_past_end());
    if (auto bytes = source_->as_bytes()) return bytes->subspan(offset, length);
    if (offset >= tail_window_offset_ && offset + length <= tail_window_offset_ + tail_window_.size())
        return ByteView(tail_window_).subspan(offset - tail_window_offset_, length);
    scratch.resize(length);
    if (auto read = source_->read_at(offset, scratch); !read) return fail(read.error());
    return ByteView(scratch.data(), length);
}

Result<ByteView> Archive::locate(std::uint64_t offset, std::uint64_t length, Bytes& scratch) const {
    auto located = locate_range(offset, length, scratch);
    if (!located) return fail(Error::zip("read past the end of the archive", offset));
    return located;
}

std::uint64_t Archive::next_boundary(std::uint64_t position) const {
    const auto next = std::upper_bound(header_positions_.begin(), header_positions_.end(), position);
    return next != header_positions_.end() ? *next : shifted(declared_directory_offset_);
}

Result<ByteView> Archive::raw_slice(const Entry& entry, Bytes& scratch) const {
    const std::uint64_t position = shifted(entry.local_header_offset);
    if (position > length_ || length_ - position < local_header_size)
        return fail(Error::zip("local header out of bounds", position));
    const bool deferred = entry.compressed_size == 0 && entry.uncompressed_size != 0;
    const std::uint64_t hint = deferred ? 0 : entry.compressed_size;
    const std::uint64_t wanted = entry.raw_name.size() + local_header_slack;
    const std::uint64_t first_length = std::min(length_ - position, hint > length_ ? length_ : hint + wanted);
    auto head = locate(position, first_length, scratch);
    if (!head) return head;
    if (le32(head->data()) != local_signature) return fail(Error::zip("bad local header signature", position));
    const std::uint64_t data_start =
        position + local_header_size + le16(head->data() + 26) + le16(head->data() + 28);
    std::uint64_t size = entry.compressed_size;
    if (deferred) {
        const std::uint64_t boundary = next_boundary(position);
        size = boundary > data_start ? boundary - data_start : 0;
    }
    if (data_start + size < data_start || data_start + size > length_)
        return fail(Error::zip("data of " + entry.name + " runs past the end of the archive", data_start));
    if (data_start + size <= position + first_length) return head->subspan(data_start - position, size);
    return locate(data_start, size, scratch);
}

Status Archive::read_raw(const Entry& entry, Bytes& out) const {
    auto stored = raw_slice(entry, thread_scratch());
    if (!stored) return fail(stored.error());
    out.assign(stored->begin(), stored->end());
    return {};
}

Status Archive::read(const Entry& entry, Bytes& out) const {
    if (entry.encrypted()) return fail(Error::unsupported("encrypted zip entry " + entry.name));
    switch (entry.method) {
        case 0: return read_raw(entry, out);
        case 8: {
            auto stored = raw_slice(entry, thread_scratch());
            if (!stored) return fail(stored.error());
            out.clear();
            return inflate(*stored, entry.uncompressed_size, out);
        }
        default:
            return fail(Error::unsupported("zip compression method " + std::to_string(entry.method) + " for " +
                                           entry.name));
    }
}

Result<LocalHeader> Archive::local_header(const Entry& entry) const {
    const std::uint64_t position = shifted(entry.local_header_offset);
    Bytes scratch;
    auto head = locate(position, local_header_size, scratch);
    if (!head) return fail(Error::zip("local header out of bounds", position));
    const std::uint8_t* p = head->data();
    if (le32(p) != local_signature) return fail(Error::zip("bad local header signature", position));
    LocalHeader header;
    header.version_needed = le16(p + 4);
    header.flags = le16(p + 6);
    header.method = le16(p + 8);
    header.crc32 = le32(p + 14);
    header.compressed_size = le32(p + 18);
    header.uncompressed_size = le32(p + 22);
    const std::size_t name_length = le16(p + 26);
    header.extra_length = le16(p + 28);
    header.data_offset = position + local_header_size + name_length + header.extra_length;
    auto name = locate(position + local_header_size, name_length, scratch);
    if (!name) return fail(name.error());
    header.raw_name.assign(name->begin(), name->end());
    return header;
}

}  // namespace velmora::core
