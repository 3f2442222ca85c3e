#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace pixhaul {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
// Pieces at least this large go straight to the file instead of through the buffer.
constexpr std::size_t kDirectWriteSize = 256 << 10;
constexpr int kNameAttempts = 64;

std::string Describe(int errnoValue) {
    char text[256] = {};
    // The GNU strerror_r may return a static string instead of filling text.
    const char* result = strerror_r(errnoValue, text, sizeof text);
    return result != nullptr ? std::string(result) : std::string("Unknown error");
}

}  // namespace

FileError::FileError(int number, std::string description, std::string path)
    : std::runtime_error(path + ": " + description),
      number_(number),
      description_(std::move(description)),
      path_(std::move(path)) {}

void ThrowFileError(int errnoValue, const std::string& path) {
    throw FileError(errnoValue, Describe(errnoValue), path);
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
    const std::size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : target_.substr(0, slash);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (base.empty()) ThrowFileError(EISDIR, target_);

    struct stat existing {};
    const bool keepMode = ::stat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);

    buffer_.resize(kBufferSize);  // before the file exists, so a failure here leaves nothing
    std::random_device entropy;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(entropy()));
        // The name is cut so that a target name near the length limit still gets a temporary.
        std::string candidate = folder + "/." + base.substr(0, 200) + suffix;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = std::move(candidate);
            break;
        }
        if (errno != EEXIST) ThrowFileError(errno, target_);
    }
    if (fd_ < 0) ThrowFileError(EEXIST, target_);
    // A file that is replaced keeps its permissions.
    if (keepMode) (void)::fchmod(fd_, existing.st_mode & 07777);
}

AtomicFile::~AtomicFile() {
    Discard();
}

void AtomicFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0) ThrowFileError(EBADF, target_);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (size >= kDirectWriteSize || size >= buffer_.size() - used_) {
        Flush();
        if (size >= kDirectWriteSize) {
            WriteDirect(bytes, size);
            written_ += size;
            return;
        }
    }
    std::memcpy(buffer_.data() + used_, bytes, size);
    used_ += size;
    written_ += size;
}

void AtomicFile::Flush() {
    if (used_ == 0) return;
    WriteDirect(buffer_.data(), used_);
    used_ = 0;
}

void AtomicFile::WriteDirect(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowFileError(errno, target_);
        }
        if (n == 0) ThrowFileError(EIO, target_);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void AtomicFile::Commit() {
    if (fd_ < 0) ThrowFileError(EBADF, target_);
    Flush();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        Discard();
        ThrowFileError(error, target_);
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        Discard();
        ThrowFileError(error, target_);
    }
    committed_ = true;
    buffer_ = {};
}

void AtomicFile::Discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    buffer_ = {};
    used_ = 0;
}

}  // namespace pixhaul
