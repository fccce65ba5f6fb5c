// Where an archive's bytes come from: a buffer in memory or a file read with
// positional reads (never mapped, so a file truncated under us cannot fault).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "bytes.hpp"
#include "error.hpp"

namespace velmora::core {

class Source {
public:
    virtual ~Source() = default;

    virtual std::uint64_t len() const = 0;
    bool is_empty() const { return len() == 0; }
    // The whole content when it is in memory.
    virtual std::optional<ByteView> as_bytes() const = 0;
    // Fills all of `buffer` from `offset`, or fails with an I/O error.
    virtual Status read_at(std::uint64_t offset, std::span<std::uint8_t> buffer) const = 0;
};

using SourcePtr = std::shared_ptr<const Source>;

// The I/O error of a read that ran out of bytes.
Error read_past_end();

class MemorySource final : public Source {
public:
    explicit MemorySource(Bytes bytes) : bytes_(std::move(bytes)) {}

    std::uint64_t len() const override { return bytes_.size(); }
    std::optional<ByteView> as_bytes() const override { return ByteView(bytes_); }
    Status read_at(std::uint64_t offset, std::span<std::uint8_t> buffer) const override;

private:
    Bytes bytes_;
};

class FileSource final : public Source {
public:
    // Opens `path` read-only and takes its length once.
    static Result<std::shared_ptr<FileSource>> open(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t len() const override { return length_; }
    std::optional<ByteView> as_bytes() const override { return std::nullopt; }
    Status read_at(std::uint64_t offset, std::span<std::uint8_t> buffer) const override;

private:
    FileSource(int fd, std::uint64_t length) : fd_(fd), length_(length) {}

    int fd_;
    std::uint64_t length_;
};

// Reads a whole source into memory.
Result<Bytes> read_all(const Source& source);

}  // namespace velmora::core
