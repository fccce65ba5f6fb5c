#include "source.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::core {

Error read_past_end() { return Error::io("read past end of archive"); }

Status MemorySource::read_at(std::uint64_t offset, std::span<std::uint8_t> buffer) const {
    if (offset > bytes_.size() || buffer.size() > bytes_.size() - offset) return fail(read_past_end());
    if (!buffer.empty()) std::memcpy(buffer.data(), bytes_.data() + offset, buffer.size());
    return {};
}

Result<std::shared_ptr<FileSource>> FileSource::open(const std::string& path) {
    if (path.find('\0') != std::string::npos) return fail(Error::io_errno(EINVAL));
    int fd;
    do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return fail(Error::io_errno(errno));
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        const int errnum = errno;
        ::close(fd);
        return fail(Error::io_errno(errnum));
    }
    if (S_ISDIR(status.st_mode)) {
        ::close(fd);
        return fail(Error::io_errno(EISDIR));
    }
    return std::shared_ptr<FileSource>(new FileSource(fd, static_cast<std::uint64_t>(status.st_size)));
}

FileSource::~FileSource() { ::close(fd_); }

Status FileSource::read_at(std::uint64_t offset, std::span<std::uint8_t> buffer) const {
    std::size_t done = 0;
    while (done < buffer.size()) {
        if (offset + done < offset || offset + done > static_cast<std::uint64_t>(INT64_MAX))
            return fail(read_past_end());
        const ssize_t got = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return fail(Error::io_errno(errno));
        }
        if (got == 0) return fail(read_past_end());
        done += static_cast<std::size_t>(got);
    }
    return {};
}

Result<Bytes> read_all(const Source& source) {
    if (auto bytes = source.as_bytes()) return Bytes(bytes->begin(), bytes->end());
    Bytes all(source.len());
    if (auto read = source.read_at(0, all); !read) return fail(read.error());
    return all;
}

}  // namespace velmora::core
