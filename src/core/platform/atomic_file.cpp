#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

namespace pixhaul {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
// Pieces at least this large go straight to the file instead of through the buffer.
constexpr std::size_t kDirectWriteSize = 256 << 10;
constexpr int kNameAttempts = 64;
// Temporaries are named "." + the target's name (cut to this length) + ".PID.XXXXXXXX.tmp".
constexpr std::size_t kTemporaryBaseLength = 200;
constexpr const char* kTemporarySuffix = ".tmp";

std::string Describe(int errnoValue) {
    char text[256] = {};
    // The GNU strerror_r may return a static string instead of filling text.
    const char* result = strerror_r(errnoValue, text, sizeof text);
    return result != nullptr ? std::string(result) : std::string("Unknown error");
}

// The writer's process id if rest (what follows a temporary's "." + base + ".") has the form
// "PID.XXXXXXXX.tmp" with PID decimal and XXXXXXXX hexadecimal; 0 otherwise.
pid_t WriterOf(const char* rest) {
    std::uint64_t pid = 0;
    const char* p = rest;
    for (; *p >= '0' && *p <= '9'; ++p) {
        pid = pid * 10 + static_cast<std::uint64_t>(*p - '0');
        if (pid > 0x7FFFFFFF) return 0;
    }
    if (p == rest || *p != '.') return 0;
    ++p;
    for (int i = 0; i < 8; ++i, ++p) {
        const bool hex = (*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f');
        if (!hex) return 0;
    }
    if (std::strcmp(p, kTemporarySuffix) != 0) return 0;
    return static_cast<pid_t>(pid);
}

// The writer of a temporary named name, when name is one ("." + base + ".PID.XXXXXXXX.tmp") of
// the target base (any target when base is null); 0 otherwise. base is cut as in the names.
pid_t WriterOfTemporary(const char* name, const std::string* base) {
    if (name[0] != '.') return 0;
    if (base != nullptr) {
        const std::size_t n = std::min(base->size(), kTemporaryBaseLength);
        if (std::strncmp(name + 1, base->c_str(), n) != 0 || name[1 + n] != '.') return 0;
        return WriterOf(name + 2 + n);
    }
    // Any target: the process id is the third field from the end.
    const char* suffix = std::strrchr(name, '.');
    if (suffix == nullptr || suffix == name) return 0;
    const char* random = suffix;
    while (random > name && random[-1] != '.') --random;  // start of XXXXXXXX
    if (random <= name + 1) return 0;
    const char* pid = random - 1;
    while (pid > name && pid[-1] != '.') --pid;  // start of PID
    if (pid <= name + 1) return 0;               // a target name is needed in front of it
    return WriterOf(pid);
}

// Removes the temporaries (of base, or of any target) that a writer left behind when it died
// before it could remove them itself (killed, or the machine went down). A temporary whose
// writer still runs belongs to another export and stays; so does everything that is not a
// regular file. Best effort: a folder that cannot be listed is left as it is.
void RemoveDeadWritersTemporaries(const std::string& folder, const std::string* base) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return;
    const int dirFd = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        const pid_t writer = WriterOfTemporary(entry->d_name, base);
        if (writer <= 0 || writer == ::getpid()) continue;
        if (::kill(writer, 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
        struct stat info {};
        if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(info.st_mode)) continue;
        (void)::unlinkat(dirFd, entry->d_name, 0);
    }
}

}  // namespace

void RemoveStaleTemporaries(const std::string& folder) {
    RemoveDeadWritersTemporaries(folder.empty() ? std::string(".") : folder, nullptr);
}

FileError::FileError(int number, std::string description, std::string path)
    : std::runtime_error(path + ": " + description),
      number_(number),
      description_(std::move(description)),
      path_(std::move(path)) {}

void ThrowFileError(int errnoValue, const std::string& path) {
    throw FileError(errnoValue, Describe(errnoValue), path);
}

AtomicFile::AtomicFile(std::string target, StaleTemporaries stale) : target_(std::move(target)) {
    const std::size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : target_.substr(0, slash);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (base.empty()) ThrowFileError(EISDIR, target_);

    struct stat existing {};
    const bool keepMode = ::stat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);

    // Before the file exists, so a failure here leaves nothing. Not cleared: only the bytes
    // written are ever read, and a small file touches only the pages it needs.
    buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
    // The name is cut so that a target name near the length limit still gets a temporary. The
    // writer's process id in the name tells a later export whether the file is abandoned.
    // Built piece by piece: g++ 12 warns wrongly about "literal" + std::string chains.
    std::string prefix(".");
    prefix.append(base, 0, kTemporaryBaseLength).append(".");
    if (stale == StaleTemporaries::Remove) RemoveDeadWritersTemporaries(folder, &base);
    const auto pid = static_cast<long>(::getpid());
    std::random_device entropy;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, "%ld.%08x%s", pid, static_cast<unsigned>(entropy()),
                      kTemporarySuffix);
        std::string candidate = folder;
        candidate.append("/").append(prefix).append(suffix);
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
    if (size == 0) return;  // data may then be null (an empty vector's data())
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (size >= kDirectWriteSize || size >= kBufferSize - used_) {
        Flush();
        if (size >= kDirectWriteSize) {
            WriteDirect(bytes, size);
            written_ += size;
            return;
        }
    }
    std::memcpy(buffer_.get() + used_, bytes, size);
    used_ += size;
    written_ += size;
}

void AtomicFile::Flush() {
    if (used_ == 0) return;
    WriteDirect(buffer_.get(), used_);
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
    buffer_.reset();
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
    buffer_.reset();
    used_ = 0;
}

}  // namespace pixhaul
