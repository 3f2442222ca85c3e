#include "platform/archive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace pixhaul {

namespace {

std::string Describe(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

// Reads until end of file or until buffer is full; false on a read error (errno set).
bool ReadInto(int fd, std::uint8_t* buffer, std::size_t capacity, std::size_t& filled) {
    while (filled < capacity) {
        const ssize_t n = ::read(fd, buffer + filled, capacity - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    return true;
}

// Fresh memory for the bytes, in huge pages from the first byte: a fresh page per 4 KiB would
// cost about as much as the read itself (a 5 MB archive took 750 page faults, at about 10 us
// each in a virtual machine, with huge pages only for its aligned middle).
LargeBuffer Allocate(std::size_t size) {
    return LargeBuffer(std::max<std::size_t>(size, 1));
}

}  // namespace

void FileDescriptor::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

std::shared_ptr<ArchiveFile> ArchiveFile::Record(const std::string& path, std::string& error,
                                                 FileDescriptor& fd) {
    error.clear();
    // Non-blocking, so that a FIFO given by mistake cannot hold the open until a writer comes.
    fd.Reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        error = Describe("Cannot open", path, errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        error = Describe("Cannot read", path, errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        return nullptr;
    }
    std::shared_ptr<ArchiveFile> file(new ArchiveFile());
    file->path_ = path;
    file->identity_ = {info.st_dev, info.st_ino};
    file->sizeOnDisk_ = info.st_size;
    file->modified_ = info.st_mtim;
    return file;
}

std::shared_ptr<const ArchiveFile> ArchiveFile::OpenUnread(const std::string& path,
                                                           std::string& error, FileDescriptor& fd) {
    return Record(path, error, fd);
}

// Reads the file whole into memory it owns.
std::shared_ptr<const ArchiveFile> ArchiveFile::Open(const std::string& path, std::string& error) {
    FileDescriptor fd;
    std::shared_ptr<ArchiveFile> file = Record(path, error, fd);
    if (!file) return nullptr;

    // The file may shrink or grow while it is read: read to its end, whatever fstat said.
    std::size_t capacity = static_cast<std::size_t>(std::max<off_t>(file->sizeOnDisk_, 0));
    std::size_t filled = 0;
    try {
        LargeBuffer data = Allocate(capacity);
        for (;;) {
            if (!ReadInto(fd.Get(), data.data(), capacity, filled)) {
                error = Describe("Cannot read", path, errno);
                return nullptr;
            }
            if (filled < capacity) break;
            std::uint8_t probe[65536];
            std::size_t more = 0;
            if (!ReadInto(fd.Get(), probe, sizeof probe, more)) {
                error = Describe("Cannot read", path, errno);
                return nullptr;
            }
            if (more == 0) break;
            const std::size_t grown = std::max(2 * capacity, capacity + 2 * sizeof probe);
            LargeBuffer larger = Allocate(grown);
            std::memcpy(larger.data(), data.data(), filled);
            std::memcpy(larger.data() + filled, probe, more);
            filled += more;
            data = std::move(larger);
            capacity = grown;
        }
        file->data_ = std::move(data);
    } catch (const std::bad_alloc&) {
        error = "Cannot read " + path + ": not enough memory for its " +
                std::to_string(std::max(capacity, filled)) + " bytes";
        return nullptr;
    }
    file->size_ = filled;
    return file;
}

bool ArchiveFile::ChangedOnDisk() const {
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) return true;
    return info.st_dev != identity_.device || info.st_ino != identity_.inode ||
           info.st_size != sizeOnDisk_ || info.st_mtim.tv_sec != modified_.tv_sec ||
           info.st_mtim.tv_nsec != modified_.tv_nsec;
}

}  // namespace pixhaul
