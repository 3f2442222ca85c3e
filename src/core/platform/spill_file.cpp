#include "platform/spill_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/atomic_file.h"

namespace pixhaul {

SpillFile::SpillFile(const std::string& folder) : folder_(folder.empty() ? "." : folder) {
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // No unnamed files on this file system: a named one, unlinked at once.
        std::string name = folder_ + "/.pixhaul-spill.XXXXXX";
        fd_ = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd_ >= 0) ::unlink(name.c_str());
    }
    if (fd_ < 0) ThrowFileError(errno, folder_);
}

SpillFile::~SpillFile() {
    if (fd_ >= 0) ::close(fd_);
}

void SpillFile::Write(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ThrowFileError(n < 0 ? errno : ENOSPC, folder_);
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void SpillFile::Rewind() {
    if (::lseek(fd_, 0, SEEK_SET) != 0) ThrowFileError(errno, folder_);
}

std::size_t SpillFile::Read(std::span<std::uint8_t> out) {
    while (true) {
        const ssize_t n = ::read(fd_, out.data(), out.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) ThrowFileError(errno, folder_);
    }
}

}  // namespace pixhaul
