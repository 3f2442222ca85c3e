#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pixhaul {

namespace {

// Closes a descriptor when the scope ends; the mapping outlives it.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

std::string Describe(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

}  // namespace

std::shared_ptr<const MappedFile> MappedFile::Open(const std::string& path, std::string& error) {
    error.clear();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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
        error = "Cannot open " + path + ": not a regular file";
        return nullptr;
    }

    std::shared_ptr<MappedFile> file(new MappedFile());
    file->path_ = path;
    file->identity_ = {info.st_dev, info.st_ino};
    if (info.st_size == 0) return file;

    const auto size = static_cast<std::size_t>(info.st_size);
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.Get(), 0);
    if (data == MAP_FAILED) {
        error = Describe("Cannot map", path, errno);
        return nullptr;
    }
    // The tag scan reads the whole file at once: start reading it in now.
    ::madvise(data, size, MADV_WILLNEED);
    file->data_ = static_cast<const std::uint8_t*>(data);
    file->size_ = size;
    return file;
}

MappedFile::~MappedFile() {
    if (data_ != nullptr) ::munmap(const_cast<std::uint8_t*>(data_), size_);
}

}  // namespace pixhaul
