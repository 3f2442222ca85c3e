#include "platform/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pixhaul {

namespace {

std::string PastTheEnd(std::uint64_t offset, std::size_t bytes, std::uint64_t size) {
    return "a read of " + std::to_string(bytes) + " bytes at byte " + std::to_string(offset) +
           " runs past the end of the " + std::to_string(size) + " bytes";
}

}  // namespace

std::string MemorySource::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
        return PastTheEnd(offset, out.size(), bytes_.size());
    }
    if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return "";
}

std::unique_ptr<FileSource> FileSource::Open(const std::string& path, std::string& error) {
    error.clear();
    // Non-blocking, so that a FIFO given by mistake cannot hold the open until a writer comes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "Cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = "Cannot read " + path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        ::close(fd);
        return nullptr;
    }
    // Reads go through the page cache front to back.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::unique_ptr<FileSource>(
        new FileSource(fd, static_cast<std::uint64_t>(info.st_size), path));
}

FileSource::~FileSource() {
    ::close(fd_);
}

std::string FileSource::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > size_ || out.size() > size_ - offset) {
        return PastTheEnd(offset, out.size(), size_);
    }
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return "Cannot read " + path_ + ": " + std::strerror(errno);
        if (n == 0) return path_ + " became shorter while it was read";
        done += static_cast<std::size_t>(n);
    }
    return "";
}

}  // namespace pixhaul
